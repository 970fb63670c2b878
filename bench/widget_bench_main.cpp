// The main of the benchmarks that build real windows: an application
// without a display, then the benchmarks asked for.
#include "app/Background.h"
#include "platform/linux/BoundedCall.h"

#include <QApplication>

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The owners of the threads the program starts, made as the program makes them.
    ombrix::platform::BoundedWorkers boundedWorkers(ombrix::kMostExitWait);
    ombrix::BackgroundThreads background;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
