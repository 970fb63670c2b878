#include "app/Application.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "performance_monitor/sysmon.h"
#include "platform/linux/LinuxPerfCounters.h"
#include "platform/linux/QtMessageBoxes.h"

#include <memory>

int main(int argc, char** argv) {
    ombrix::platform::QtMessageBoxes boxes;
    ombrix::Application app(argc, argv, boxes);
    ombrix::Forms forms;
    ombrix::platform::LinuxPerfCounters perfCounters;
    forms.add("sysmon", [&] {
        auto w = std::make_unique<ombrix::sysmon>(perfCounters, boxes, forms);
        w->Form_Load();
        return w;
    });
    return 0;
}
