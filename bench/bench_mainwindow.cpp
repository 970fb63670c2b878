// The main window's summary over the real Linux services, headless:
// GetInfo with the processor library loaded, and one memory and speed refresh.
#include "app/Forms.h"
#include "main_window/Ombrix2.h"
#include "main_window/PrinterInstallControl.h"
#include "platform/linux/LinuxMachine.h"

#include <QApplication>

#include <benchmark/benchmark.h>

using namespace ombrix;

namespace {

// The program's services; the printers are never asked here.
platform::LinuxMachine& linuxMachine() {
    static platform::LinuxMachine m;
    return m;
}

struct MainWindow {
    platform::LinuxMachine& m = linuxMachine();
    PrinterInstallControl printers{m.printers};
    Forms forms;
    Ombrix2 window{
        forms,
        {m.memory, m.version, m.cpu, m.host, m.systemInfo, m.floppy, printers, m.clock, [] {}}};
};

MainWindow& machine() {
    static MainWindow m;
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
        MainWindow m;
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
