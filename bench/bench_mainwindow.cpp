// The main window's summary over the real Linux services, headless:
// GetInfo with the processor library loaded, and one memory and speed refresh.
#include "app/Forms.h"
#include "main_window/Ombrix2.h"
#include "platform/linux/LinuxCpuLibrary.h"
#include "platform/linux/LinuxFloppyDrive.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxMemoryStatus.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/LinuxVersionQuery.h"
#include "platform/linux/SystemClock.h"

#include "FakeDispatch.h"

#include <QApplication>

#include <benchmark/benchmark.h>

using namespace ombrix;

namespace {

struct RealMachine {
    platform::LinuxMemoryStatus memory;
    platform::LinuxVersionQuery version;
    platform::LinuxCpuLibrary cpu;
    platform::LinuxHostInfo host;
    platform::LinuxSystemInfo systemInfo;
    platform::LinuxFloppyDrive floppy;
    FakeDispatch printers;
    platform::SystemClock clock;
    Forms forms;
    Ombrix2 window{forms, {memory, version, cpu, host, systemInfo, floppy, printers, clock, [] {}}};
};

RealMachine& machine() {
    static RealMachine m;
    static bool loaded = (m.window.Form_Load(), true);
    (void)loaded;
    return m;
}

void GetInfo(benchmark::State& state) {
    Ombrix2& w = machine().window;
    for (auto _ : state)
        w.GetInfo();
}
BENCHMARK(GetInfo)->Unit(benchmark::kMicrosecond);

void MemoryAndSpeedRefresh(benchmark::State& state) {
    Ombrix2& w = machine().window;
    for (auto _ : state)
        w.Timer2_Timer();
}
BENCHMARK(MemoryAndSpeedRefresh)->Unit(benchmark::kMicrosecond);

void LoadStep(benchmark::State& state) {
    for (auto _ : state) {
        RealMachine m;
        m.window.Form_Load();
    }
}
BENCHMARK(LoadStep)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
