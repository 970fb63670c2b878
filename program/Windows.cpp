#include "program/Windows.h"

#include "about/frmAbout.h"
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "network_report/frmNetCheck.h"
#include "performance_monitor/sysmon.h"

#include <memory>

namespace ombrix {

void registerWindows(Forms& forms, const WindowServices& services) {
    // The factories run later, on first reference: they keep copies.
    forms.addMain<Ombrix2>([&forms, main = services.mainWindow] {
        auto w = std::make_unique<Ombrix2>(forms, main);
        w->Form_Load();
        return w;
    });
    forms.add<frmNetCheck>([&registry = services.registry, notCarried = services.notCarried] {
        auto w = std::make_unique<frmNetCheck>(registry, notCarried);
        w->Form_Load();
        return w;
    });
    forms.add<Drive>([&forms, &fileSystem = services.fileSystem, notCarried = services.notCarried] {
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
    forms.add<frmAbout>([] {
        auto w = std::make_unique<frmAbout>();
        w->Form_Load();
        return w;
    });
}

} // namespace ombrix
