#include "platform/linux/network/ResolverState.h"

#include "platform/linux/KernelFile.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace ombrix::platform {

namespace {

constexpr std::string_view kResolvedStub = "127.0.0.53";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view nextWord(std::string_view& rest) {
    std::size_t begin = 0;
    while (begin < rest.size() && isBlank(rest[begin]))
        ++begin;
    std::size_t end = begin;
    while (end < rest.size() && !isBlank(rest[end]))
        ++end;
    std::string_view word = rest.substr(begin, end - begin);
    rest.remove_prefix(end);
    return word;
}

std::string serverText(const sockaddr* address) {
    std::array<char, INET6_ADDRSTRLEN> text{};
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        inet_ntop(AF_INET, &in->sin_addr, text.data(), text.size());
    } else if (address->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        inet_ntop(AF_INET6, &in6->sin6_addr, text.data(), text.size());
    }
    return text.data();
}

// glibc opens its files with a plain open that waits for a FIFO's writer; a
// file that is there but no regular file is left unread.
bool resolverFilesReadable() {
    for (const char* path : {_PATH_RESCONF, "/etc/host.conf"}) {
        struct stat st {};
        if (::stat(path, &st) == 0 && !S_ISREG(st.st_mode))
            return false;
    }
    return true;
}

std::string domainOfHostName() {
    std::array<char, 256> host{};
    if (gethostname(host.data(), host.size() - 1) != 0)
        return {};
    std::string_view name(host.data());
    const auto dot = name.find('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

} // namespace

std::vector<std::string> parseNameServers(std::string_view text) {
    std::vector<std::string> servers;
    while (!text.empty()) {
        const auto eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (nextWord(line) != "nameserver")
            continue;
        std::string_view server = nextWord(line);
        // A scope or interface suffix ("fe80::1%eth0", resolved's "#name")
        // is not part of the address.
        server = server.substr(0, server.find_first_of("%#"));
        in6_addr probe{};
        const std::string candidate(server);
        if (inet_pton(AF_INET, candidate.c_str(), &probe) == 1 ||
            inet_pton(AF_INET6, candidate.c_str(), &probe) == 1)
            servers.push_back(candidate);
    }
    return servers;
}

std::vector<std::string> expandResolvedStub(const std::vector<std::string>& servers,
                                            const std::vector<std::string>& upstream) {
    std::vector<std::string> result;
    for (const auto& server : servers) {
        if (server == kResolvedStub && !upstream.empty())
            result.insert(result.end(), upstream.begin(), upstream.end());
        else
            result.push_back(server);
    }
    return result;
}

ResolverState::ResolverState(std::string resolvedServersPath)
    : m_resolvedServersPath(std::move(resolvedServersPath)) {}

ResolverConfig ResolverState::read() const {
    ResolverConfig config;
    struct __res_state state;
    std::memset(&state, 0, sizeof state);
    if (resolverFilesReadable() && res_ninit(&state) == 0) {
        // glibc keeps IPv6 servers apart, in the same slots.
        for (int i = 0; i < state.nscount && i < MAXNS; ++i) {
            const sockaddr* address =
                state.nsaddr_list[i].sin_family == AF_INET
                    ? reinterpret_cast<const sockaddr*>(&state.nsaddr_list[i])
                    : reinterpret_cast<const sockaddr*>(state._u._ext.nsaddrs[i]);
            if (address) {
                std::string text = serverText(address);
                if (!text.empty())
                    config.nameServers.push_back(std::move(text));
            }
        }
        if (state.dnsrch[0] && *state.dnsrch[0])
            config.domain = state.dnsrch[0];
        else
            config.domain = state.defdname;
        res_nclose(&state);
    }
    if (config.domain.empty())
        config.domain = domainOfHostName();

    bool pointsAtStub = false;
    for (const auto& server : config.nameServers)
        pointsAtStub = pointsAtStub || server == kResolvedStub;
    if (pointsAtStub)
        config.nameServers = expandResolvedStub(
            config.nameServers,
            parseNameServers(readKernelFile(m_resolvedServersPath).value_or("")));
    return config;
}

} // namespace ombrix::platform
