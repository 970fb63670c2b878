// The cost of other computers' counters: one sample of 64 counters from a
// pmcd over loopback, four computers charted at once while the chart
// redraws, with the longest stall of the user-interface thread, and the
// counter browser pointed at a computer 50 ms away.
#include "PmcdRequests.h"
#include "TestPmcd.h"
#include "performance_monitor/CounterBrowser.h"
#include "performance_monitor/SystemMonitor.h"
#include "platform/links/RemoteComputerLinks.h"
#include "platform/linux/counters/LinuxCounterSources.h"
#include "platform/pcp/PcpPerfCounters.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>
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

// A computer 50 ms away: a private pmcd on loopback behind a proxy that holds
// back what passes each way for 25 ms (this machine's kernel may lack netem).
class SlowLink {
public:
    static constexpr int kPmcdPort = 44396, kProxyPort = 44395;
    SlowLink() : m_pmcd(QStringList{"127.0.0.5"}, kPmcdPort) {
        m_why = m_pmcd.why();
        if (!m_why.isEmpty())
            return;
        m_proxy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_proxy.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_proxy.start(OMBRIX_DELAY_PROXY, {"127.0.0.6", QString::number(kProxyPort), "127.0.0.5",
                                           QString::number(kPmcdPort), "25"});
        if (!m_proxy.waitForReadyRead(10000))
            m_why = "the delaying proxy did not start";
    }
    ~SlowLink() {
        m_proxy.kill();
        m_proxy.waitForFinished(5000);
    }
    SlowLink(const SlowLink&) = delete;
    SlowLink& operator=(const SlowLink&) = delete;

    const QString& why() const { return m_why; }
    QString far() const { return "127.0.0.6:" + QString::number(kProxyPort); }
    QString near() const { return m_pmcd.host(); }

private:
    TestPmcd m_pmcd;
    QProcess m_proxy;
    QString m_why;
};

std::unique_ptr<SlowLink> slowLink;

// The counter browser pointed at the computer 50 ms away: the time until it
// lists that computer's objects, until it lists the instances of the first
// one, and the requests pmcd received for all of that (read on loopback).
void BM_BrowserAcrossSlowLink(benchmark::State& state) {
    if (!slowLink->why().isEmpty()) {
        state.SkipWithError(qPrintable(slowLink->why()));
        return;
    }
    {
        platform::LinuxCounterSources sources;
        PmcdRequests pdus(slowLink->near());
        double objectsMs = 0, instancesMs = 0, requests = 0;
        for (auto _ : state) {
            // A service of its own each time, so that every pass connects.
            platform::RemoteComputerLinks remote(sources, nullptr);
            CounterBrowser browser(remote);
            browser.show();
            auto* status = browser.findChild<QLabel*>("computerStatus");
            auto* instances = browser.findChild<QListWidget*>("instanceList");
            auto* explain = browser.findChild<QLabel*>("explainText");
            auto* name = browser.findChild<QComboBox*>("computerName");
            const double before = pdus.read().value_or(0);
            QElapsedTimer clock;
            clock.start();
            browser.findChild<QRadioButton*>("remoteComputer")->click();
            name->lineEdit()->setText(slowLink->far());
            QTest::keyClick(name->lineEdit(), Qt::Key_Return);
            if (!QTest::qWaitFor([&] { return status->text().startsWith("Counters of"); }, 30000)) {
                state.SkipWithError(qPrintable("no connection: " + status->text()));
                break;
            }
            objectsMs += clock.nsecsElapsed() / 1e6;
            const bool listed = QTest::qWaitFor([&] { return instances->count() > 0; }, 30000);
            instancesMs += clock.nsecsElapsed() / 1e6;
            // The counter in focus explained in that computer's words, then
            // a quiet moment for anything still on its way.
            const bool explained = QTest::qWaitFor(
                [&] { return explain->text().contains("Performance Co-Pilot:"); }, 30000);
            if (!listed || !explained) {
                state.SkipWithError("no instances or no explanation came");
                break;
            }
            QTest::qWait(500);
            requests += pdus.read().value_or(0) - before;
        }
        const double n = static_cast<double>(state.iterations());
        state.counters["objects_ms"] = objectsMs / n;
        state.counters["instances_ms"] = instancesMs / n;
        state.counters["requests"] = requests / n;
    }
}
BENCHMARK(BM_BrowserAcrossSlowLink)->Unit(benchmark::kSecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    server = std::make_unique<TestPmcd>(
        QStringList{"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"}, kPort);
    slowLink = std::make_unique<SlowLink>();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    slowLink.reset();
    server.reset();
    return 0;
}
