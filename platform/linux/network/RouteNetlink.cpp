#include "platform/linux/network/RouteNetlink.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ombrix::platform {

namespace {

constexpr std::uint32_t kInfiniteLifetime = 0xFFFFFFFFu;

std::string ipv4Text(const void* bytes) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, bytes, text, sizeof text);
    return text;
}

std::string maskText(unsigned prefixLength) {
    const std::uint32_t bits =
        prefixLength == 0 ? 0u : 0xFFFFFFFFu << (32u - std::min(prefixLength, 32u));
    const std::uint32_t network = htonl(bits);
    return ipv4Text(&network);
}

// Calls f(type, payload, length) for each attribute of a message part.
template <class F> void forEachAttribute(const rtattr* attr, int length, F&& f) {
    for (; RTA_OK(attr, length); attr = RTA_NEXT(attr, length))
        f(attr->rta_type, RTA_DATA(attr), RTA_PAYLOAD(attr));
}

template <class T> bool readAttribute(const void* data, std::size_t size, T& out) {
    if (size < sizeof(T))
        return false;
    std::memcpy(&out, data, sizeof(T));
    return true;
}

void appendOnce(std::vector<std::string>& list, std::string item) {
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(std::move(item));
}

int openNetlink(unsigned groups) {
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = groups;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

RouteNetlink::RouteNetlink() : m_buffer(32768) {
    // The listener is bound first, so that no change made while the first
    // answers are read goes unnoticed.
    m_watchFd = openNetlink(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE);
    m_fd = openNetlink(0);
}

RouteNetlink::~RouteNetlink() {
    if (m_fd >= 0)
        close(m_fd);
    if (m_watchFd >= 0)
        close(m_watchFd);
}

bool RouteNetlink::changed() {
    bool changed = !m_watching || m_watchFd < 0;
    m_watching = true;
    while (m_watchFd >= 0) {
        const ssize_t got = recv(m_watchFd, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
        if (got > 0 || (got < 0 && errno == ENOBUFS)) {
            changed = true; // an announcement, or so many that some were lost
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0 || errno != EAGAIN)
            changed = true;
        break;
    }
    return changed;
}

template <class Handler>
bool RouteNetlink::dump(int type, unsigned char family, Handler&& onMessage) {
    if (m_fd < 0)
        return false;
    // A dump that the kernel marks as interrupted by a concurrent change is
    // asked again, a few times, so that one answer is consistent.
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct {
            nlmsghdr header;
            rtgenmsg body;
        } request{};
        request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtgenmsg));
        request.header.nlmsg_type = static_cast<unsigned short>(type);
        request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        request.header.nlmsg_seq = ++m_seq;
        request.body.rtgen_family = family;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (sendto(m_fd, &request, request.header.nlmsg_len, 0,
                   reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
            return false;

        bool interrupted = false;
        bool done = false;
        std::vector<std::vector<char>> messages;
        while (!done) {
            const ssize_t got = recv(m_fd, m_buffer.data(), m_buffer.size(), 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            int left = static_cast<int>(got);
            for (auto* msg = reinterpret_cast<nlmsghdr*>(m_buffer.data()); NLMSG_OK(msg, left);
                 msg = NLMSG_NEXT(msg, left)) {
                if (msg->nlmsg_seq != m_seq)
                    continue; // a late answer to an earlier request
                if (msg->nlmsg_flags & NLM_F_DUMP_INTR)
                    interrupted = true;
                if (msg->nlmsg_type == NLMSG_DONE) {
                    done = true;
                    break;
                }
                if (msg->nlmsg_type == NLMSG_ERROR)
                    return false;
                const auto* bytes = reinterpret_cast<const char*>(msg);
                messages.emplace_back(bytes, bytes + msg->nlmsg_len);
            }
        }
        if (interrupted && attempt < 2)
            continue;
        for (const auto& message : messages)
            onMessage(reinterpret_cast<const nlmsghdr*>(message.data()));
        return true;
    }
    return false;
}

std::vector<NetworkInterface> RouteNetlink::interfaces() {
    std::vector<NetworkInterface> result;
    dump(RTM_GETLINK, AF_UNSPEC, [&](const nlmsghdr* msg) {
        if (msg->nlmsg_type != RTM_NEWLINK || msg->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
            return;
        const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(msg));
        NetworkInterface item;
        item.index = static_cast<unsigned>(info->ifi_index);
        item.loopback = (info->ifi_flags & IFF_LOOPBACK) != 0;
        forEachAttribute(IFLA_RTA(info), static_cast<int>(IFLA_PAYLOAD(msg)),
                         [&](unsigned short type, const void* data, std::size_t size) {
                             if (type == IFLA_IFNAME)
                                 item.name.assign(static_cast<const char*>(data),
                                                  strnlen(static_cast<const char*>(data), size));
                         });
        if (!item.name.empty())
            result.push_back(std::move(item));
    });
    std::sort(result.begin(), result.end(),
              [](const auto& a, const auto& b) { return a.index < b.index; });
    return result;
}

std::map<unsigned, std::vector<InterfaceAddress>> RouteNetlink::ipv4Addresses() {
    std::map<unsigned, std::vector<InterfaceAddress>> result;
    dump(RTM_GETADDR, AF_INET, [&](const nlmsghdr* msg) {
        if (msg->nlmsg_type != RTM_NEWADDR || msg->nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg)))
            return;
        const auto* addr = static_cast<const ifaddrmsg*>(NLMSG_DATA(msg));
        if (addr->ifa_family != AF_INET)
            return;
        std::string local, peer;
        bool finite = false;
        forEachAttribute(IFA_RTA(addr), static_cast<int>(IFA_PAYLOAD(msg)),
                         [&](unsigned short type, const void* data, std::size_t size) {
                             if ((type == IFA_LOCAL || type == IFA_ADDRESS) && size >= 4)
                                 (type == IFA_LOCAL ? local : peer) = ipv4Text(data);
                             ifa_cacheinfo cache{};
                             if (type == IFA_CACHEINFO && readAttribute(data, size, cache))
                                 finite = cache.ifa_valid != kInfiniteLifetime;
                         });
        // IFA_LOCAL is the interface's own address; IFA_ADDRESS differs from
        // it only on point-to-point links, where it names the far end.
        InterfaceAddress item{local.empty() ? peer : local, maskText(addr->ifa_prefixlen), finite};
        if (!item.address.empty())
            result[addr->ifa_index].push_back(std::move(item));
    });
    return result;
}

std::map<unsigned, std::vector<std::string>> RouteNetlink::defaultGateways() {
    std::map<unsigned, std::vector<std::string>> result;
    dump(RTM_GETROUTE, AF_INET, [&](const nlmsghdr* msg) {
        if (msg->nlmsg_type != RTM_NEWROUTE || msg->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
            return;
        const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(msg));
        if (route->rtm_family != AF_INET || route->rtm_dst_len != 0 ||
            route->rtm_type != RTN_UNICAST)
            return;
        std::uint32_t table = route->rtm_table, oif = 0;
        std::string gateway;
        std::vector<std::pair<unsigned, std::string>> hops;
        forEachAttribute(RTM_RTA(route), static_cast<int>(RTM_PAYLOAD(msg)),
                         [&](unsigned short type, const void* data, std::size_t size) {
                             if (type == RTA_TABLE)
                                 readAttribute(data, size, table);
                             else if (type == RTA_OIF)
                                 readAttribute(data, size, oif);
                             else if (type == RTA_GATEWAY && size >= 4)
                                 gateway = ipv4Text(data);
                             else if (type == RTA_MULTIPATH) {
                                 auto* hop = static_cast<const rtnexthop*>(data);
                                 int left = static_cast<int>(size);
                                 for (; RTNH_OK(hop, left);
                                      left -= RTNH_ALIGN(hop->rtnh_len), hop = RTNH_NEXT(hop)) {
                                     forEachAttribute(
                                         RTNH_DATA(hop),
                                         hop->rtnh_len - static_cast<int>(sizeof(rtnexthop)),
                                         [&](unsigned short t, const void* d, std::size_t s) {
                                             if (t == RTA_GATEWAY && s >= 4)
                                                 hops.emplace_back(hop->rtnh_ifindex, ipv4Text(d));
                                         });
                                 }
                             }
                         });
        if (table != RT_TABLE_MAIN)
            return;
        if (oif != 0 && !gateway.empty())
            appendOnce(result[oif], gateway);
        for (auto& [index, hop] : hops)
            appendOnce(result[index], std::move(hop));
    });
    return result;
}

} // namespace ombrix::platform
