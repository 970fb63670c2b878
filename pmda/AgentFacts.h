#pragma once
#include <cstdint>
#include <string>

namespace ombrix::pmda {

// What the collector agent tells of this computer, as UTF-8 texts, read by
// the same readers this computer's own windows read them with.
struct AgentFacts {
    std::string osName;    // the distribution, as the OS Platform line begins
    std::string osVersion; // as the summary's OS Version is read
    std::int64_t osBuild = 0;
    bool fddPresent = false;
    std::string primaryAddress; // the default route's source: the summary's IP Address
    std::string dnsDomain;
    std::string dnsServers; // in order, separated by one space
};

// Reads them now. Texts are cut to the length the program keeps of any
// text a collector sends, and the name servers to as many as it keeps.
AgentFacts readAgentFacts();

// A text cut to at most that many characters (UTF-16 units, as the program
// counts them), never in the middle of a character.
std::string boundedText(const std::string& utf8);

} // namespace ombrix::pmda
