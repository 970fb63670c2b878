#include "platform/remote/RemoteMachine.h"

#include "platform/HostPort.h"
#include "platform/common/NetworkKeys.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/remote/RemoteNetworkView.h"

namespace ombrix::platform {
namespace {

// The print scheduler's host: the computer's name without the collector's port.
std::string schedulerHost(const QString& computer) {
    return pcp::splitHost(computer.toStdString()).host;
}

} // namespace

RemoteMachine::RemoteMachine(QString computer, RemoteFacts facts,
                             const SchedulerPrinters& printersAt,
                             std::shared_ptr<ComputerLink> link)
    : snapshot(std::move(computer), std::move(facts)),
      scheduler(printersAt(schedulerHost(snapshot.computer()))),
      network(std::make_shared<RemoteNetworkView>(snapshot)),
      registry(std::make_unique<registry::RegistryLayer>()), readings(std::move(link), snapshot) {
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                      HKEY_CURRENT_CONFIG})
        registry->setStore(root, std::make_shared<registry::MemoryRegistryStore>());
    registry->mount(HKEY_LOCAL_MACHINE, std::string(network_keys::kMountPath), network);
}

RemoteMachine::~RemoteMachine() = default;

Machine RemoteMachine::machine() {
    return {memory,   version,    cpu,       host,  systemInfo, floppy,
            printers, fileSystem, *registry, clock, readings};
}

NotCarried RemoteMachine::notCarried() const {
    return version.notCarried() + systemInfo.notCarried() + host.notCarried() + cpu.notCarried() +
           memory.notCarried() + floppy.notCarried() + network->notCarried() +
           fileSystem.notCarried() + printers.notCarried();
}

} // namespace ombrix::platform
