#include "platform/registry/LiveNetworkView.h"

#include "platform/Registry.h"
#include "platform/registry/ResolverState.h"
#include "platform/registry/RouteNetlink.h"
#include "platform/registry/SambaWins.h"
#include "platform/registry/TextFile.h"

#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace ombrix::platform {

namespace {

constexpr std::string_view kTcpipParameters = "Tcpip\\Parameters";
constexpr std::string_view kAdapters = "NetBT\\Adapters";
constexpr std::string_view kAdapterPrefix = "NetBT\\Adapters\\";
constexpr std::string_view kTcpipSuffix = "\\Parameters\\Tcpip";

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool startsWithText(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && sameText(text.substr(0, prefix.size()), prefix);
}

bool endsWithText(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           sameText(text.substr(text.size() - suffix.size()), suffix);
}

RegistryValueData textValue(std::string name, std::string_view text) {
    RegistryValueData value{std::move(name), REG_SZ, {text.begin(), text.end()}};
    value.data.push_back(0);
    return value;
}

RegistryValueData multiTextValue(std::string name, const std::vector<std::string>& texts) {
    RegistryValueData value{std::move(name), REG_MULTI_SZ, {}};
    for (const auto& text : texts) {
        value.data.insert(value.data.end(), text.begin(), text.end());
        value.data.push_back(0);
    }
    value.data.push_back(0);
    return value;
}

RegistryValueData dwordValue(std::string name, std::uint32_t number) {
    RegistryValueData value{std::move(name), REG_DWORD, std::vector<unsigned char>(4)};
    for (int i = 0; i < 4; ++i)
        value.data[static_cast<std::size_t>(i)] = static_cast<unsigned char>(number >> (8 * i));
    return value;
}

std::string joined(const std::vector<std::string>& items, char separator) {
    std::string text;
    for (const auto& item : items) {
        if (!text.empty())
            text += separator;
        text += item;
    }
    return text;
}

std::string hostName() {
    std::array<char, 256> host{};
    if (gethostname(host.data(), host.size() - 1) != 0)
        return {};
    return host.data();
}

// The index of the non-loopback interface with this name, 0 when there is
// none. The exact name is asked directly; names differing in case only (keys
// are case-insensitive) need the interface list.
unsigned adapterIndex(RouteNetlink& netlink, std::string_view name) {
    if (!name.empty() && name.size() < IFNAMSIZ) {
        ifreq request{};
        std::memcpy(request.ifr_name, name.data(), name.size());
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd >= 0) {
            unsigned index = 0;
            if (ioctl(fd, SIOCGIFFLAGS, &request) == 0 && !(request.ifr_flags & IFF_LOOPBACK) &&
                ioctl(fd, SIOCGIFINDEX, &request) == 0)
                index = static_cast<unsigned>(request.ifr_ifindex);
            close(fd);
            if (index != 0)
                return index;
        }
    }
    for (const auto& item : netlink.interfaces())
        if (!item.loopback && sameText(item.name, name))
            return item.index;
    return 0;
}

} // namespace

std::optional<ProviderKey> LiveNetworkView::openKey(std::string_view relPath) const {
    if (sameText(relPath, kTcpipParameters))
        return tcpipParameters();
    if (sameText(relPath, kAdapters))
        return adapters();
    // Interface names may hold characters that also separate key levels, so
    // the name is what stands between the fixed parts of the path.
    if (startsWithText(relPath, kAdapterPrefix))
        return adapterWins(relPath.substr(kAdapterPrefix.size()));
    if (endsWithText(relPath, kTcpipSuffix))
        return adapterTcpip(relPath.substr(0, relPath.size() - kTcpipSuffix.size()));
    return std::nullopt;
}

ProviderKey LiveNetworkView::tcpipParameters() const {
    const ResolverConfig resolver = ResolverState(m_sources.resolvedServers).read();
    ProviderKey key;
    key.values.push_back(textValue("Domain", resolver.domain));
    key.values.push_back(textValue("HostName", hostName()));
    key.values.push_back(textValue("NameServer", joined(resolver.nameServers, ' ')));
    return key;
}

ProviderKey LiveNetworkView::adapters() const {
    RouteNetlink netlink;
    ProviderKey key;
    for (auto& item : netlink.interfaces())
        if (!item.loopback)
            key.subkeys.push_back(std::move(item.name));
    return key;
}

std::optional<ProviderKey> LiveNetworkView::adapterWins(std::string_view name) const {
    RouteNetlink netlink;
    if (adapterIndex(netlink, name) == 0)
        return std::nullopt;
    const WinsServers wins = parseSambaWins(readTextFile(m_sources.sambaConfig));
    ProviderKey key;
    key.values.push_back(textValue("NameServer", wins.primary));
    key.values.push_back(textValue("NameServerBackup", wins.backup));
    return key;
}

std::optional<ProviderKey> LiveNetworkView::adapterTcpip(std::string_view name) const {
    RouteNetlink netlink;
    const unsigned index = adapterIndex(netlink, name);
    if (index == 0)
        return std::nullopt;
    std::vector<std::string> addresses, masks;
    bool finite = false;
    for (const auto& address : netlink.ipv4Addresses(index)) {
        addresses.push_back(address.address);
        masks.push_back(address.mask);
        finite = finite || address.finiteLifetime;
    }
    const bool leased =
        finite || DhcpLeases(m_sources.leases).holdsLease(index, std::string(name), addresses);

    ProviderKey key;
    key.values.push_back(multiTextValue("DefaultGateway", netlink.defaultGateways(index)));
    key.values.push_back(dwordValue("EnableDHCP", leased ? 1 : 0));
    key.values.push_back(multiTextValue("IPAddress", addresses));
    key.values.push_back(multiTextValue("SubnetMask", masks));
    return key;
}

} // namespace ombrix::platform
