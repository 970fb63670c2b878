#pragma once
#include <cstdint>
#include <optional>
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

// A lettered drive, as this computer's drive window reads it.
struct AgentVolume {
    std::string letter; // "C"
    std::string mountPoint;
    int type = 0;                       // the drive window's type codes: 2 hard disk, 4 CD-ROM, ...
    std::optional<std::int32_t> serial; // none: not ready, or not read in time
    std::optional<std::uint64_t> freeBytes; // none: not ready
    std::optional<std::uint64_t> totalBytes;
};

// A print queue, as this computer's printers window lists it; never its
// device's address.
struct AgentPrinter {
    std::string queue;
    int state = 0; // 0 unknown, 1 idle, 2 processing, 3 stopped
    bool isDefault = false;
    std::string location;
    std::string makeAndModel;
    std::string description; // the administrator's, of the queue
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
    std::vector<AgentVolume> volumes;
    bool printServiceReachable = false;
    std::vector<AgentPrinter> printers;
};

// Reads them now. Texts are cut to the length the program keeps of any
// text a collector sends, and lists (name servers, adapters, addresses) to
// as many items as it keeps. Each volume's and the print service's
// questions are bounded as the windows bound them.
AgentFacts readAgentFacts();

// A text cut to at most that many characters (UTF-16 units, as the program
// counts them), never in the middle of a character.
std::string boundedText(const std::string& utf8);

} // namespace ombrix::pmda
