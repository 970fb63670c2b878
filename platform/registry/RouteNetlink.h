#pragma once
#include "platform/registry/NetworkFacts.h"

#include <string>
#include <vector>

namespace ombrix::platform {

// Reads interfaces, IPv4 addresses and default routes of the calling
// thread's network namespace over rtnetlink. Every call asks the kernel
// afresh; a failed query answers with what it got (usually nothing).
class RouteNetlink {
public:
    RouteNetlink();
    ~RouteNetlink();
    RouteNetlink(const RouteNetlink&) = delete;
    RouteNetlink& operator=(const RouteNetlink&) = delete;

    bool isOpen() const { return m_fd >= 0; }

    // In interface-index order.
    std::vector<NetworkInterface> interfaces();
    // In the kernel's order: the primary address first.
    std::vector<InterfaceAddress> ipv4Addresses(unsigned ifIndex);
    // Gateways of the main table's IPv4 default routes through the interface.
    std::vector<std::string> defaultGateways(unsigned ifIndex);

private:
    template <class Handler> bool dump(const void* request, unsigned length, Handler&& onMessage);

    int m_fd = -1;
    unsigned m_seq = 0;
};

} // namespace ombrix::platform
