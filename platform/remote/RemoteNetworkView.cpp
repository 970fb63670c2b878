#include "platform/remote/RemoteNetworkView.h"

#include "platform/common/NetworkKeys.h"
#include "platform/remote/RemoteServices.h"

namespace ombrix::platform {

using namespace network_keys;

std::shared_ptr<const std::vector<RemoteNetworkView::Adapter>> RemoteNetworkView::adapters() const {
    const auto facts = m_snapshot.facts();
    const std::lock_guard lock(m_mutex);
    if (m_adapters && m_madeFrom == facts)
        return m_adapters;
    std::vector<std::string> names;
    std::vector<const RemoteAdapter*> shown;
    if (facts->adapters)
        for (const RemoteAdapter& adapter : *facts->adapters)
            if (!adapter.loopback) {
                names.push_back(adapter.name.toStdString());
                shown.push_back(&adapter);
            }
    const std::vector<std::string> keys = adapterKeyNames(names);
    std::vector<Adapter> adapters;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        Adapter adapter{keys[i], {}};
        for (const QString& address : shown[i]->ipv4)
            adapter.addresses.push_back(address.toStdString());
        adapters.push_back(std::move(adapter));
    }
    m_madeFrom = facts;
    m_adapters = std::make_shared<const std::vector<Adapter>>(std::move(adapters));
    return m_adapters;
}

std::optional<ProviderKey> RemoteNetworkView::openKey(std::string_view relPath) const {
    ProviderKey key;
    if (sameText(relPath, kTcpipParameters)) {
        const QString name = m_snapshot.facts()->summary.nodeName.value_or(m_snapshot.computer());
        key.values.push_back(textValue("Domain", ""));
        key.values.push_back(textValue("HostName", name.toStdString()));
        key.values.push_back(textValue("NameServer", ""));
        return key;
    }
    const auto all = adapters();
    if (sameText(relPath, kAdapters)) {
        for (const Adapter& adapter : *all)
            key.subkeys.push_back(adapter.key);
        return key;
    }
    const bool wins = startsWithText(relPath, kAdapterPrefix);
    const bool tcpip = !wins && endsWithText(relPath, kTcpipSuffix);
    if (!wins && !tcpip)
        return std::nullopt;
    const std::string_view name = wins ? relPath.substr(kAdapterPrefix.size())
                                       : relPath.substr(0, relPath.size() - kTcpipSuffix.size());
    for (const Adapter& adapter : *all) {
        if (!sameText(adapter.key, name))
            continue;
        if (wins) {
            key.values.push_back(textValue("NameServer", ""));
            key.values.push_back(textValue("NameServerBackup", ""));
        } else {
            key.values.push_back(multiTextValue("DefaultGateway", {}));
            key.values.push_back(multiTextValue("IPAddress", adapter.addresses));
            key.values.push_back(multiTextValue("SubnetMask", {}));
        }
        return key;
    }
    return std::nullopt;
}

NotCarried RemoteNetworkView::notCarried() const {
    NotCarried keys{QStringLiteral("network.domain")};
    if (!m_snapshot.ownName())
        keys << QStringLiteral("network.host_name");
    keys << QStringLiteral("network.name_servers");
    if (!m_snapshot.facts()->adapters)
        return keys << QStringLiteral("network.adapters");
    for (const char* key : {"subnet_masks", "gateways", "dhcp", "primary_wins", "backup_wins"})
        keys << QStringLiteral("network.adapters.") + QLatin1String(key);
    return keys;
}

std::vector<std::string> RemoteNetworkView::servedKeys() const {
    std::vector<std::string> paths{std::string(kTcpipParameters), std::string(kAdapters)};
    for (const Adapter& adapter : *adapters()) {
        paths.push_back(std::string(kAdapterPrefix) + adapter.key);
        paths.push_back(adapter.key + std::string(kTcpipSuffix));
    }
    return paths;
}

} // namespace ombrix::platform
