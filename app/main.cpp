#include "about/frmAbout.h"
#include "app/Application.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "drive_details/Drive.h"
#include "main_window/Ombrix2.h"
#include "main_window/PrinterInstallControl.h"
#include "network_report/frmNetCheck.h"
#include "performance_monitor/sysmon.h"
#include "platform/linux/LazyPrinters.h"
#include "platform/linux/LinuxCounterSources.h"
#include "platform/linux/LinuxCpuLibrary.h"
#include "platform/linux/LinuxFileSystem.h"
#include "platform/linux/LinuxFloppyDrive.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxMemoryStatus.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/LinuxVersionQuery.h"
#include "platform/linux/QtMessageBoxes.h"
#include "platform/linux/SystemClock.h"
#include "platform/registry/LiveNetworkView.h"
#include "platform/registry/SystemRegistry.h"

#include <memory>
#include <string>

using namespace ombrix;

// The program: the Linux services are made once here and handed to the
// windows, which are made and loaded on first reference.
int main(int argc, char** argv) {
    platform::QtMessageBoxes boxes;
    Application app(argc, argv, boxes);
    Application::setApplicationName(QStringLiteral("Ombrix"));

    platform::LinuxMemoryStatus memory;
    platform::LinuxVersionQuery version;
    platform::LinuxCpuLibrary cpu;
    platform::LinuxHostInfo host;
    platform::LinuxSystemInfo systemInfo;
    platform::LinuxFloppyDrive floppy;
    platform::SystemClock clock;
    platform::LazyPrinters printers;
    PrinterInstallControl printerInstall(printers);
    platform::LinuxFileSystem fileSystem;
    platform::LinuxCounterSources perfCounters;
    // The machine's registry, with the live network configuration mounted
    // where the network report reads it.
    auto registry = platform::registry::makeSystemRegistry();
    registry->mount(platform::HKEY_LOCAL_MACHINE,
                    std::string(platform::LiveNetworkView::kMountPath),
                    std::make_shared<platform::LiveNetworkView>());

    Forms forms;
    forms.add(QStringLiteral("Ombrix2"), [&] {
        auto w = std::make_unique<Ombrix2>(
            forms, Ombrix2::Services{memory, version, cpu, host, systemInfo, floppy, printerInstall,
                                     clock, [] { QCoreApplication::exit(0); }});
        w->Form_Load();
        return w;
    });
    forms.add(QStringLiteral("frmNetCheck"), [&] {
        auto w = std::make_unique<frmNetCheck>(*registry);
        w->Form_Load();
        return w;
    });
    forms.add(QStringLiteral("Drive"), [&] {
        auto w = std::make_unique<Drive>(fileSystem, forms);
        w->Form_Load();
        return w;
    });
    forms.add(QStringLiteral("sysmon"), [&] {
        auto w = std::make_unique<sysmon>(perfCounters, boxes, forms);
        w->Form_Load();
        return w;
    });
    forms.add(QStringLiteral("frmAbout"), [] {
        auto w = std::make_unique<frmAbout>();
        w->Form_Load();
        return w;
    });
    return runProgram(app, forms, QStringLiteral("Ombrix2"));
}
