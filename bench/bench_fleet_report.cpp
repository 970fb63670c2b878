// The report of a fleet of computers 50 ms away (--report --computers FILE),
// timed as a whole process: 1, 64 and 1,000 computers, each with and without
// 100 more that never answer, with the program's wall and processor time
// (the sum of its threads' /proc/PID/task/*/schedstat, nanoseconds) and its
// peak resident memory; and --format jsonl over 10,000 names beside 100.
//
// The computers are a few private pmcds (one pmcd watches no more than
// about a thousand connections), each behind one delaying proxy listening
// on many ports, 25 ms each way: a computer is an address and a port. The
// silent ones are an address routed into a network namespace that forwards
// nothing (needs root; skipped otherwise), on a port each. The printers are
// left out: this machine's one print scheduler would stand for all of them,
// without the delay, and a thousand at once time out there.
#include "PcpHost.h"
#include "TestPmcd.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace {

constexpr int kCollectors = 8;
constexpr int kFirstPmcdPort = 44380;
constexpr int kFirstProxyPort = 45000;
constexpr int kMostComputers = 10000;
constexpr int kSilent = 100;
constexpr int kFirstSilentPort = 47000;

std::vector<std::unique_ptr<TestPmcd>> collectors;
std::list<QProcess> proxies;
std::optional<PcpHost> silentHost;
std::unique_ptr<QTemporaryDir> lists;

// Computer i: the proxy of collector i % kCollectors, at a port of its own.
QString computer(int i) {
    return QStringLiteral("127.0.1.%1:%2")
        .arg(i % kCollectors + 1)
        .arg(kFirstProxyPort + i / kCollectors);
}

QString silentComputer(int i) {
    return QStringLiteral("%1:%2").arg(silentHost->blackholed()).arg(kFirstSilentPort + i);
}

struct Run {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double rusageCpuSeconds = 0; // the same, as the kernel counts a reaped child
    double residentMiB = 0;      // peak
    int status = -1;
    int notReached = 0; // computers it could not reach
    bool crashed = false;
};

// Nanoseconds each thread of pid has run so far, by thread.
void readThreads(qint64 pid, std::map<QString, qint64>& ran) {
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks + '/' + task + "/schedstat");
        if (file.open(QIODevice::ReadOnly))
            if (const qint64 ns = file.readAll().split(' ').value(0).toLongLong(); ns > 0)
                ran[task] = std::max(ran[task], ns);
    }
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

double peakResidentMiB(qint64 pid, double before) {
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return std::max(before,
                                line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024);
    return before;
}

// Another build of the program to time beside this one, such as the last
// release, named by OMBRIX_BENCH_EARLIER: it is given the computers as
// --computer arguments, which every build reads.
QString earlierProgram() {
    return qEnvironmentVariable("OMBRIX_BENCH_EARLIER");
}

// The program's report of the names, as the format asks. A thread's time is
// read every few milliseconds until it ends: what one runs after its last
// reading is not counted, a few milliseconds at most.
Run report(const QStringList& names, const QString& format, int parallel = 0,
           const QString& program = QString()) {
    const QString list = lists->filePath(QStringLiteral("computers"));
    QFile file(list);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write((names.join('\n') + '\n').toUtf8());
    file.close();
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(lists->filePath(QStringLiteral("stderr")));
    std::map<QString, qint64> ran;
    Run run;
    QElapsedTimer clock;
    clock.start();
    QStringList named{"--computers", list};
    if (!program.isEmpty()) {
        named.clear();
        for (const QString& name : names)
            named << "--computer" << name;
    }
    process.start(
        program.isEmpty() ? QStringLiteral(OMBRIX_BIN_DIR "/ombrix") : program,
        QStringList{"--report", "--format", format, "--section", "summary", "--section", "network",
                    "--section", "drives"} +
            named +
            (parallel > 0 ? QStringList{"--parallel", QString::number(parallel)} : QStringList()));
    process.waitForStarted();
    const qint64 pid = process.processId();
    const double cpuBefore = childrenCpuSeconds();
    while (!process.waitForFinished(10)) {
        readThreads(pid, ran);
        run.residentMiB = peakResidentMiB(pid, run.residentMiB);
        if (process.state() == QProcess::NotRunning)
            break;
    }
    run.wallSeconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    for (const auto& [task, ns] : ran)
        run.cpuSeconds += static_cast<double>(ns) * 1e-9;
    run.status = process.exitCode();
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    QFile errors(lists->filePath(QStringLiteral("stderr")));
    errors.open(QIODevice::ReadOnly);
    run.notReached = static_cast<int>(errors.readAll().count(" could not be reached: "));
    run.rusageCpuSeconds = childrenCpuSeconds() - cpuBefore;
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

std::map<int, double> wallOf; // by computers answering, none silent

void BM_Fleet(benchmark::State& state) {
    const int answering = static_cast<int>(state.range(0));
    const int silent = static_cast<int>(state.range(1));
    const int parallel = static_cast<int>(state.range(2));
    if (silent > 0 && !silentHost) {
        state.SkipWithError("no address that never answers: needs root and ip netns");
        return;
    }
    QStringList names;
    for (int i = 0; i < answering; ++i)
        names << computer(i);
    // The silent ones among the others, spread evenly.
    for (int i = 0; i < silent; ++i)
        names.insert(static_cast<qsizetype>(i) * names.size() / silent, silentComputer(i));
    // Computers that answer but were given up: the delaying proxies and the
    // collectors, sharing this machine, fall behind when it is busy.
    std::vector<double> wall, cpu, rusageCpu, resident, notReached;
    for (auto _ : state) {
        const Run run = report(names, QStringLiteral("json"), parallel);
        state.SetIterationTime(run.wallSeconds);
        wall.push_back(run.wallSeconds);
        cpu.push_back(run.cpuSeconds);
        rusageCpu.push_back(run.rusageCpuSeconds);
        resident.push_back(run.residentMiB);
        notReached.push_back(run.notReached - silent);
        if (run.crashed)
            state.SkipWithError("the program crashed");
    }
    state.counters["wall_s"] = median(wall);
    state.counters["cpu_s"] = median(cpu);
    state.counters["rusage_cpu_s"] = median(rusageCpu);
    state.counters["rss_MiB"] = median(resident);
    state.counters["given_up"] = median(notReached);
    if (silent == 0 && parallel == 0)
        wallOf[answering] = median(wall);
    if (wallOf.count(1) && wallOf[1] > 0)
        state.counters["ratio_to_one"] = median(wall) / wallOf[1];
}
BENCHMARK(BM_Fleet)
    ->ArgNames({"computers", "silent", "parallel"})
    ->Args({1, 0, 0})
    ->Args({64, 0, 0})
    ->Args({1000, 0, 0})
    ->Args({1, kSilent, 0})
    ->Args({64, kSilent, 0})
    ->Args({1000, kSilent, 0})
    // As the program read them before it chose its bound from the machine.
    ->Args({1000, 0, 16})
    ->Args({1000, 0, 64})
    ->Args({1000, 0, 128})
    ->Args({1000, 0, 256})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The earlier build over the same computers, none silent: the floor this
// build's processor time is held to.
void BM_FleetEarlier(benchmark::State& state) {
    if (earlierProgram().isEmpty()) {
        state.SkipWithError("no earlier build named (OMBRIX_BENCH_EARLIER)");
        return;
    }
    QStringList names;
    for (int i = 0; i < state.range(0); ++i)
        names << computer(i);
    std::vector<double> wall, cpu, resident;
    for (auto _ : state) {
        const Run run = report(names, QStringLiteral("json"), 0, earlierProgram());
        state.SetIterationTime(run.wallSeconds);
        wall.push_back(run.wallSeconds);
        cpu.push_back(run.cpuSeconds);
        resident.push_back(run.residentMiB);
        if (run.crashed)
            state.SkipWithError("the program crashed");
    }
    state.counters["wall_s"] = median(wall);
    state.counters["cpu_s"] = median(cpu);
    state.counters["rss_MiB"] = median(resident);
}
BENCHMARK(BM_FleetEarlier)
    ->ArgNames({"computers"})
    ->Arg(1)
    ->Arg(64)
    ->Arg(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// JSON Lines keeps no computer's report: 10,000 names take about the memory
// of 100 read as many at once (64); read as many at once as the machine
// allows, the threads and connections at once are what the memory holds.
void BM_FleetJsonLines(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << computer(i);
    for (auto _ : state) {
        const Run run = report(names, QStringLiteral("jsonl"), static_cast<int>(state.range(1)));
        state.SetIterationTime(run.wallSeconds);
        state.counters["wall_s"] = run.wallSeconds;
        state.counters["cpu_s"] = run.cpuSeconds;
        state.counters["rusage_cpu_s"] = run.rusageCpuSeconds;
        state.counters["rss_MiB"] = run.residentMiB;
        state.counters["given_up"] = run.notReached;
        if (run.crashed)
            state.SkipWithError("the program crashed");
    }
}
BENCHMARK(BM_FleetJsonLines)
    ->ArgNames({"computers", "parallel"})
    ->Args({100, 0})
    ->Args({kMostComputers, 0})
    ->Args({100, 64})
    ->Args({kMostComputers, 64})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    lists = std::make_unique<QTemporaryDir>();
    for (int i = 0; i < kCollectors; ++i)
        collectors.push_back(
            std::make_unique<TestPmcd>(QStringList{"127.0.0.5"}, kFirstPmcdPort + i, QString(),
                                       TestPmcd::Agents::Open, QString(), QString(), false));
    for (auto& collector : collectors)
        if (!collector->waitUntilAnswers()) {
            std::fprintf(stderr, "no private pmcd: %s\n", qPrintable(collector->why()));
            return 1;
        }
    const int ports = (kMostComputers + kCollectors - 1) / kCollectors;
    for (int i = 0; i < kCollectors; ++i) {
        QProcess& proxy = proxies.emplace_back();
        proxy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proxy.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        proxy.start(OMBRIX_DELAY_PROXY,
                    {QStringLiteral("127.0.1.%1").arg(i + 1),
                     QStringLiteral("%1-%2").arg(kFirstProxyPort).arg(kFirstProxyPort + ports - 1),
                     "127.0.0.5", QString::number(kFirstPmcdPort + i), "25"});
        if (!proxy.waitForReadyRead(60000)) {
            std::fprintf(stderr, "the delaying proxy did not start\n");
            return 1;
        }
    }
    // Block 241: apart from the addresses the tests' own namespaces use.
    silentHost.emplace(QString(), 241);
    if (!silentHost->why().isEmpty()) {
        std::fprintf(stderr, "no silent computers: %s\n", qPrintable(silentHost->why()));
        silentHost.reset();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (QProcess& proxy : proxies) {
        proxy.kill();
        proxy.waitForFinished(5000);
    }
    proxies.clear();
    silentHost.reset();
    collectors.clear();
    return 0;
}
