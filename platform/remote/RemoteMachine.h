#pragma once
#include "platform/Printers.h"
#include "platform/registry/RegistryLayer.h"
#include "platform/remote/RemoteServices.h"

#include <memory>

namespace ombrix::platform {

class RemoteNetworkView;

// Another computer's services for the windows and the report, over the
// facts its collector gave (snapshot), which its readings replace with fresh
// ones over its link. The registry holds nothing but that computer's network
// configuration, where the network report reads it; its printers are those
// its collector agent tells, else those of its own print scheduler, made by
// printersAt for its host.
struct RemoteMachine {
    // link: the one its readings are taken again over; none for facts read
    // once (a report).
    RemoteMachine(QString computer, RemoteFacts facts, const SchedulerPrinters& printersAt,
                  std::shared_ptr<ComputerLink> link = {});
    ~RemoteMachine();
    RemoteMachine(const RemoteMachine&) = delete;
    RemoteMachine& operator=(const RemoteMachine&) = delete;

    // What its services cannot give, as each of them says: the summary's,
    // the network report's, the drives', then the printers' (once asked).
    NotCarried notCarried() const;
    // Its services as the windows and the report take them.
    Machine machine();

    RemoteSnapshot snapshot;
    RemoteMemory memory{snapshot};
    RemoteVersionQuery version{snapshot};
    RemoteCpu cpu{snapshot};
    RemoteHostInfo host{snapshot};
    RemoteSystemInfo systemInfo{snapshot};
    RemoteFloppyDrive floppy{snapshot};
    RemoteClock clock{snapshot};
    RemoteFileSystem fileSystem{snapshot};
    std::unique_ptr<Printers> scheduler; // its print scheduler, asked from here
    RemotePrinters printers{snapshot, *scheduler};
    std::shared_ptr<RemoteNetworkView> network; // mounted in the registry
    std::unique_ptr<registry::RegistryLayer> registry;
    RemoteReadings readings;
};

} // namespace ombrix::platform
