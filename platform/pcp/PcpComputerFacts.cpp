#include "platform/pcp/PcpComputerFacts.h"

#include "platform/PlatformError.h"
#include "platform/pcp/PcpFacts.h"

#include <QObject>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

namespace ombrix::platform {
namespace {

struct ResultFree {
    void operator()(pmResult* result) const { pmFreeResult(result); }
};
struct CFree {
    void operator()(void* p) const { std::free(p); }
};
struct AddressesFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

} // namespace

PcpComputerFacts::PcpComputerFacts(const std::string& host) {
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
            pcp::connectFailure(-EHOSTUNREACH, 0, 0, status == 0 ? EAI_NONAME : status, where)
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

int PcpComputerFacts::lookUp() {
    const auto& known = pcp::knownFactIds();
    std::vector<pmID> ids;
    for (const auto& [name, id] : known)
        ids.push_back(id);
    std::vector<pmDesc> descs(ids.size());
    for (auto& desc : descs)
        desc.pmid = PM_ID_NULL; // stays so where the computer has no such id
    const int described = pmLookupDescs(static_cast<int>(ids.size()), ids.data(), descs.data());
    if (described < 0 && pcp::connectionLost(described))
        return described;
    std::vector<std::string> unknown;
    for (std::size_t i = 0; i < known.size(); ++i) {
        if (described >= 0 && descs[i].pmid == ids[i])
            m_metrics.emplace(known[i].first, descs[i]);
        else
            unknown.push_back(known[i].first);
    }
    return unknown.empty() ? 0 : lookUpMetrics(unknown, m_metrics);
}

RemoteFacts PcpComputerFacts::read(const FactParts& parts) {
    RemoteFacts facts;
    facts.address = m_address;
    m_context->use();
    if (m_lost) {
        if (pmReconnectContext(m_context->handle()) < 0) {
            facts.reachable = false;
            return facts;
        }
        m_lost = false;
    }
    auto failed = [&](int code) {
        m_lost = pcp::connectionLost(code);
        if (!m_lost)
            throw PlatformError(pcp::requestFailure(code).toStdString());
        facts.reachable = false;
        return facts;
    };
    if (!m_known) {
        if (const int status = lookUp(); status < 0)
            return failed(status);
        m_known = true;
    }
    std::vector<pmID> ids = pcp::factIds(parts, m_metrics);
    if (ids.empty())
        return facts; // the collector carries none of them: every fact empty
    pmResult* raw = nullptr;
    const int status = pmFetch(static_cast<int>(ids.size()), ids.data(), &raw);
    if (status < 0)
        return failed(status);
    const std::unique_ptr<pmResult, ResultFree> result(raw);

    pcp::InstanceNames names;
    std::set<pmInDom> cut; // domains with more instances than are kept
    for (pmInDom indom : pcp::factDomains(parts, m_metrics)) {
        int* instanceIds = nullptr;
        char** instanceNames = nullptr;
        const int count = pmGetInDom(indom, &instanceIds, &instanceNames);
        const std::unique_ptr<int, CFree> freeIds(instanceIds);
        const std::unique_ptr<char*, CFree> freeNames(instanceNames);
        if (count < 0) {
            if (pcp::connectionLost(count))
                return failed(count);
            continue; // a domain without names: its facts stay empty
        }
        if (static_cast<std::size_t>(count) > pcp::kMostFactItems)
            cut.insert(indom);
        auto& byId = names[indom];
        for (int i = 0; i < count && byId.size() < pcp::kMostFactItems; ++i)
            byId.emplace(instanceIds[i], instanceNames[i]);
    }
    RemoteFacts read = pcp::remoteFacts(*result, m_metrics, names, parts);
    read.address = m_address;
    const auto anyCut = [&](const FactParts& part) {
        const auto domains = pcp::factDomains(part, m_metrics);
        return std::any_of(domains.begin(), domains.end(),
                           [&](pmInDom indom) { return cut.count(indom) > 0; });
    };
    read.adaptersCut = read.adaptersCut || (parts.network && anyCut({false, true, false}));
    read.volumesCut = read.volumesCut || (parts.drives && anyCut({false, false, true}));
    return read;
}

} // namespace ombrix::platform
