#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace ombrix::platform {

// Leases that DHCP clients keep on disk, for addresses whose kernel entry
// does not expire (ISC dhclient installs its address without a lifetime).
class DhcpLeases {
public:
    struct Folders {
        std::string dhclient = "/var/lib/dhcp";                 // dhclient*.leases
        std::string networkd = "/run/systemd/netif/leases";     // one file per interface index
        std::string networkManager = "/var/lib/NetworkManager"; // internal-*-<name>.lease
    };

    DhcpLeases() = default;
    explicit DhcpLeases(Folders folders) : m_folders(std::move(folders)) {}

    // Whether a client holds a lease for one of the interface's addresses.
    bool holdsLease(unsigned ifIndex, const std::string& ifName,
                    const std::vector<std::string>& addresses) const;

private:
    Folders m_folders;
};

struct DhclientLease {
    std::string interfaceName;
    std::string address;
};

// The lease blocks of a dhclient lease file, in file order.
std::vector<DhclientLease> parseDhclientLeases(std::string_view text);
// The ADDRESS= entry of a systemd-networkd or NetworkManager lease file.
std::string parseKeyValueLeaseAddress(std::string_view text);

} // namespace ombrix::platform
