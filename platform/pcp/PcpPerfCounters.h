#pragma once
#include "platform/PerfCounters.h"
#include "platform/pcp/PcpComputerFacts.h"
#include "platform/pcp/PcpConnection.h"
#include "platform/pcp/PcpMapping.h"

#include <pcp/pmapi.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ombrix::platform {

// The counters of another computer, read from its pmcd through a libpcp host
// context and mapped onto the same objects and counters as /proc's
// (PcpCounterMap, PcpMapping), and its facts over the same connection, which
// the collector counts as one client. Every call blocks on the network: it belongs
// on a worker thread, one per computer. Lives in the PCP module, so libpcp is
// loaded only by those who name another computer.
//
// Round trips are few, since another computer may be far away: connecting
// asks for the names and the descriptors of the counters' and the facts'
// metrics once each, and whether processes may be read; instances are asked when an object's are
// wanted, help texts when an explanation is, and a sample is one fetch.
class PcpPerfCounters final : public PerfCounters {
public:
    // host: "name", "name:port" or an address. Throws PlatformError with the
    // reason, in the user's words, when no context can be made. A computer
    // that offers none of the counters is taken for its facts: each of its
    // objects then offers no counter and says why.
    explicit PcpPerfCounters(const std::string& host);
    PcpPerfCounters(const PcpPerfCounters&) = delete;
    PcpPerfCounters& operator=(const PcpPerfCounters&) = delete;

    const std::vector<ObjectInfo>& objects() const override;
    // At most kMaxInstances, their names cut as collectorText cuts them.
    QStringList instances(const QString& object, qsizetype* count = nullptr) override;
    // One pmFetch for all paths (and the instance profile before it when the
    // instances wanted change). When the computer does not answer, every
    // value is missing and reachable is false; the next sample reconnects.
    RawSample sample(const std::vector<CounterPath>& paths) override;
    // The catalogue's explanation with that computer's own help text of the
    // counter's first metric, asked once.
    QString explanation(const QString& object, const QString& counter) override;
    // Over the counters' connection; asking costs no message.
    ComputerFacts* facts() override;

private:
    const pcp::Metrics& metrics() const { return m_connection.metrics(); }
    // Looks up the Process object's metrics the first time they are needed.
    bool knowProcessMetrics();
    // The domain's first kMaxInstances instance names now, as shown, their
    // ids remembered in place of the domain's earlier ones; count gets how
    // many the domain has.
    std::vector<std::string> listInstances(pmInDom indom, qsizetype* count = nullptr);
    // The id of a named instance; -1 when the computer has no such instance.
    int instanceId(pmInDom indom, const std::string& name, std::set<pmInDom>& listed);

    PcpConnection m_connection;
    std::optional<PcpComputerFacts> m_facts; // over m_connection
    bool m_processMetricsKnown = false;
    std::vector<ObjectInfo> m_objects;
    // By domain and shown name; the first of a name repeated. At most
    // kMaxInstances a domain, and only of the domains of the counters' metrics.
    std::map<std::pair<pmInDom, std::string>, int> m_instanceIds;
    std::map<std::string, QString> m_help; // one-line help texts asked so far, by our metric
};

} // namespace ombrix::platform
