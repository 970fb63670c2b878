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

namespace ombrix::platform {
namespace {

struct ResultFree {
    void operator()(pmResult* result) const { pmFreeResult(result); }
};
struct CFree {
    void operator()(void* p) const { std::free(p); }
};
} // namespace

PcpComputerFacts::PcpComputerFacts(const std::string& host)
    : m_own(std::make_unique<PcpConnection>(host)), m_connection(*m_own), m_known(false) {}

PcpComputerFacts::PcpComputerFacts(PcpConnection& connection, bool known)
    : m_connection(connection), m_known(known) {}

int PcpComputerFacts::lookUp() {
    const auto& known = pcp::factMetricTable();
    std::vector<pmID> ids;
    for (const auto& metric : known)
        ids.push_back(metric.knownId);
    std::vector<pmDesc> descs(ids.size());
    for (auto& desc : descs)
        desc.pmid = PM_ID_NULL; // stays so where the computer has no such id
    const int described = pmLookupDescs(static_cast<int>(ids.size()), ids.data(), descs.data());
    if (described < 0 && pcp::connectionLost(described))
        return described;
    std::vector<std::string> unknown;
    for (std::size_t i = 0; i < known.size(); ++i) {
        if (described >= 0 && descs[i].pmid == ids[i])
            m_connection.add(known[i].name, descs[i]);
        else if (pmID_domain(ids[i]) != pcp::kAgentDomain)
            unknown.push_back(known[i].name); // the collector agent's ids are its own
    }
    return unknown.empty() ? 0 : m_connection.lookUp(unknown);
}

RemoteFacts PcpComputerFacts::read(const FactParts& parts) {
    RemoteFacts facts;
    facts.address = m_connection.address();
    if (!m_connection.use()) {
        facts.reachable = false;
        return facts;
    }
    auto failed = [&](int code) {
        if (!m_connection.note(code))
            throw PlatformError(pcp::requestFailure(code).toStdString());
        facts.reachable = false;
        return facts;
    };
    if (!m_known) {
        if (const int status = lookUp(); status < 0)
            return failed(status);
        m_known = true;
    }
    const pcp::Metrics& metrics = m_connection.metrics();
    std::vector<pmID> ids = pcp::factIds(parts, metrics);
    if (ids.empty())
        return facts; // the collector carries none of them: every fact empty
    // Every instance of the domains read, whatever the counters asked last.
    for (const auto& [name, desc] : metrics)
        if (desc.indom != PM_INDOM_NULL &&
            std::find(ids.begin(), ids.end(), desc.pmid) != ids.end())
            m_connection.restrictTo(desc.indom, {});
    pmResult* raw = nullptr;
    const int status = pmFetch(static_cast<int>(ids.size()), ids.data(), &raw);
    if (status < 0)
        return failed(status);
    const std::unique_ptr<pmResult, ResultFree> result(raw);

    // An agent that has not yet read its facts gives none: the default
    // agents' stand this time.
    const bool agent = pcp::agentAnswered(*result, metrics);
    pcp::InstanceNames names;
    std::set<pmInDom> cut; // domains with more instances than are kept
    for (pmInDom indom : pcp::factDomains(parts, metrics, agent)) {
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
    RemoteFacts read = pcp::remoteFacts(*result, metrics, names, parts);
    read.address = m_connection.address();
    const auto anyCut = [&](const FactParts& part) {
        const auto domains = pcp::factDomains(part, metrics, agent);
        return std::any_of(domains.begin(), domains.end(),
                           [&](pmInDom indom) { return cut.count(indom) > 0; });
    };
    read.adaptersCut = read.adaptersCut || (parts.network && anyCut({false, true, false}));
    read.volumesCut = read.volumesCut || (parts.drives && anyCut({false, false, true}));
    return read;
}

} // namespace ombrix::platform
