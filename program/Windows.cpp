#include "program/Windows.h"

#include "about/frmAbout.h"
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "network_report/frmNetCheck.h"
#include "performance_monitor/sysmon.h"

#include <memory>

namespace ombrix {

void registerWindows(Forms& forms, const WindowServices& services, bool computersFirst) {
    // The factories run later, on first reference: they keep copies, or
    // refer to what the services refer to.
    const platform::Machine& m = services.machine;
    Ombrix2::Services main{m.memory,
                           m.version,
                           m.cpu,
                           m.host,
                           m.systemInfo,
                           m.floppy,
                           services.printerInstall,
                           m.clock,
                           services.endProgram,
                           m.readings,
                           services.showComputers,
                           services.notCarried};
    forms.addMain<Ombrix2>([&forms, main] {
        auto w = std::make_unique<Ombrix2>(forms, main);
        w->Form_Load();
        return w;
    });
    forms.add<frmNetCheck>([&registry = m.registry, notCarried = services.notCarried] {
        auto w = std::make_unique<frmNetCheck>(registry, notCarried);
        w->Form_Load();
        return w;
    });
    forms.add<Drive>([&forms, &fileSystem = m.fileSystem, notCarried = services.notCarried] {
        auto w = std::make_unique<Drive>(fileSystem, forms, notCarried);
        w->Form_Load();
        return w;
    });
    forms.add<sysmon>([&forms, &counters = services.counterSources,
                       &remote = services.remoteComputers, &boxes = services.boxes] {
        auto w = std::make_unique<sysmon>(counters, remote, boxes, forms);
        w->Form_Load();
        return w;
    });
    if (services.computers) {
        auto computers = [computers = services.computers] {
            auto w = std::make_unique<ComputersWindow>(computers());
            w->Form_Load();
            return w;
        };
        if (computersFirst)
            forms.addMain<ComputersWindow>(computers);
        else
            forms.add<ComputersWindow>(computers);
    }
    forms.add<frmAbout>([] {
        auto w = std::make_unique<frmAbout>();
        w->Form_Load();
        return w;
    });
}

} // namespace ombrix
