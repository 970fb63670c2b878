#pragma once
#include "platform/HostInfo.h"

#include <string>
#include <vector>

namespace ombrix::platform {

// Host name: the kernel's node name (uname); IP address: the source address the kernel
// picks for an outside destination, i.e. that of the default route's
// interface, found without sending anything.
class LinuxHostInfo final : public HostInfoProvider {
public:
    QString hostName() const override;  // nodeName(): empty when the system has no name
    QString ipAddress() const override; // see pickAddress() where there is no default route
};

// The machine's host name, the kernel's node name, as its bytes: the one
// the main window and the network report show. Empty where the system has
// none: no name is made up for it.
std::string nodeName();

struct HostInterfaceAddress {
    QString interfaceName;
    bool up = false;
    bool loopback = false;
    QString ipv4;
};

// Without a default route: the first IPv4 address of an interface that is up,
// loopback last; empty when the machine has none.
QString pickAddress(const std::vector<HostInterfaceAddress>& addresses);

} // namespace ombrix::platform
