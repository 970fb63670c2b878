// The cost of the System Monitor control's two recurring jobs: reading the
// charted counters once a second, and redrawing the chart.
#include "performance_monitor/ChartPainter.h"
#include "platform/linux/counters/LinuxPerfCounters.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include <unistd.h>

using namespace ombrix;

namespace {

// 64 counters of every object, each instance as this machine offers it. The
// Process _Total sums, which walk every process, are measured apart.
std::vector<platform::CounterPath> sixtyFourCounters(platform::PerfCounters& counters) {
    std::vector<platform::CounterPath> paths;
    const QString self = QStringLiteral("#%1").arg(getpid());
    for (int round = 0; paths.size() < 64 && round < 8; ++round)
        for (const auto& object : counters.objects()) {
            QStringList instances =
                object.hasInstances ? counters.instances(object.id) : QStringList{QString()};
            if (object.id == QLatin1String("process"))
                instances = instances.filter(self);
            if (round >= instances.size() || (!object.hasInstances && round > 0))
                continue;
            for (const auto& counter : object.counters)
                if (paths.size() < 64)
                    paths.push_back({object.id, counter.id, instances[round], {}});
        }
    return paths;
}

void BM_Sample64Counters(benchmark::State& state) {
    platform::LinuxPerfCounters counters;
    const auto paths = sixtyFourCounters(counters);
    std::size_t present = 0;
    for (auto _ : state) {
        auto sample = counters.sample(paths);
        benchmark::DoNotOptimize(sample);
        present = 0;
        for (const auto& v : sample.values)
            present += v.has_value();
    }
    state.counters["counters"] = static_cast<double>(paths.size());
    state.counters["read"] = static_cast<double>(present);
}
BENCHMARK(BM_Sample64Counters)->Unit(benchmark::kMicrosecond);

void BM_SampleProcessTotals(benchmark::State& state) {
    platform::LinuxPerfCounters counters;
    const std::vector<platform::CounterPath> paths = {{"process", "working_set", "_Total", {}},
                                                      {"process", "private_bytes", "_Total", {}},
                                                      {"process", "thread_count", "_Total", {}}};
    for (auto _ : state)
        benchmark::DoNotOptimize(counters.sample(paths));
}
BENCHMARK(BM_SampleProcessTotals)->Unit(benchmark::kMicrosecond);

void BM_Redraw10x600(benchmark::State& state) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(0, 100);
    std::vector<CounterHistory> histories(10, CounterHistory(600));
    for (auto& history : histories)
        for (int i = 0; i < 600; ++i)
            history.push(i % 97 == 0 ? std::nullopt : std::optional(value(random)));
    std::vector<ChartLine> lines;
    for (std::size_t i = 0; i < histories.size(); ++i)
        lines.push_back({&histories[i], defaultCounterColour(i), 1.0, i == 0});
    GraphSettings graph;
    graph.points = 600;
    graph.horizontalGrid = true;
    graph.verticalGrid = true;
    QImage image(681, 380, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        paintChart(painter, image.rect(), lines, graph);
    }
}
BENCHMARK(BM_Redraw10x600)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv); // fonts for the scale labels
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
namespace {
void BM_RedrawEmpty(benchmark::State& state) {
    GraphSettings graph;
    graph.points = 600;
    graph.horizontalGrid = true;
    graph.verticalGrid = true;
    QImage image(681, 380, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        paintChart(painter, image.rect(), {}, graph);
    }
}
BENCHMARK(BM_RedrawEmpty)->Unit(benchmark::kMicrosecond);
} // namespace
