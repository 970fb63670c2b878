#pragma once
#include "platform/ComputerFacts.h"
#include "platform/RegistryProvider.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::platform {

class RemoteSnapshot;

// Another computer's adapters and their addresses as the network report's
// keys (the layout LiveNetworkView serves), with the computer's own name.
// Where its collector agent answered, the domain, name servers, masks,
// gateways, leases and WINS servers are the agent's. Without it the default
// agents carry none of them: those stay empty, and whether an adapter's
// address was leased is not told at all (its value is not there). Loopback
// adapters are left out, as on this computer.
class RemoteNetworkView final : public RegistryProvider {
public:
    explicit RemoteNetworkView(const RemoteSnapshot& snapshot) : m_snapshot(snapshot) {}
    std::optional<ProviderKey> openKey(std::string_view relPath) const override;
    std::vector<std::string> servedKeys() const override;
    // What the network report lacks here: all of the above that stays empty.
    NotCarried notCarried() const;

private:
    struct Adapter {
        std::string key;
        std::vector<std::string> addresses;
        std::vector<std::string> masks;
        std::vector<std::string> gateways;
        std::optional<bool> dhcp;
        std::string winsPrimary;
        std::string winsBackup;
    };
    // Made again only when fresh facts have come: the network report opens
    // a key for each value it reads, and a collector may list 1,024 adapters.
    std::shared_ptr<const std::vector<Adapter>> adapters() const;

    const RemoteSnapshot& m_snapshot;
    mutable std::mutex m_mutex;
    mutable std::shared_ptr<const RemoteFacts> m_madeFrom;          // under m_mutex
    mutable std::shared_ptr<const std::vector<Adapter>> m_adapters; // under m_mutex
};

} // namespace ombrix::platform
