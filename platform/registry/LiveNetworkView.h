#pragma once
#include "platform/RegistryProvider.h"
#include "platform/registry/DhcpLeases.h"

#include <optional>
#include <string>
#include <string_view>

namespace ombrix::platform {

// The machine's network configuration as registry keys, read from the
// running system each time a key is opened. Mounted at
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services, it serves
//   Tcpip\Parameters            Domain, HostName, NameServer (REG_SZ)
//   NetBT\Adapters              one subkey per interface but loopback
//   NetBT\Adapters\<interface>  NameServer, NameServerBackup (REG_SZ, WINS)
//   <interface>\Parameters\Tcpip  DefaultGateway, IPAddress, SubnetMask
//                               (REG_MULTI_SZ), EnableDHCP (REG_DWORD)
// for the network namespace of the thread that opens the key.
class LiveNetworkView final : public RegistryProvider {
public:
    static constexpr std::string_view kMountPath = "SYSTEM\\CurrentControlSet\\Services";

    struct Sources {
        std::string resolvedServers = "/run/systemd/resolve/resolv.conf";
        std::string sambaConfig = "/etc/samba/smb.conf";
        DhcpLeases::Folders leases;
    };

    LiveNetworkView() = default;
    explicit LiveNetworkView(Sources sources) : m_sources(std::move(sources)) {}

    std::optional<ProviderKey> openKey(std::string_view relPath) const override;

private:
    ProviderKey tcpipParameters() const;
    ProviderKey adapters() const;
    std::optional<ProviderKey> adapterWins(std::string_view name) const;
    std::optional<ProviderKey> adapterTcpip(std::string_view name) const;

    Sources m_sources;
};

} // namespace ombrix::platform
