#pragma once
#include "platform/ComputerFacts.h"
#include "platform/pcp/PcpContext.h"

#include <optional>
#include <string>

namespace ombrix::platform {

// Another computer's facts from its pmcd, through a libpcp context of their
// own, so that no counter's instance profile narrows them. Connecting costs
// the connection's own messages; the first reading adds one lookup of the
// descriptors; every reading is one fetch, and one request per instance
// domain named (the network's one, the drives' two).
class PcpComputerFacts final : public ComputerFacts {
public:
    // Reaches host ("name", "name:port", "[address]:port") at the first
    // address its name has, which the facts then give as where it was
    // reached. Throws PlatformError with the reason when it cannot.
    explicit PcpComputerFacts(const std::string& host);

    RemoteFacts read(const FactParts& parts) override;

private:
    // Which of the facts' metrics the computer has, with their descriptors:
    // asked by the default agents' ids in one request, and by name only for
    // those it does not know by those ids. libpcp asks names of one computer
    // at a time, whatever the threads, so a report of many computers waits
    // for each one's names in turn. libpcp's error code, else 0.
    int lookUp();

    QString m_address;
    std::optional<PcpContext> m_context;
    bool m_lost = false;
    bool m_known = false; // the metrics are looked up
    pcp::Metrics m_metrics;
};

} // namespace ombrix::platform
