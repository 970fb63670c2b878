#pragma once
#include "platform/linux/network/NetworkFacts.h"

#include <map>
#include <string>
#include <vector>

namespace ombrix::platform {

// Reads interfaces, IPv4 addresses and default routes of the network
// namespace it was made in, over rtnetlink, and listens for the kernel's
// announcements of changes to them.
class RouteNetlink {
public:
    RouteNetlink();
    ~RouteNetlink();
    RouteNetlink(const RouteNetlink&) = delete;
    RouteNetlink& operator=(const RouteNetlink&) = delete;

    // Whether links, IPv4 addresses or routes may have changed since the
    // previous call; true on the first call and whenever it cannot tell.
    bool changed();

    // In interface-index order; empty when the kernel cannot be asked.
    std::vector<NetworkInterface> interfaces();
    // Per interface index, in the kernel's order: the primary address first.
    std::map<unsigned, std::vector<InterfaceAddress>> ipv4Addresses();
    // Per interface index, the gateways of the main table's IPv4 default
    // routes through it.
    std::map<unsigned, std::vector<std::string>> defaultGateways();

private:
    template <class Handler> bool dump(int type, unsigned char family, Handler&& onMessage);

    int m_fd = -1;
    int m_watchFd = -1;
    bool m_watching = false;
    unsigned m_seq = 0;
    std::vector<char> m_buffer;
};

} // namespace ombrix::platform
