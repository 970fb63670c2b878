#pragma once
// The metrics the program reads of another computer's collector, in one
// table: those behind each counter, and those the computer's facts come from.
#include <pcp/pmapi.h>

#include <string>
#include <vector>

namespace ombrix::platform::pcp {

// One Performance Co-Pilot metric in a sum: its value in bytes, milliseconds,
// seconds or plain counts (whatever its dimension), times the weight.
struct Term {
    std::string metric;
    double weight = 1.0;
};

// How one of our counters follows from PCP metrics on the other computer,
// so that its raw readings mean what the /proc reader's do.
struct CounterMap {
    std::string object;  // object id
    std::string counter; // counter id
    std::vector<Term> value;
    std::vector<Term> base;       // Fraction counters: the interval's whole
    std::vector<Term> totalValue; // _Total; empty: the sum over all instances
    std::vector<Term> totalBase;
    bool averageTotal = false; // _Total is the mean over the instances
    bool hasTotal = true;      // false: the _Total instance has no value
};

// Every counter PCP can stand in for; a counter missing here, or whose
// metrics the computer lacks, is not offered for that computer.
const std::vector<CounterMap>& counterMaps();

// The metric names of the facts.
inline constexpr const char* kNodeName = "kernel.uname.nodename";
inline constexpr const char* kRelease = "kernel.uname.release";
inline constexpr const char* kVersion = "kernel.uname.version";
inline constexpr const char* kDistro = "kernel.uname.distro";
inline constexpr const char* kModel = "hinv.cpu.model_name";
inline constexpr const char* kVendor = "hinv.cpu.vendor";
inline constexpr const char* kClock = "hinv.cpu.clock";
inline constexpr const char* kPhysmem = "mem.physmem";
inline constexpr const char* kAvailable = "mem.util.available";
inline constexpr const char* kZoneInfo = "pmcd.zoneinfo";
inline constexpr const char* kTimeZone = "pmcd.timezone";
inline constexpr const char* kInet = "network.interface.inet_addr";
inline constexpr const char* kInet6 = "network.interface.ipv6_addr";
inline constexpr const char* kHardware = "network.interface.hw_addr";
inline constexpr const char* kMountDir = "filesys.mountdir";
inline constexpr const char* kCapacity = "filesys.capacity";
inline constexpr const char* kAvail = "filesys.avail";
inline constexpr const char* kTmpfsCapacity = "tmpfs.capacity";
inline constexpr const char* kTmpfsFree = "tmpfs.free";

// The Ombrix collector agent's (pmdaombrix), where the computer runs it: the
// facts as that computer's own windows read them.
inline constexpr int kAgentDomain = 406;
inline constexpr const char* kAgentVersion = "ombrix.agent.version";
inline constexpr const char* kAgentOsName = "ombrix.os.name";
inline constexpr const char* kAgentOsVersion = "ombrix.os.version";
inline constexpr const char* kAgentOsBuild = "ombrix.os.build";
inline constexpr const char* kAgentFloppy = "ombrix.hw.fdd_present";
inline constexpr const char* kAgentPrimaryAddress = "ombrix.net.primary_address";
inline constexpr const char* kAgentDnsDomain = "ombrix.net.dns.domain";
inline constexpr const char* kAgentDnsServers = "ombrix.net.dns.servers";
inline constexpr const char* kAgentAddressAdapter = "ombrix.net.ipv4.adapter";
inline constexpr const char* kAgentAddress = "ombrix.net.ipv4.address";
inline constexpr const char* kAgentPrefix = "ombrix.net.ipv4.prefix";
inline constexpr const char* kAgentAdapter = "ombrix.net.adapter.name";
inline constexpr const char* kAgentGateways = "ombrix.net.route.gateways";
inline constexpr const char* kAgentDhcp = "ombrix.net.dhcp.enabled";
inline constexpr const char* kAgentWinsPrimary = "ombrix.net.wins.primary";
inline constexpr const char* kAgentWinsBackup = "ombrix.net.wins.backup";
inline constexpr const char* kAgentLetter = "ombrix.volume.letter";
inline constexpr const char* kAgentMountPoint = "ombrix.volume.mount_point";
inline constexpr const char* kAgentDriveType = "ombrix.volume.type";
inline constexpr const char* kAgentSerial = "ombrix.volume.serial";
inline constexpr const char* kAgentFreeBytes = "ombrix.volume.free_bytes";
inline constexpr const char* kAgentTotalBytes = "ombrix.volume.total_bytes";
inline constexpr const char* kAgentPrintService = "ombrix.printer.service_reachable";
inline constexpr const char* kAgentQueue = "ombrix.printer.queue";
inline constexpr const char* kAgentQueueState = "ombrix.printer.state";
inline constexpr const char* kAgentQueueDefault = "ombrix.printer.default";
inline constexpr const char* kAgentQueueLocation = "ombrix.printer.location";
inline constexpr const char* kAgentQueueModel = "ombrix.printer.make_and_model";
inline constexpr const char* kAgentQueueDescription = "ombrix.printer.description";

// Process instances are named by their command, which no counter reads.
inline constexpr const char* kProcessCommand = "proc.psinfo.cmd";
inline constexpr const char* kProcessId = "proc.psinfo.pid";

// Which part of the facts a metric belongs to.
enum class FactPart { Summary, Network, Drives, Printers };

// One metric of the facts: the id the default agents (the Linux agent,
// pmcd's own) or the collector agent give it, and whether it is a text. An agent never gives an id
// another meaning, so a collector's descriptors can be asked by these ids
// without asking for the names first. The agent's version belongs to every
// part: it says whether the agent answered.
struct FactMetric {
    const char* name;
    pmID knownId;
    FactPart part;
    bool text;
};

const std::vector<FactMetric>& factMetricTable();

// The facts' metric names, every part's.
const std::vector<std::string>& factMetrics();

// The process agent answers pmcd for each of its metrics in a message of its
// own, so the Process object's metrics (with the command) are asked only
// when they are used.
const std::vector<std::string>& processMetrics();

// What is asked on connecting: every counter's metrics but the Process
// object's own (its process id says whether there is a process agent), and
// every fact's.
const std::vector<std::string>& connectionMetrics();

// Whether a descriptor is of the type the program reads that metric as: a
// text for the command and the facts' texts, a number for every other.
bool ofItsType(const std::string& name, const pmDesc& desc);

// Instance names: PCP's per-processor "cpu0" is our "0"; others are the same.
std::string ourInstance(const std::string& object, const std::string& pcpName);
std::string pcpInstance(const std::string& object, const std::string& ourName);

} // namespace ombrix::platform::pcp
