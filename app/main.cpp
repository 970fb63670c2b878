#include "app/Application.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "network_report/frmNetCheck.h"
#include "platform/linux/QtMessageBoxes.h"
#include "platform/registry/LiveNetworkView.h"
#include "platform/registry/SystemRegistry.h"

#include <memory>
#include <string>

int main(int argc, char** argv) {
    ombrix::platform::QtMessageBoxes boxes;
    ombrix::Application app(argc, argv, boxes);
    // The machine's registry, with the live network configuration mounted
    // where the network report reads it. It outlives every window.
    auto registry = ombrix::platform::registry::makeSystemRegistry();
    registry->mount(ombrix::platform::HKEY_LOCAL_MACHINE,
                    std::string(ombrix::platform::LiveNetworkView::kMountPath),
                    std::make_shared<ombrix::platform::LiveNetworkView>());
    ombrix::Forms forms;
    forms.add("frmNetCheck", [&] {
        auto w = std::make_unique<ombrix::frmNetCheck>(*registry);
        w->Form_Load();
        return w;
    });
    return 0;
}
