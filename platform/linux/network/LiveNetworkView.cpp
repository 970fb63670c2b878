#include "platform/linux/network/LiveNetworkView.h"

#include "platform/Registry.h"
#include "platform/linux/KernelFile.h"
#include "platform/linux/network/ResolverState.h"
#include "platform/linux/network/RouteNetlink.h"
#include "platform/linux/network/SambaWins.h"

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

} // namespace

struct LiveNetworkView::Snapshot {
    std::vector<NetworkInterface> interfaces;
    std::map<unsigned, std::vector<InterfaceAddress>> addresses;
    std::map<unsigned, std::vector<std::string>> gateways;
};

LiveNetworkView::LiveNetworkView() : LiveNetworkView(Sources{}) {}

LiveNetworkView::LiveNetworkView(Sources sources)
    : m_sources(std::move(sources)), m_netlink(std::make_unique<RouteNetlink>()) {}

LiveNetworkView::~LiveNetworkView() = default;

const LiveNetworkView::Snapshot& LiveNetworkView::current() const {
    if (!m_facts || m_netlink->changed()) {
        auto facts = std::make_unique<Snapshot>();
        facts->interfaces = m_netlink->interfaces();
        facts->addresses = m_netlink->ipv4Addresses();
        facts->gateways = m_netlink->defaultGateways();
        m_facts = std::move(facts);
    }
    return *m_facts;
}

// The non-loopback interface of that name: the exact name first, then one
// that differs in case only, as key names are compared.
const NetworkInterface* LiveNetworkView::findAdapter(const Snapshot& facts, std::string_view name) {
    const NetworkInterface* match = nullptr;
    for (const auto& item : facts.interfaces) {
        if (item.loopback)
            continue;
        if (item.name == name)
            return &item;
        if (!match && sameText(item.name, name))
            match = &item;
    }
    return match;
}

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

std::vector<std::string> LiveNetworkView::servedKeys() const {
    std::vector<std::string> paths{std::string(kTcpipParameters), std::string(kAdapters)};
    const std::lock_guard lock(m_mutex);
    for (const auto& item : current().interfaces) {
        if (item.loopback)
            continue;
        paths.push_back(std::string(kAdapterPrefix) + item.name);
        paths.push_back(item.name + std::string(kTcpipSuffix));
    }
    return paths;
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
    const std::lock_guard lock(m_mutex);
    ProviderKey key;
    for (const auto& item : current().interfaces)
        if (!item.loopback)
            key.subkeys.push_back(item.name);
    return key;
}

std::optional<ProviderKey> LiveNetworkView::adapterWins(std::string_view name) const {
    {
        const std::lock_guard lock(m_mutex);
        if (!findAdapter(current(), name))
            return std::nullopt;
    }
    const WinsServers wins = parseSambaWins(readKernelFile(m_sources.sambaConfig).value_or(""));
    ProviderKey key;
    key.values.push_back(textValue("NameServer", wins.primary));
    key.values.push_back(textValue("NameServerBackup", wins.backup));
    return key;
}

std::optional<ProviderKey> LiveNetworkView::adapterTcpip(std::string_view name) const {
    std::vector<std::string> addresses, masks, gateways;
    unsigned index = 0;
    std::string ifName;
    bool finite = false;
    {
        const std::lock_guard lock(m_mutex);
        const Snapshot& facts = current();
        const NetworkInterface* adapter = findAdapter(facts, name);
        if (!adapter)
            return std::nullopt;
        index = adapter->index;
        ifName = adapter->name;
        if (const auto it = facts.addresses.find(index); it != facts.addresses.end()) {
            for (const auto& address : it->second) {
                addresses.push_back(address.address);
                masks.push_back(address.mask);
                finite = finite || address.finiteLifetime;
            }
        }
        if (const auto it = facts.gateways.find(index); it != facts.gateways.end())
            gateways = it->second;
    }
    const bool leased = finite || DhcpLeases(m_sources.leases).holdsLease(index, ifName, addresses);

    ProviderKey key;
    key.values.push_back(multiTextValue("DefaultGateway", gateways));
    key.values.push_back(dwordValue("EnableDHCP", leased ? 1 : 0));
    key.values.push_back(multiTextValue("IPAddress", addresses));
    key.values.push_back(multiTextValue("SubnetMask", masks));
    return key;
}

} // namespace ombrix::platform
