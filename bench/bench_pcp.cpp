// The cost of other computers' counters: one sample of 64 counters from a
// pmcd over loopback, and four computers charted at once while the chart
// redraws, with the longest stall of the user-interface thread.
#include "TestPmcd.h"
#include "performance_monitor/SystemMonitor.h"
#include "platform/linux/LinuxCounterSources.h"
#include "platform/linux/PcpPerfCounters.h"
#include "platform/linux/RemoteComputerLinks.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <unistd.h>

using namespace ombrix;

namespace {

constexpr int kPort = 44397;

// Four loopback addresses, four computers as far as the program can tell.
// Made and stopped by main, while the application lives.
std::unique_ptr<TestPmcd> server;
TestPmcd& pmcd() {
    return *server;
}

// n counters of every object the computer offers, instance by instance.
std::vector<platform::CounterPath> someCounters(platform::PerfCounters& counters, std::size_t n,
                                                const QString& computer = {},
                                                bool processes = true) {
    std::vector<platform::CounterPath> paths;
    for (int round = 0; paths.size() < n && round < 32; ++round)
        for (const auto& object : counters.objects()) {
            QStringList instances =
                object.hasInstances ? counters.instances(object.id) : QStringList{QString()};
            if (object.id == QLatin1String("process"))
                instances = processes ? instances.mid(0, 8) : QStringList();
            if (round >= instances.size() || (!object.hasInstances && round > 0))
                continue;
            for (const auto& counter : object.counters)
                if (paths.size() < n)
                    paths.push_back({object.id, counter.id, instances[round], computer});
        }
    return paths;
}

void BM_RemoteSample64Counters(benchmark::State& state) {
    if (!pmcd().why().isEmpty()) {
        state.SkipWithError(qPrintable(pmcd().why()));
        return;
    }
    platform::PcpPerfCounters counters(pmcd().host().toStdString());
    const auto paths = someCounters(counters, 64, {}, state.range(0) != 0);
    std::size_t present = 0;
    for (auto _ : state) {
        auto sample = counters.sample(paths);
        present =
            static_cast<std::size_t>(std::count_if(sample.values.begin(), sample.values.end(),
                                                   [](const auto& v) { return v.has_value(); }));
    }
    state.counters["counters"] = static_cast<double>(paths.size());
    state.counters["read"] = static_cast<double>(present);
}
// Arg 1 reads seven processes among them: the far side's process agent
// then lists every process of that computer on each fetch.
BENCHMARK(BM_RemoteSample64Counters)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("processes")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The monitor charts 16 counters of each computer (none: the floor this
// machine's scheduling gives), sampled every second, for ten seconds while a
// 1 ms timer notes how late the event loop runs it; each redraw is timed.
void BM_ComputersWhileRedrawing(benchmark::State& state) {
    if (!pmcd().why().isEmpty()) {
        state.SkipWithError(qPrintable(pmcd().why()));
        return;
    }
    platform::LinuxCounterSources sources;
    platform::RemoteComputerLinks remote(sources, nullptr);
    for (auto _ : state) {
        SystemMonitor monitor(sources, remote);
        monitor.resize(681, 505);
        monitor.show();
        MonitorSettings settings;
        std::size_t colour = 0;
        for (int i = 0; i < state.range(0); ++i) {
            const QString computer = pmcd().host(i);
            platform::PcpPerfCounters probe(computer.toStdString());
            for (const auto& path : someCounters(probe, 16, computer))
                settings.counters.push_back({path, defaultCounterColour(colour++), 1.0});
        }
        monitor.applySettings(settings);

        double longestStall = 0, longestRedraw = 0, redraws = 0, redrawTotal = 0;
        QElapsedTimer clock;
        clock.start();
        qint64 last = clock.nsecsElapsed();
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        QObject::connect(&beat, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longestStall = std::max(longestStall, (now - last) / 1e6 - 1.0);
            last = now;
        });
        beat.start(1);
        QTimer redraw;
        QObject::connect(&redraw, &QTimer::timeout, [&] {
            QElapsedTimer draw;
            draw.start();
            QWidget* chart = monitor.findChild<QWidget*>(QStringLiteral("chart"));
            chart->repaint();
            const double ms = draw.nsecsElapsed() / 1e6;
            longestRedraw = std::max(longestRedraw, ms);
            redrawTotal += ms;
            ++redraws;
        });
        redraw.start(100);
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        state.counters["stall_max_ms"] = longestStall;
        state.counters["redraw_max_ms"] = longestRedraw;
        state.counters["redraw_mean_ms"] = redraws > 0 ? redrawTotal / redraws : 0;
        state.counters["lines"] = static_cast<double>(settings.counters.size());
    }
}
BENCHMARK(BM_ComputersWhileRedrawing)
    ->Arg(0)
    ->Arg(4)
    ->ArgName("computers")
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    server = std::make_unique<TestPmcd>(
        QStringList{"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"}, kPort);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    server.reset();
    return 0;
}
