#pragma once
#include "platform/RegistryProvider.h"
#include "platform/common/NetworkKeys.h"
#include "platform/linux/network/DhcpLeases.h"
#include "platform/linux/network/NetworkFacts.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix::platform {

class RouteNetlink;

// The machine's network configuration as registry keys, read from the
// running system each time a key is opened. Mounted at
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services, it serves
//   Tcpip\Parameters            Domain, HostName, NameServer (REG_SZ)
//   NetBT\Adapters              one subkey per interface but loopback
//   NetBT\Adapters\<interface>  NameServer, NameServerBackup (REG_SZ, WINS)
//   <interface>\Parameters\Tcpip  DefaultGateway, IPAddress, SubnetMask
//                               (REG_MULTI_SZ), EnableDHCP (REG_DWORD)
// for the network namespace it was made in. <interface> is the key name of
// the interface's name (adapterKeyNames).
//
// The kernel's answers are kept only until the kernel announces a change to
// links, IPv4 addresses or routes: a report opens each adapter's keys six
// times, and asking the kernel for all of it again on every open would make
// the report grow with the square of the number of interfaces. Files (the
// resolver's, Samba's, DHCP leases) are read on every open.
class LiveNetworkView final : public RegistryProvider {
public:
    static constexpr std::string_view kMountPath = network_keys::kMountPath;

    struct Sources {
        std::string resolvedServers = "/run/systemd/resolve/resolv.conf";
        std::string sambaConfig = "/etc/samba/smb.conf";
        DhcpLeases::Folders leases;
    };

    LiveNetworkView();
    explicit LiveNetworkView(Sources sources);
    ~LiveNetworkView() override;

    std::optional<ProviderKey> openKey(std::string_view relPath) const override;
    std::vector<std::string> servedKeys() const override;

private:
    ProviderKey tcpipParameters() const;
    ProviderKey adapters() const;
    std::optional<ProviderKey> adapterWins(std::string_view name) const;
    std::optional<ProviderKey> adapterTcpip(std::string_view name) const;

    struct Adapter;
    struct Snapshot;
    // The kernel's facts as of now; call with m_mutex held.
    const Snapshot& current() const;
    static const Adapter* findAdapter(const Snapshot& facts, std::string_view name);

    Sources m_sources;
    mutable std::mutex m_mutex;
    std::unique_ptr<RouteNetlink> m_netlink;
    mutable std::unique_ptr<Snapshot> m_facts;
};

} // namespace ombrix::platform
