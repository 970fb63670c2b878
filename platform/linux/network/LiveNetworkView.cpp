#include "platform/linux/network/LiveNetworkView.h"

#include "platform/Registry.h"
#include "platform/common/NetworkKeys.h"
#include "platform/linux/KernelFile.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/network/ResolverState.h"
#include "platform/linux/network/RouteNetlink.h"
#include "platform/linux/network/SambaWins.h"
#include "platform/registry/RegistryNames.h"

#include <algorithm>
#include <cstring>

namespace ombrix::platform {

using namespace network_keys;

namespace {

std::string joined(const std::vector<std::string>& items, char separator) {
    std::string text;
    for (const auto& item : items) {
        if (!text.empty())
            text += separator;
        text += item;
    }
    return text;
}

} // namespace

struct LiveNetworkView::Adapter {
    NetworkInterface link;
    std::string key;  // its key name
    std::string fold; // the key name as key names are compared
};

struct LiveNetworkView::Snapshot {
    std::vector<Adapter> adapters; // every interface but loopback, in index order
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
        std::vector<NetworkInterface> links = m_netlink->interfaces();
        std::erase_if(links, [](const NetworkInterface& link) { return link.loopback; });
        std::vector<std::string> names;
        for (const auto& link : links)
            names.push_back(link.name);
        std::vector<std::string> keys = adapterKeyNames(names);
        for (std::size_t i = 0; i < links.size(); ++i) {
            Adapter adapter{std::move(links[i]), std::move(keys[i]), {}};
            registry::foldName(adapter.key, adapter.fold);
            facts->adapters.push_back(std::move(adapter));
        }
        facts->addresses = m_netlink->ipv4Addresses();
        facts->gateways = m_netlink->defaultGateways();
        m_facts = std::move(facts);
    }
    return *m_facts;
}

// The adapter whose key has that name: the exact name first, then one that
// differs in case only, as key names are compared.
const LiveNetworkView::Adapter* LiveNetworkView::findAdapter(const Snapshot& facts,
                                                             std::string_view name) {
    for (const auto& item : facts.adapters) {
        if (item.key == name)
            return &item;
    }
    std::string fold;
    if (!registry::foldName(name, fold))
        return nullptr;
    for (const auto& item : facts.adapters) {
        if (item.fold == fold)
            return &item;
    }
    return nullptr;
}

std::optional<ProviderKey> LiveNetworkView::openKey(std::string_view relPath) const {
    if (sameText(relPath, kTcpipParameters))
        return tcpipParameters();
    if (sameText(relPath, kAdapters))
        return adapters();
    if (startsWithText(relPath, kAdapterPrefix))
        return adapterWins(relPath.substr(kAdapterPrefix.size()));
    if (endsWithText(relPath, kTcpipSuffix))
        return adapterTcpip(relPath.substr(0, relPath.size() - kTcpipSuffix.size()));
    return std::nullopt;
}

std::vector<std::string> LiveNetworkView::servedKeys() const {
    std::vector<std::string> paths{std::string(kTcpipParameters), std::string(kAdapters)};
    const std::lock_guard lock(m_mutex);
    for (const auto& item : current().adapters) {
        paths.push_back(std::string(kAdapterPrefix) + item.key);
        paths.push_back(item.key + std::string(kTcpipSuffix));
    }
    return paths;
}

ProviderKey LiveNetworkView::tcpipParameters() const {
    const ResolverConfig resolver = ResolverState(m_sources.resolvedServers).read();
    ProviderKey key;
    key.values.push_back(textValue("Domain", resolver.domain));
    // The name the main window shows, by the same rule.
    key.values.push_back(textValue("HostName", nodeName()));
    key.values.push_back(textValue("NameServer", joined(resolver.nameServers, ' ')));
    return key;
}

ProviderKey LiveNetworkView::adapters() const {
    const std::lock_guard lock(m_mutex);
    ProviderKey key;
    for (const auto& item : current().adapters)
        key.subkeys.push_back(item.key);
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
        const Adapter* adapter = findAdapter(facts, name);
        if (!adapter)
            return std::nullopt;
        index = adapter->link.index;
        ifName = adapter->link.name;
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
