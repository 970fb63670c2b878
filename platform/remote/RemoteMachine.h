#pragma once
#include "platform/linux/modules/LazyPrinters.h"
#include "platform/registry/RegistryLayer.h"
#include "platform/remote/RemoteServices.h"

#include <memory>

namespace ombrix::platform {

class RemoteNetworkView;

// Another computer's services for the windows and the report, over the
// facts its collector gave (snapshot), which its reader replaces as fresh
// ones arrive. The registry holds nothing but that computer's network
// configuration, where the network report reads it; its printers are those
// of its own print scheduler.
struct RemoteMachine {
    RemoteMachine(QString computer, RemoteFacts facts);
    ~RemoteMachine();
    RemoteMachine(const RemoteMachine&) = delete;
    RemoteMachine& operator=(const RemoteMachine&) = delete;

    // What its services cannot give, as each of them says: the summary's,
    // the network report's, the drives', then the printers' (once asked).
    NotCarried notCarried() const;

    RemoteSnapshot snapshot;
    RemoteMemory memory{snapshot};
    RemoteVersionQuery version{snapshot};
    RemoteCpu cpu{snapshot};
    RemoteHostInfo host{snapshot};
    RemoteSystemInfo systemInfo{snapshot};
    NoFloppyDrive floppy;
    RemoteClock clock{snapshot};
    RemoteFileSystem fileSystem{snapshot};
    LazyPrinters scheduler; // its print scheduler, asked from here
    RemotePrinters printers{scheduler};
    std::shared_ptr<RemoteNetworkView> network; // mounted in the registry
    std::unique_ptr<registry::RegistryLayer> registry;
};

} // namespace ombrix::platform
