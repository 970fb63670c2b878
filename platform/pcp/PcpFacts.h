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

// The metrics the facts of every part come from, asked in one lookup.
const std::vector<std::string>& factMetrics();

// The ids the default agents (the Linux agent, pmcd's own) give the facts'
// metrics, by name. An agent never gives an id another meaning, so a
// collector's descriptors can be asked by these ids without asking for the
// names first.
const std::vector<std::pair<std::string, pmID>>& knownFactIds();

// Those of the parts' metrics the computer has, to fetch together.
std::vector<pmID> factIds(const FactParts& parts, const Metrics& metrics);

// The instance domains whose names the parts' facts need.
std::vector<pmInDom> factDomains(const FactParts& parts, const Metrics& metrics);

// Instance names by domain, then by instance id.
using InstanceNames = std::map<pmInDom, std::map<int, std::string>>;

// The facts of the parts from one fetch. A metric the computer lacks, would
// not give, or gives of another type or dimension than expected leaves its
// fact empty; texts are cleaned and cut (collectorText), numbers outside a
// fact's range are empty.
RemoteFacts remoteFacts(const pmResult& result, const Metrics& metrics, const InstanceNames& names,
                        const FactParts& parts);

} // namespace ombrix::platform::pcp
