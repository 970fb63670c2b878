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
    const auto strings = [](const QStringList& texts) {
        std::vector<std::string> all;
        for (const QString& text : texts)
            all.push_back(text.toStdString());
        return all;
    };
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const RemoteAdapter& from = *shown[i];
        adapters.push_back({keys[i], strings(from.ipv4), strings(from.masks),
                            strings(from.gateways), from.dhcp, from.winsPrimary.toStdString(),
                            from.winsBackup.toStdString()});
    }
    m_madeFrom = facts;
    m_adapters = std::make_shared<const std::vector<Adapter>>(std::move(adapters));
    return m_adapters;
}

std::optional<ProviderKey> RemoteNetworkView::openKey(std::string_view relPath) const {
    ProviderKey key;
    if (sameText(relPath, kTcpipParameters)) {
        const auto facts = m_snapshot.facts();
        const QString name = facts->summary.nodeName.value_or(m_snapshot.computer());
        const RemoteResolver resolver = facts->resolver.value_or(RemoteResolver{});
        key.values.push_back(textValue("Domain", resolver.domain.toStdString()));
        key.values.push_back(textValue("HostName", name.toStdString()));
        key.values.push_back(
            textValue("NameServer", resolver.nameServers.join(QLatin1Char(' ')).toStdString()));
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
            key.values.push_back(textValue("NameServer", adapter.winsPrimary));
            key.values.push_back(textValue("NameServerBackup", adapter.winsBackup));
        } else {
            key.values.push_back(multiTextValue("DefaultGateway", adapter.gateways));
            if (adapter.dhcp)
                key.values.push_back(dwordValue("EnableDHCP", *adapter.dhcp ? 1 : 0));
            key.values.push_back(multiTextValue("IPAddress", adapter.addresses));
            key.values.push_back(multiTextValue("SubnetMask", adapter.masks));
        }
        return key;
    }
    return std::nullopt;
}

NotCarried RemoteNetworkView::notCarried() const {
    const auto facts = m_snapshot.facts();
    const bool agent = facts->resolver.has_value();
    NotCarried keys;
    if (!agent)
        keys << QStringLiteral("network.domain");
    if (!m_snapshot.ownName())
        keys << QStringLiteral("network.host_name");
    if (!agent)
        keys << QStringLiteral("network.name_servers");
    if (!facts->adapters)
        return keys << QStringLiteral("network.adapters");
    if (agent)
        return keys;
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
