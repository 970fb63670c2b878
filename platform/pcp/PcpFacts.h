#pragma once
// How a collector's answers become another computer's facts: plain
// functions over libpcp's structures, without a context, so that recorded
// answers can be fed to them.
#include "platform/ComputerFacts.h"
#include "platform/pcp/PcpMapping.h"

#include <pcp/pmapi.h>

#include <map>
#include <string>
#include <vector>

namespace ombrix::platform::pcp {

// Adapters and volumes beyond kMostFactItems are not kept; their texts are
// cut as collectorText cuts them.
using platform::kMostFactItems;

// Those of the parts' metrics the computer has, to fetch together.
std::vector<pmID> factIds(const FactParts& parts, const Metrics& metrics);

// Whether the collector agent answered the fetch (its version came): its
// tables then stand for the default agents'.
bool agentAnswered(const pmResult& result, const Metrics& metrics);

// The instance domains whose names the parts' facts need: none of the
// default agents' for a part the collector agent answered.
std::vector<pmInDom> factDomains(const FactParts& parts, const Metrics& metrics,
                                 bool agent = false);

// Instance names by domain, then by instance id.
using InstanceNames = std::map<pmInDom, std::map<int, std::string>>;

// The facts of the parts from one fetch. Where the collector agent answers
// (its version came), its adapters, resolver and lettered drives stand for
// the default agents' (with no instance names asked), its summary facts
// are added, and its print queues are the printers (none without it); a value of the wrong type or
// out of its range is empty, an address or a letter that is not one is left out with what it
// belongs to. A metric the computer lacks, would not give, or gives of another type or dimension
// than expected leaves its fact empty; texts are cleaned and cut (collectorText), numbers outside a
// fact's range are empty.
RemoteFacts remoteFacts(const pmResult& result, const Metrics& metrics, const InstanceNames& names,
                        const FactParts& parts);

} // namespace ombrix::platform::pcp
