#pragma once
#include "platform/ComputerFacts.h"
#include "platform/pcp/PcpConnection.h"

#include <memory>
#include <string>

namespace ombrix::platform {

// Another computer's facts from its pmcd, over its one connection, which its
// counters may share. The first reading over a connection whose table lacks
// the facts' metrics adds one lookup of their descriptors; every reading is
// one fetch, and one request per instance domain named (the network's one,
// the drives' two).
class PcpComputerFacts final : public ComputerFacts {
public:
    // Over a connection of their own (see PcpConnection). Throws
    // PlatformError with the reason when the computer cannot be reached.
    explicit PcpComputerFacts(const std::string& host);
    // Over the connection given, which must outlive this. known: its table
    // holds the facts' metrics already.
    PcpComputerFacts(PcpConnection& connection, bool known);

    RemoteFacts read(const FactParts& parts) override;

private:
    // Which of the facts' metrics the computer has, with their descriptors:
    // asked by the default agents' and the collector agent's ids in one
    // request, and by name only for those of the default agents it does not
    // know by those ids (a computer without the collector agent lacks its
    // metrics, whatever their names). libpcp asks names of one computer
    // at a time, whatever the threads, so a report of many computers waits
    // for each one's names in turn. libpcp's error code, else 0.
    int lookUp();

    std::unique_ptr<PcpConnection> m_own;
    PcpConnection& m_connection;
    bool m_known; // the metrics are looked up
};

} // namespace ombrix::platform
