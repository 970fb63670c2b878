#include "program/Windows.h"

#include "about/frmAbout.h"
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "main_window/Ombrix2.h"
#include "main_window/PrinterInstallControl.h"
#include "network_report/frmNetCheck.h"
#include "performance_monitor/sysmon.h"
#include "platform/linux/LinuxMachine.h"

#include <QCoreApplication>

#include <memory>

namespace ombrix {

void registerWindows(Forms& forms, platform::LinuxMachine& machine,
                     PrinterInstallControl& printerInstall) {
    auto& m = machine;
    forms.addMain<Ombrix2>([&] {
        auto w = std::make_unique<Ombrix2>(
            forms, Ombrix2::Services{m.memory, m.version, m.cpu, m.host, m.systemInfo, m.floppy,
                                     printerInstall, m.clock, [] { QCoreApplication::exit(0); }});
        w->Form_Load();
        return w;
    });
    forms.add<frmNetCheck>([&] {
        auto w = std::make_unique<frmNetCheck>(*m.registry);
        w->Form_Load();
        return w;
    });
    forms.add<Drive>([&] {
        auto w = std::make_unique<Drive>(m.fileSystem, forms);
        w->Form_Load();
        return w;
    });
    forms.add<sysmon>([&] {
        auto w = std::make_unique<sysmon>(m.perfCounters, m.boxes, forms);
        w->Form_Load();
        return w;
    });
    forms.add<frmAbout>([] {
        auto w = std::make_unique<frmAbout>();
        w->Form_Load();
        return w;
    });
}

} // namespace ombrix
