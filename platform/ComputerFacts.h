#pragma once
#include "platform/Printers.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace ombrix::platform {

// What another computer's collector tells of it beside its counters. A fact
// the collector does not carry stays empty (nullopt), never a guess.
struct RemoteSummary {
    std::optional<QString> nodeName;
    std::optional<QString> kernelRelease; // "6.1.0-27-amd64"
    std::optional<QString> kernelVersion; // uname's version text, which may hold the patch level
    std::optional<QString> distribution;  // "Debian GNU/Linux 12 (bookworm)"
    std::optional<QString> processorModel;
    std::optional<QString> processorVendor;
    std::optional<double> processorMHz;
    std::optional<std::uint64_t> totalMemory; // bytes
    std::optional<std::uint64_t> availableMemory;
    std::optional<QString> timeZone; // an IANA name, else a POSIX TZ rule
    // What the computer's own Ombrix collector agent tells, as that
    // computer's windows show it; empty without the agent.
    std::optional<QString> osName;    // os-release's name: "Debian GNU/Linux 12 (bookworm)"
    std::optional<QString> osVersion; // "12"
    std::optional<long long> osBuild; // the kernel's patch level
    std::optional<bool> floppyPresent;
    std::optional<QString> primaryAddress; // the default route's source address
};

// One network interface of that computer, by name.
struct RemoteAdapter {
    QString name;
    QStringList ipv4;
    QStringList ipv6; // with their prefix length, as the collector writes them
    QString hardwareAddress;
    bool loopback = false;
    // Told only by the collector agent (RemoteFacts::resolver says it
    // answered): a mask per IPv4 address (empty where not told), the
    // default routes' gateways, whether an address is leased, WINS servers.
    QStringList masks = {};
    QStringList gateways = {};
    std::optional<bool> dhcp = {};
    QString winsPrimary = {};
    QString winsBackup = {};
};

// The computer's resolver, as its collector agent tells it.
struct RemoteResolver {
    QString domain;
    QStringList nameServers;
};

// One mounted file system: a disc, or one held in memory.
struct RemoteVolume {
    QString device; // empty for one held in memory
    QString mountPoint;
    bool inMemory = false;
    std::optional<std::uint64_t> totalBytes;
    std::optional<std::uint64_t> availableBytes; // to an ordinary user
    // The drive table of the computer's own collector agent: the letter its
    // drive window gives the volume (null without the agent), its drive
    // type and serial number.
    QChar letter = {};
    std::optional<int> type = {};
    std::optional<std::int32_t> serial = {};
};

// Which parts of the facts a reading asks for; each costs round trips.
struct FactParts {
    bool summary = true;
    bool network = false;
    bool drives = false;
    bool printers = false; // told only by the collector agent
};

// The most adapters or volumes kept of one computer: a collector may send
// anything.
inline constexpr std::size_t kMostFactItems = 1024;

struct RemoteFacts {
    bool reachable = true; // false: the computer stopped answering
    QString address;       // where the program reached it
    RemoteSummary summary;
    // Empty (nullopt) where not asked for or the collector carries none.
    std::optional<std::vector<RemoteAdapter>> adapters;
    std::optional<std::vector<RemoteVolume>> volumes; // in mount order
    // Where the collector agent answered, the adapters, the resolver and the
    // volumes are its own (the volumes lettered as that computer letters them).
    std::optional<RemoteResolver> resolver;
    // The print queues as the collector agent tells them (that computer's
    // own scheduler, asked there); empty without the agent.
    std::optional<PrinterList> printers;
    // The collector listed more adapters or volumes than are kept.
    bool adaptersCut = false;
    bool volumesCut = false;
    // The adapters shown without what their collector gave as their
    // addresses, which was none.
    QStringList addressesLeftOut;
};

// The facts a machine's services cannot give, its collector not carrying
// them, by the report's keys ("summary.fdd_present", "network.adapters.gateways",
// "drives" where it lists no volumes at all), in the report's order.
using NotCarried = QStringList;

// Reads another computer's facts. Blocks on the network, so it belongs on a
// worker thread; throws PlatformError with a reason in the user's words
// when a request fails other than by the computer going silent.
class ComputerFacts {
public:
    virtual ~ComputerFacts() = default;
    virtual RemoteFacts read(const FactParts& parts) = 0;
};

} // namespace ombrix::platform
