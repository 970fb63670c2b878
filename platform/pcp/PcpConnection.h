#pragma once
#include "platform/pcp/PcpContext.h"
#include "platform/pcp/PcpMapping.h"

#include <pcp/pmapi.h>

#include <QString>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::platform {

// The one connection to another computer's collector: a libpcp host context
// at the first of the computer's addresses that answers, and the one table
// of the program's metrics that computer has, which its counters and its
// facts share. Each sets the instances a fetch brings of the domains it
// reads here, so that neither is narrowed by what the other asked last.
// Blocks on the network; used by one thread at a time.
class PcpConnection {
public:
    // Reaches host ("name", "name:port", "[address]:port") at the first
    // address its name has that answers, in the resolver's order, as libpcp
    // would try them. Throws PlatformError with the reason when it cannot.
    explicit PcpConnection(const std::string& host);
    PcpConnection(const PcpConnection&) = delete;
    PcpConnection& operator=(const PcpConnection&) = delete;

    // The address the computer was reached at.
    const QString& address() const { return m_address; }
    // Makes the context current, connecting it again first where a request
    // lost it; false while the computer still does not answer.
    bool use();
    // Notes a request's status: a failure that lost the connection makes the
    // next use() connect again. Whether it did.
    bool note(int status);
    // Notes that the computer did not answer, whatever the status said.
    void lose() { m_lost = true; }
    bool lost() const { return m_lost; }

    // The metrics of the table this computer has, with their descriptors.
    const pcp::Metrics& metrics() const { return m_metrics; }
    // Adds those of the names the computer has, of the type the program
    // reads them as (ofItsType), in one request for the names and one for
    // the descriptors; libpcp's error code when it did not answer, else 0.
    int lookUp(const std::vector<std::string>& names);
    // Adds one metric whose descriptor was asked by its id, if of its type.
    void add(const std::string& name, const pmDesc& desc);

    // Sends the instances to fetch of one domain (empty: all) with the next
    // fetch, when they differ from those last sent.
    void restrictTo(pmInDom indom, std::vector<int> instances);

private:
    QString m_address;
    std::optional<PcpContext> m_context;
    bool m_lost = false;
    pcp::Metrics m_metrics;
    std::map<pmInDom, std::vector<int>> m_profiles; // as last sent; absent or empty: all
};

} // namespace ombrix::platform
