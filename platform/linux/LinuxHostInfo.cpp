#include "platform/linux/LinuxHostInfo.h"

#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <memory>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace ombrix::platform {
namespace {

struct Socket {
    int fd;
    ~Socket() {
        if (fd >= 0)
            ::close(fd);
    }
};

struct IfaddrsFree {
    void operator()(ifaddrs* list) const { ::freeifaddrs(list); }
};

QString text(const in_addr& address) {
    char buffer[INET_ADDRSTRLEN] = {};
    if (!::inet_ntop(AF_INET, &address, buffer, sizeof buffer))
        return {};
    return QString::fromLatin1(buffer);
}

// Connecting a UDP socket only asks the kernel for a route; no packet leaves.
QString routeSourceAddress() {
    Socket udp{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    if (udp.fd < 0)
        return {};
    sockaddr_in outside{};
    outside.sin_family = AF_INET;
    outside.sin_port = htons(53);
    outside.sin_addr.s_addr = htonl(0x01010101); // 1.1.1.1, any outside address will do
    if (::connect(udp.fd, reinterpret_cast<const sockaddr*>(&outside), sizeof outside) != 0)
        return {};
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(udp.fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        local.sin_family != AF_INET || local.sin_addr.s_addr == htonl(INADDR_ANY))
        return {};
    return text(local.sin_addr);
}

std::vector<HostInterfaceAddress> interfaceAddresses() {
    ifaddrs* raw = nullptr;
    if (::getifaddrs(&raw) != 0)
        return {};
    std::unique_ptr<ifaddrs, IfaddrsFree> list(raw);
    std::vector<HostInterfaceAddress> found;
    for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        HostInterfaceAddress address;
        address.interfaceName = QString::fromLocal8Bit(entry->ifa_name);
        address.up = (entry->ifa_flags & IFF_UP) != 0;
        address.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        address.ipv4 = text(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr);
        found.push_back(address);
    }
    return found;
}

} // namespace

// uname(2) hands over the whole node name, up to HOST_NAME_MAX bytes, where
// gethostname() with a buffer one byte short fails on the longest names.
std::string nodeName() {
    utsname system{};
    if (::uname(&system) != 0)
        return {};
    return std::string(system.nodename, ::strnlen(system.nodename, sizeof system.nodename));
}

QString LinuxHostInfo::hostName() const {
    const std::string name = nodeName();
    return QString::fromLocal8Bit(name.data(), qsizetype(name.size()));
}

QString LinuxHostInfo::ipAddress() const {
    const QString routed = routeSourceAddress();
    if (!routed.isEmpty())
        return routed;
    return pickAddress(interfaceAddresses());
}

QString pickAddress(const std::vector<HostInterfaceAddress>& addresses) {
    for (bool loopback : {false, true})
        for (const auto& address : addresses)
            if (address.up && address.loopback == loopback && !address.ipv4.isEmpty())
                return address.ipv4;
    return {};
}

} // namespace ombrix::platform
