#pragma once
#include "platform/RegistryProvider.h"

namespace ombrix::platform {

class RemoteSnapshot;

// Another computer's adapters and their addresses as the network report's
// keys (the layout LiveNetworkView serves), with the computer's own name.
// Its collector carries no gateways, masks, name servers, domain, WINS
// servers or leases: those stay empty. Loopback adapters are left out, as
// on this computer.
class RemoteNetworkView final : public RegistryProvider {
public:
    explicit RemoteNetworkView(const RemoteSnapshot& snapshot) : m_snapshot(snapshot) {}
    std::optional<ProviderKey> openKey(std::string_view relPath) const override;
    std::vector<std::string> servedKeys() const override;

private:
    struct Adapter {
        std::string key;
        std::vector<std::string> addresses;
    };
    std::vector<Adapter> adapters() const;

    const RemoteSnapshot& m_snapshot;
};

} // namespace ombrix::platform
