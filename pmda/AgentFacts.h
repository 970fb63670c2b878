#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace ombrix::pmda {

// One IPv4 address of an adapter, as the network report lists it.
struct AgentAddress {
    std::string key;     // its adapter's key name (a name of its own, no blanks)
    std::string adapter; // the adapter's name, as the report shows it
    std::string address; // dotted
    unsigned prefix = 0; // the mask's length
};

// An adapter (every interface but loopback), as the network report lists it.
struct AgentAdapter {
    std::string key;
    std::string name;
    std::string gateways; // its default routes' gateways, separated by one space
    bool dhcp = false;
    std::string winsPrimary;
    std::string winsBackup;
};

// What the collector agent tells of this computer, as UTF-8 texts, read by
// the same readers this computer's own windows read them with.
struct AgentFacts {
    std::string osName;    // the distribution, as the OS Platform line begins
    std::string osVersion; // as the summary's OS Version is read
    std::int64_t osBuild = 0;
    bool fddPresent = false;
    std::string primaryAddress; // the default route's source: the summary's IP Address
    std::string dnsDomain;
    std::string dnsServers;              // in order, separated by one space
    std::vector<AgentAddress> addresses; // adapter by adapter, the primary address first
    std::vector<AgentAdapter> adapters;
};

// Reads them now. Texts are cut to the length the program keeps of any
// text a collector sends, and lists (name servers, adapters, addresses) to
// as many items as it keeps.
AgentFacts readAgentFacts();

// A text cut to at most that many characters (UTF-16 units, as the program
// counts them), never in the middle of a character.
std::string boundedText(const std::string& utf8);

} // namespace ombrix::pmda
