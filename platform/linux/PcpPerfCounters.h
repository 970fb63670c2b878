#pragma once
#include "platform/PerfCounters.h"

#include <pcp/pmapi.h>

#include <map>
#include <string>
#include <vector>

namespace ombrix::platform {

// The counters of another computer, read from its pmcd through a libpcp host
// context and mapped onto the same objects and counters as /proc's
// (PcpCounterMap). Every call blocks on the network: it belongs on a worker
// thread, one per computer. Lives in the PCP module, so libpcp is loaded only
// by those who name another computer.
class PcpPerfCounters final : public PerfCounters {
public:
    // host: "name", "name:port" or an address. Throws PlatformError with
    // libpcp's reason when no context can be made.
    explicit PcpPerfCounters(const std::string& host);
    ~PcpPerfCounters() override;
    PcpPerfCounters(const PcpPerfCounters&) = delete;
    PcpPerfCounters& operator=(const PcpPerfCounters&) = delete;

    const std::vector<ObjectInfo>& objects() const override;
    QStringList instances(const QString& object) override;
    // One pmFetch for all paths. When the computer does not answer, every
    // value is missing and reachable is false; the next sample reconnects.
    RawSample sample(const std::vector<CounterPath>& paths) override;

private:
    void use() const;
    int instanceId(const pmDesc& metric, const std::string& name);

    int m_context = -1;
    bool m_lost = false;
    std::map<std::string, pmDesc> m_metrics; // the mapped metrics this computer has
    std::vector<ObjectInfo> m_objects;
    std::map<std::pair<pmInDom, std::string>, int> m_instanceIds;
    std::map<pmInDom, std::vector<int>> m_profiles; // as last sent; empty: all instances
};

} // namespace ombrix::platform
