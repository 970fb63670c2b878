#include "platform/pcp/PcpConnection.h"

#include "platform/PlatformError.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

namespace ombrix::platform {
namespace {

struct AddressesFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

} // namespace

PcpConnection::PcpConnection(const std::string& host) {
    const pcp::HostPort where = pcp::splitHost(host);
    if (const std::string why = pcp::portProblem(where); !why.empty())
        throw PlatformError(why);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* raw = nullptr;
    const int status = getaddrinfo(where.host.c_str(), nullptr, &hints, &raw);
    const std::unique_ptr<addrinfo, AddressesFree> found(raw);
    if (status != 0 || !found)
        throw PlatformError(
            pcp::connectFailure(-EHOSTUNREACH, 0, 0, status == 0 ? EAI_NONAME : status, 0, where)
                .toStdString());
    // Each of its addresses in the resolver's order, knowing which one
    // answered. One that waited in vain ends the attempt, as libpcp's own
    // attempt ends after one wait: a silent computer costs one wait, not one
    // per address.
    std::optional<PlatformError> first;
    for (const addrinfo* at = found.get(); at; at = at->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const bool six = at->ai_family == AF_INET6;
        const void* bytes =
            six ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(at->ai_addr)->sin6_addr)
                : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(at->ai_addr)->sin_addr);
        if ((!six && at->ai_family != AF_INET) ||
            !inet_ntop(at->ai_family, bytes, text, sizeof text))
            continue;
        std::string target = six ? "[" : "";
        target.append(text).append(six ? "]:" : ":").append(std::to_string(where.port));
        try {
            m_context.emplace(target);
            m_address = QString::fromLatin1(text);
            return;
        } catch (const PcpConnectFailure& e) {
            if (!first)
                first = e;
            if (e.waited())
                break;
        }
    }
    throw first ? *first : PlatformError(pcp::requestFailure(-EHOSTUNREACH).toStdString());
}

bool PcpConnection::use() {
    m_context->use();
    if (m_lost) {
        if (pmReconnectContext(m_context->handle()) < 0)
            return false;
        m_lost = false;
    }
    return true;
}

bool PcpConnection::note(int status) {
    m_lost = m_lost || pcp::connectionLost(status);
    return pcp::connectionLost(status);
}

void PcpConnection::add(const std::string& name, const pmDesc& desc) {
    if (pcp::ofItsType(name, desc))
        m_metrics.emplace(name, desc);
}

int PcpConnection::lookUp(const std::vector<std::string>& names) {
    m_context->use();
    pcp::Metrics found;
    const int status = lookUpMetrics(names, found);
    for (const auto& [name, desc] : found)
        add(name, desc);
    return status;
}

void PcpConnection::restrictTo(pmInDom indom, std::vector<int> instances) {
    std::sort(instances.begin(), instances.end());
    instances.erase(std::unique(instances.begin(), instances.end()), instances.end());
    const auto known = m_profiles.find(indom);
    if (known == m_profiles.end() ? instances.empty() : known->second == instances)
        return;
    m_context->use();
    pmDelProfile(indom, 0, nullptr);
    pmAddProfile(indom, static_cast<int>(instances.size()),
                 instances.empty() ? nullptr : instances.data());
    m_profiles[indom] = std::move(instances);
}

} // namespace ombrix::platform
