// The report of other computers 50 ms away (--report --computer), timed as
// a whole process: one computer, then eight at once, whose ratio to the one
// says how well they overlap, beside eight programs of one computer each;
// and the messages one computer's report sends its pmcd. The computers are one private pmcd behind
// a delaying proxy per computer, each on a loopback address of its own (the print scheduler's
// questions go to those addresses directly, without the delay).
#include "PmcdRequests.h"
#include "TestPmcd.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <list>
#include <memory>
#include <vector>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace {

constexpr int kPmcdPort = 44396;
constexpr int kProxyPort = 44395;
constexpr int kComputers = 8;

std::unique_ptr<TestPmcd> server;
// One proxy per computer, each adding 25 ms each way.
std::list<QProcess> proxies;

QString computer(int i) {
    return QStringLiteral("127.0.0.%1:%2").arg(6 + i).arg(kProxyPort);
}

// Processor seconds of the children reaped so far.
double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Seconds the program takes to print the report of the first n computers.
double reportSeconds(int n, const QStringList& extra = {}) {
    QStringList args{"--report", "--format", "json"};
    for (int i = 0; i < n; ++i)
        args << "--computer" << computer(i);
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(OMBRIX_BIN_DIR "/ombrix", args + extra);
    process.waitForFinished(120000);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s\n", process.readAllStandardError().constData());
    return seconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double oneComputer = 0;
double eightComputers = 0;

void timeReports(benchmark::State& state, int n, double& result) {
    std::vector<double> times, cpu;
    for (auto _ : state) {
        const double cpuBefore = childrenCpuSeconds();
        times.push_back(reportSeconds(n));
        cpu.push_back(childrenCpuSeconds() - cpuBefore);
        state.SetIterationTime(times.back());
    }
    result = median(times);
    state.counters["median_s"] = result;
    state.counters["program_cpu_s"] = median(cpu);
}

void BM_ReportOneComputer(benchmark::State& state) {
    timeReports(state, 1, oneComputer);
}
BENCHMARK(BM_ReportOneComputer)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

void BM_ReportEightComputers(benchmark::State& state) {
    timeReports(state, kComputers, eightComputers);
    state.counters["ratio_to_one"] = oneComputer > 0 ? eightComputers / oneComputer : 0;
}
BENCHMARK(BM_ReportEightComputers)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

// The same eight computers as eight programs of one computer each, at
// once: what the eight would take if nothing in one process made them wait
// for each other (libpcp looks up one context's names at a time).
void BM_ReportEightProgramsOfOne(benchmark::State& state) {
    std::vector<double> times;
    for (auto _ : state) {
        std::list<QProcess> programs;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kComputers; ++i)
            programs.emplace_back().start(OMBRIX_BIN_DIR "/ombrix", {"--report", "--format", "json",
                                                                     "--computer", computer(i)});
        for (QProcess& program : programs)
            program.waitForFinished(120000);
        times.push_back(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
        state.SetIterationTime(times.back());
    }
    state.counters["median_s"] = median(times);
    state.counters["ratio_to_one"] = oneComputer > 0 ? median(times) / oneComputer : 0;
}
BENCHMARK(BM_ReportEightProgramsOfOne)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7);

// Messages one computer's report sends its pmcd (counted there, the
// counting's own cost measured and taken off), the summary alone and whole.
void BM_RequestsPerComputer(benchmark::State& state) {
    PmcdRequests requests(server->host());
    for (auto _ : state) {
        const double first = requests.read().value_or(0);
        const double cost = requests.read().value_or(0) - first;
        for (const bool whole : {false, true}) {
            const double before = requests.read().value_or(0);
            reportSeconds(1, whole ? QStringList() : QStringList{"--section", "summary"});
            const double after = requests.read().value_or(0);
            state.counters[whole ? "whole_report" : "summary"] = after - before - cost;
        }
    }
}
BENCHMARK(BM_RequestsPerComputer)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    server = std::make_unique<TestPmcd>(QStringList{"127.0.0.5"}, kPmcdPort);
    if (!server->why().isEmpty()) {
        std::fprintf(stderr, "no private pmcd: %s\n", qPrintable(server->why()));
        return 1;
    }
    for (int i = 0; i < kComputers; ++i) {
        QProcess& proxy = proxies.emplace_back();
        proxy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proxy.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        proxy.start(OMBRIX_DELAY_PROXY,
                    {computer(i).section(':', 0, 0), QString::number(kProxyPort), "127.0.0.5",
                     QString::number(kPmcdPort), "25"});
        if (!proxy.waitForReadyRead(10000)) {
            std::fprintf(stderr, "the delaying proxy did not start\n");
            return 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("eight computers / one computer, medians: %.3f s / %.3f s = %.2f\n", eightComputers,
                oneComputer, oneComputer > 0 ? eightComputers / oneComputer : 0);
    for (QProcess& proxy : proxies) {
        proxy.kill();
        proxy.waitForFinished(5000);
    }
    proxies.clear();
    server.reset();
    return 0;
}
