// The main window's summary over the real Linux services, headless:
// GetInfo with the processor library loaded, and one memory and speed refresh;
// and one repaint of a value label, beside a plain label.
#include "app/FitLabel.h"
#include "app/Forms.h"
#include "main_window/Ombrix2.h"
#include "main_window/PrinterInstallControl.h"
#include "platform/linux/LinuxMachine.h"

#include <QImage>
#include <QLabel>

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
    Ombrix2 window{forms,
                   {m.memory, m.version, m.cpu, m.host, m.systemInfo, m.floppy, printers, m.clock,
                    [] {}, m.readings}};
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

// A label repainted while its text stays (the clock beside it ticks): a fit
// label costs what a plain one does, its text measured only when it changes.
template <class Label> void RepaintUnchangedLabel(benchmark::State& state) {
    Label label(QStringLiteral("Debian GNU/Linux 12 (bookworm) 6.18 Build 44"));
    label.resize(400, 17);
    QImage image(label.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        label.render(&image);
}
BENCHMARK(RepaintUnchangedLabel<FitLabel>)->Unit(benchmark::kMicrosecond);
BENCHMARK(RepaintUnchangedLabel<QLabel>)->Unit(benchmark::kMicrosecond);

} // namespace
