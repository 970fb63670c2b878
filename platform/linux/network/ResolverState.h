#pragma once
#include "platform/linux/network/NetworkFacts.h"

#include <string>
#include <string_view>
#include <vector>

namespace ombrix::platform {

// The resolver as glibc sets it up for this process (res_ninit reads the
// resolver configuration afresh on every call). Where it points at
// systemd-resolved's local stub, the stub stands for the upstream servers
// listed in resolvedServersPath.
class ResolverState {
public:
    explicit ResolverState(std::string resolvedServersPath = "/run/systemd/resolve/resolv.conf");

    ResolverConfig read() const;

private:
    std::string m_resolvedServersPath;
};

// The "nameserver" entries of resolver configuration text, in order. Lines
// that are no such entry (comments, options, garbage) are skipped.
std::vector<std::string> parseNameServers(std::string_view text);

// Replaces each local stub entry by the upstream servers, when it has any.
std::vector<std::string> expandResolvedStub(const std::vector<std::string>& servers,
                                            const std::vector<std::string>& upstream);

} // namespace ombrix::platform
