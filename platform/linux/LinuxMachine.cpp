#include "platform/linux/LinuxMachine.h"

#include "platform/linux/modules/LazyRegistryStore.h"
#include "platform/linux/network/LiveNetworkView.h"
#include "platform/registry/SystemRegistry.h"

#include <string>

namespace ombrix::platform {

LinuxMachine::LinuxMachine(RemoteComputerLinks::ErrorSink errors)
    : remoteComputers(counterSources, std::move(errors)),
      registry(registry::makeSystemRegistry(
          [](std::string path, registry::SqliteRegistryStore::Writers writers) {
              return std::make_shared<LazyRegistryStore>(std::move(path), writers);
          })) {
    registry->mount(HKEY_LOCAL_MACHINE, std::string(LiveNetworkView::kMountPath),
                    std::make_shared<LiveNetworkView>());
}

LinuxMachine::~LinuxMachine() = default;

Machine LinuxMachine::machine() {
    return {memory,   version,    cpu,       host,  systemInfo, floppy,
            printers, fileSystem, *registry, clock, readings};
}

} // namespace ombrix::platform
