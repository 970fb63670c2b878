#include "platform/pcp/PcpFacts.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

namespace ombrix::platform::pcp {
namespace {

// The names of the parts' metrics, in the table's order.
std::vector<std::string> partsMetrics(const FactParts& parts) {
    std::vector<std::string> names;
    for (const FactMetric& metric : factMetricTable())
        if ((metric.name == std::string_view(kAgentVersion) &&
             (parts.summary || parts.network || parts.drives || parts.printers)) ||
            (metric.part == FactPart::Summary && parts.summary) ||
            (metric.part == FactPart::Network && parts.network) ||
            (metric.part == FactPart::Drives && parts.drives) ||
            (metric.part == FactPart::Printers && parts.printers))
            names.push_back(metric.name);
    return names;
}

struct CFree {
    void operator()(void* p) const { std::free(p); }
};

// One fetched metric's values, by instance id in increasing order.
class Fetched {
public:
    Fetched(const pmResult& result, const Metrics& metrics) : m_metrics(metrics) {
        for (int i = 0; i < result.numpmid; ++i)
            if (result.vset[i] && result.vset[i]->numval > 0)
                m_sets.emplace(result.vset[i]->pmid, result.vset[i]);
    }

    std::map<int, QString> texts(const char* name) const {
        std::map<int, QString> found;
        const auto [set, desc] = find(name);
        if (!set || desc->type != PM_TYPE_STRING)
            return found;
        m_cut = m_cut || static_cast<std::size_t>(set->numval) > kMostFactItems;
        for (int j = 0; j < set->numval && found.size() < kMostFactItems; ++j) {
            pmAtomValue atom{};
            if (pmExtractValue(set->valfmt, &set->vlist[j], PM_TYPE_STRING, &atom, PM_TYPE_STRING) <
                0)
                continue;
            std::unique_ptr<char, CFree> owned(atom.cp);
            if (owned)
                found.emplace(set->vlist[j].inst, collectorText(owned.get()));
        }
        return found;
    }

    // In the units asked for; empty where the metric's dimension differs,
    // or the value is not a finite number within [least, most].
    std::map<int, double> numbers(const char* name, pmUnits units, double most,
                                  double least = 0) const {
        std::map<int, double> found;
        const auto [set, desc] = find(name);
        if (!set || desc->type == PM_TYPE_STRING || desc->type == PM_TYPE_AGGREGATE ||
            desc->type == PM_TYPE_EVENT || desc->type == PM_TYPE_HIGHRES_EVENT ||
            desc->units.dimSpace != units.dimSpace || desc->units.dimTime != units.dimTime ||
            desc->units.dimCount != units.dimCount)
            return found;
        const std::optional<double> from = canonicalFactor(desc->units);
        const std::optional<double> to = canonicalFactor(units);
        if (!from || !to)
            return found;
        m_cut = m_cut || static_cast<std::size_t>(set->numval) > kMostFactItems;
        for (int j = 0; j < set->numval && found.size() < kMostFactItems; ++j) {
            pmAtomValue atom{};
            if (pmExtractValue(set->valfmt, &set->vlist[j], desc->type, &atom, PM_TYPE_DOUBLE) < 0)
                continue;
            const double value = atom.d * *from / *to;
            if (std::isfinite(value) && value >= least && value <= most)
                found.emplace(set->vlist[j].inst, value);
        }
        return found;
    }

    // Whether a value set read since the last call held more values than
    // are kept.
    bool takeCut() const { return std::exchange(m_cut, false); }

    std::optional<QString> text(const char* name) const {
        const auto all = texts(name);
        if (all.empty())
            return std::nullopt;
        return all.begin()->second;
    }

private:
    std::pair<const pmValueSet*, const pmDesc*> find(const char* name) const {
        const auto metric = m_metrics.find(name);
        if (metric == m_metrics.end())
            return {nullptr, nullptr};
        const auto set = m_sets.find(metric->second.pmid);
        if (set == m_sets.end())
            return {nullptr, nullptr};
        return {set->second, &metric->second};
    }

    const Metrics& m_metrics;
    mutable bool m_cut = false;
    std::map<pmID, const pmValueSet*> m_sets;
};

pmUnits bytes() {
    pmUnits units{};
    units.dimSpace = 1;
    units.scaleSpace = PM_SPACE_BYTE;
    return units;
}

pmUnits perMicrosecond() {
    pmUnits units{};
    units.dimTime = -1;
    units.scaleTime = PM_TIME_USEC;
    return units;
}

// Under 2^63 bytes: no memory or disc is larger, and the value fits.
constexpr double kMostBytes = 9.2e18;
// A processor's clock in MHz: above zero, below a terahertz.
constexpr double kMostMHz = 1e6;

std::optional<std::uint64_t> firstBytes(const Fetched& fetched, const char* name) {
    const auto all = fetched.numbers(name, bytes(), kMostBytes);
    if (all.empty())
        return std::nullopt;
    return static_cast<std::uint64_t>(all.begin()->second);
}

QString instanceName(const InstanceNames& names, const Metrics& metrics, const char* metric,
                     int instance) {
    const auto desc = metrics.find(metric);
    if (desc == metrics.end())
        return {};
    const auto domain = names.find(desc->second.indom);
    if (domain == names.end())
        return {};
    const auto name = domain->second.find(instance);
    return name == domain->second.end() ? QString() : collectorText(name->second.c_str());
}

// A dotted IPv4 address, or an IPv6 one with or without its prefix length,
// as the collector writes them; nothing else.
bool isAddress(const QString& text, bool six) {
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0x7e; }))
        return false;
    QByteArray address = text.toLatin1();
    if (const qsizetype slash = address.indexOf('/'); six && slash >= 0) {
        const QByteArray prefix = address.mid(slash + 1);
        if (prefix.isEmpty() || prefix.size() > 3 ||
            !std::all_of(prefix.begin(), prefix.end(),
                         [](char c) { return c >= '0' && c <= '9'; }) ||
            prefix.toInt() > 128)
            return false;
        address.truncate(slash);
    }
    unsigned char bytes[16];
    return inet_pton(six ? AF_INET6 : AF_INET, address.constData(), bytes) == 1;
}

bool isLoopback(const QString& address) {
    return address.startsWith(QLatin1String("127.")) || address == QLatin1String("::1") ||
           address.startsWith(QLatin1String("::1/"));
}

RemoteSummary summaryOf(const Fetched& fetched) {
    RemoteSummary summary;
    summary.nodeName = fetched.text(kNodeName);
    summary.kernelRelease = fetched.text(kRelease);
    summary.kernelVersion = fetched.text(kVersion);
    summary.distribution = fetched.text(kDistro);
    summary.processorModel = fetched.text(kModel);
    summary.processorVendor = fetched.text(kVendor);
    const auto clocks = fetched.numbers(kClock, perMicrosecond(), kMostMHz);
    for (const auto& [instance, mhz] : clocks)
        if (mhz > 0) {
            summary.processorMHz = mhz;
            break;
        }
    summary.totalMemory = firstBytes(fetched, kPhysmem);
    summary.availableMemory = firstBytes(fetched, kAvailable);
    if (summary.totalMemory == 0)
        summary.totalMemory.reset();
    // The collector says ":Europe/Berlin" for the zone file it uses.
    if (auto zone = fetched.text(kZoneInfo); zone && zone->size() > 1)
        summary.timeZone = zone->startsWith(QLatin1Char(':')) ? zone->mid(1) : *zone;
    else if (auto rule = fetched.text(kTimeZone); rule && !rule->isEmpty())
        summary.timeZone = rule;
    return summary;
}

std::vector<RemoteAdapter> adaptersOf(const Fetched& fetched, const Metrics& metrics,
                                      const InstanceNames& names, bool& cut, QStringList& leftOut) {
    std::vector<RemoteAdapter> adapters;
    std::map<QString, std::size_t> byName; // joined by name: the metrics' domains may differ
    auto adapter = [&](const char* metric, int instance) -> RemoteAdapter* {
        QString name = instanceName(names, metrics, metric, instance);
        // An address's label ("eth0:web") names its adapter before the
        // colon, which no interface's own name holds: the address is that
        // adapter's, as this computer shows it.
        if (const qsizetype colon = name.indexOf(QLatin1Char(':')); colon >= 0)
            name.truncate(colon);
        if (name.isEmpty())
            return nullptr;
        if (const auto known = byName.find(name); known != byName.end())
            return &adapters[known->second];
        if (adapters.size() >= kMostFactItems) {
            cut = true;
            return nullptr;
        }
        byName.emplace(name, adapters.size());
        adapters.push_back({std::move(name), {}, {}, {}, false});
        return &adapters.back();
    };
    // Addresses apart, each one an address, or the whole text is dropped.
    auto addresses = [&](const RemoteAdapter& a, const QString& text, bool six) {
        const QStringList all = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (std::all_of(all.begin(), all.end(),
                        [six](const auto& one) { return isAddress(one, six); }))
            return all;
        if (!leftOut.contains(a.name))
            leftOut << a.name;
        return QStringList();
    };
    for (const auto& [instance, text] : fetched.texts(kHardware))
        if (RemoteAdapter* a = adapter(kHardware, instance))
            a->hardwareAddress = text;
    for (const auto& [instance, text] : fetched.texts(kInet))
        if (RemoteAdapter* a = adapter(kInet, instance))
            a->ipv4 += addresses(*a, text, false);
    for (const auto& [instance, text] : fetched.texts(kInet6))
        if (RemoteAdapter* a = adapter(kInet6, instance))
            a->ipv6 += addresses(*a, text, true);
    for (RemoteAdapter& a : adapters) {
        const QStringList all = a.ipv4 + a.ipv6;
        a.loopback = !all.isEmpty() && std::all_of(all.begin(), all.end(), isLoopback);
    }
    return adapters;
}

std::vector<RemoteVolume> volumesOf(const Fetched& fetched, const Metrics& metrics,
                                    const InstanceNames& names, bool& cut) {
    std::vector<RemoteVolume> volumes;
    const auto capacity = fetched.numbers(kCapacity, bytes(), kMostBytes);
    const auto avail = fetched.numbers(kAvail, bytes(), kMostBytes);
    for (const auto& [instance, mountPoint] : fetched.texts(kMountDir)) {
        RemoteVolume volume;
        volume.device = instanceName(names, metrics, kMountDir, instance);
        volume.mountPoint = mountPoint;
        if (const auto it = capacity.find(instance); it != capacity.end())
            volume.totalBytes = static_cast<std::uint64_t>(it->second);
        if (const auto it = avail.find(instance); it != avail.end())
            volume.availableBytes = static_cast<std::uint64_t>(it->second);
        volumes.push_back(std::move(volume));
    }
    // tmpfs names its instances by mount point; its free space is all a user may use.
    const auto free = fetched.numbers(kTmpfsFree, bytes(), kMostBytes);
    for (const auto& [instance, total] : fetched.numbers(kTmpfsCapacity, bytes(), kMostBytes)) {
        if (volumes.size() >= kMostFactItems) {
            cut = true;
            break;
        }
        RemoteVolume volume;
        volume.mountPoint = instanceName(names, metrics, kTmpfsCapacity, instance);
        if (volume.mountPoint.isEmpty())
            continue;
        volume.inMemory = true;
        volume.totalBytes = static_cast<std::uint64_t>(total);
        if (const auto it = free.find(instance); it != free.end())
            volume.availableBytes = static_cast<std::uint64_t>(it->second);
        volumes.push_back(std::move(volume));
    }
    return volumes;
}

// The collector agent's facts: plain numbers and texts, as that computer's
// windows read them.

std::optional<double> firstNumber(const Fetched& fetched, const char* name, double most) {
    const auto all = fetched.numbers(name, pmUnits{}, most);
    if (all.empty())
        return std::nullopt;
    return all.begin()->second;
}

std::optional<QString> nonEmpty(std::optional<QString> text) {
    return text && !text->isEmpty() ? text : std::nullopt;
}

// The addresses of a text of them separated by blanks; what is not one is
// left out.
QStringList addressList(const QString& text) {
    QStringList all = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    all.removeIf(
        [](const QString& one) { return !isAddress(one, false) && !isAddress(one, true); });
    return all;
}

QString maskOf(int prefix) {
    const std::uint32_t mask = prefix == 0 ? 0 : ~std::uint32_t(0) << (32 - prefix);
    return QStringLiteral("%1.%2.%3.%4")
        .arg(mask >> 24)
        .arg((mask >> 16) & 0xff)
        .arg((mask >> 8) & 0xff)
        .arg(mask & 0xff);
}

void addAgentSummary(const Fetched& fetched, RemoteSummary& summary) {
    summary.osName = nonEmpty(fetched.text(kAgentOsName));
    summary.osVersion = nonEmpty(fetched.text(kAgentOsVersion));
    if (const auto build = firstNumber(fetched, kAgentOsBuild, 2147483647.0))
        summary.osBuild = static_cast<long long>(*build);
    if (const auto floppy = firstNumber(fetched, kAgentFloppy, 1))
        summary.floppyPresent = *floppy != 0;
    if (auto address = fetched.text(kAgentPrimaryAddress);
        address && (isAddress(*address, false) ||
                    (isAddress(*address, true) && !address->contains(QLatin1Char('/')))))
        summary.primaryAddress = std::move(address);
}

// The agent's adapters, one per name (the first instance of a name stands),
// with the addresses whose adapter it names; an address that names no
// listed adapter, or has no adapter, is not shown, and one that is not an
// IPv4 address names its adapter among those left without addresses.
std::vector<RemoteAdapter> agentAdapters(const Fetched& fetched, QStringList& leftOut) {
    std::vector<RemoteAdapter> adapters;
    std::map<QString, std::size_t> byName;
    const auto gateways = fetched.texts(kAgentGateways);
    const auto dhcp = fetched.numbers(kAgentDhcp, pmUnits{}, 1);
    const auto primary = fetched.texts(kAgentWinsPrimary);
    const auto backup = fetched.texts(kAgentWinsBackup);
    for (const auto& [instance, name] : fetched.texts(kAgentAdapter)) {
        if (name.isEmpty() || byName.count(name) > 0)
            continue;
        RemoteAdapter adapter;
        adapter.name = name;
        if (const auto it = gateways.find(instance); it != gateways.end())
            adapter.gateways = addressList(it->second);
        if (const auto it = dhcp.find(instance); it != dhcp.end())
            adapter.dhcp = it->second != 0;
        if (const auto it = primary.find(instance); it != primary.end())
            adapter.winsPrimary = it->second;
        if (const auto it = backup.find(instance); it != backup.end())
            adapter.winsBackup = it->second;
        byName.emplace(name, adapters.size());
        adapters.push_back(std::move(adapter));
    }
    const auto owners = fetched.texts(kAgentAddressAdapter);
    const auto prefixes = fetched.numbers(kAgentPrefix, pmUnits{}, 32);
    for (const auto& [instance, address] : fetched.texts(kAgentAddress)) {
        const auto owner = owners.find(instance);
        if (owner == owners.end())
            continue;
        const auto known = byName.find(owner->second);
        if (known == byName.end())
            continue;
        RemoteAdapter& adapter = adapters[known->second];
        if (!isAddress(address, false)) {
            if (!leftOut.contains(adapter.name))
                leftOut << adapter.name;
            continue;
        }
        adapter.ipv4 << address;
        const auto prefix = prefixes.find(instance);
        adapter.masks << (prefix == prefixes.end() ? QString() : maskOf(int(prefix->second)));
    }
    return adapters;
}

// The agent's lettered drives in letter order; a letter that is not one of
// A to Z, or is given twice, is left out with its volume.
std::vector<RemoteVolume> agentVolumes(const Fetched& fetched) {
    const auto mountPoints = fetched.texts(kAgentMountPoint);
    const auto types = fetched.numbers(kAgentDriveType, pmUnits{}, 6);
    const auto serials = fetched.numbers(kAgentSerial, pmUnits{}, 2147483647.0, -2147483648.0);
    const auto free = fetched.numbers(kAgentFreeBytes, pmUnits{}, kMostBytes);
    const auto total = fetched.numbers(kAgentTotalBytes, pmUnits{}, kMostBytes);
    std::map<QChar, RemoteVolume> byLetter;
    for (const auto& [instance, letter] : fetched.texts(kAgentLetter)) {
        if (letter.size() != 1 || letter[0] < u'A' || letter[0] > u'Z' ||
            byLetter.count(letter[0]) > 0)
            continue;
        RemoteVolume volume;
        volume.letter = letter[0];
        if (const auto it = mountPoints.find(instance); it != mountPoints.end())
            volume.mountPoint = it->second;
        if (const auto it = types.find(instance); it != types.end())
            volume.type = int(it->second);
        volume.inMemory = volume.type == 5;
        if (const auto it = serials.find(instance); it != serials.end())
            volume.serial = std::int32_t(it->second);
        if (const auto it = free.find(instance); it != free.end())
            volume.availableBytes = static_cast<std::uint64_t>(it->second);
        if (const auto it = total.find(instance); it != total.end())
            volume.totalBytes = static_cast<std::uint64_t>(it->second);
        byLetter.emplace(letter[0], std::move(volume));
    }
    std::vector<RemoteVolume> volumes;
    for (auto& [letter, volume] : byLetter)
        volumes.push_back(std::move(volume));
    return volumes;
}

// The agent's print queues in its instances' order, where it says whether
// a print service answered; a queue without a name is left out.
std::optional<PrinterList> agentPrinters(const Fetched& fetched) {
    const auto reachable = firstNumber(fetched, kAgentPrintService, 1);
    if (!reachable)
        return std::nullopt;
    PrinterList list;
    list.serviceReachable = *reachable != 0;
    const auto states = fetched.numbers(kAgentQueueState, pmUnits{}, 3);
    const auto defaults = fetched.numbers(kAgentQueueDefault, pmUnits{}, 1);
    const auto locations = fetched.texts(kAgentQueueLocation);
    const auto models = fetched.texts(kAgentQueueModel);
    const auto descriptions = fetched.texts(kAgentQueueDescription);
    const auto textOf = [](const std::map<int, QString>& all, int instance) {
        const auto it = all.find(instance);
        return it == all.end() ? QString() : it->second;
    };
    for (const auto& [instance, queue] : fetched.texts(kAgentQueue)) {
        if (queue.isEmpty())
            continue;
        PrintDestination destination;
        destination.name = queue;
        if (const auto it = states.find(instance); it != states.end())
            destination.state = PrinterState(int(it->second));
        if (const auto it = defaults.find(instance); it != defaults.end())
            destination.isDefault = it->second != 0;
        destination.location = textOf(locations, instance);
        destination.makeAndModel = textOf(models, instance);
        destination.info = textOf(descriptions, instance);
        list.destinations.push_back(std::move(destination));
    }
    return list;
}

} // namespace

std::vector<pmID> factIds(const FactParts& parts, const Metrics& metrics) {
    std::vector<pmID> ids;
    for (const auto& name : partsMetrics(parts))
        if (const auto it = metrics.find(name); it != metrics.end())
            ids.push_back(it->second.pmid);
    return ids;
}

bool agentAnswered(const pmResult& result, const Metrics& metrics) {
    return Fetched(result, metrics).text(kAgentVersion).has_value();
}

std::vector<pmInDom> factDomains(const FactParts& parts, const Metrics& metrics, bool agent) {
    std::vector<pmInDom> domains;
    std::vector<const char*> named;
    // The collector agent's tables need no instance names.
    if (parts.network && !(agent && metrics.count(kAgentAdapter) > 0))
        named.insert(named.end(), {kHardware, kInet, kInet6});
    if (parts.drives && !(agent && metrics.count(kAgentLetter) > 0))
        named.insert(named.end(), {kMountDir, kTmpfsCapacity});
    for (const char* name : named)
        if (const auto it = metrics.find(name);
            it != metrics.end() && it->second.indom != PM_INDOM_NULL &&
            std::find(domains.begin(), domains.end(), it->second.indom) == domains.end())
            domains.push_back(it->second.indom);
    return domains;
}

RemoteFacts remoteFacts(const pmResult& result, const Metrics& metrics, const InstanceNames& names,
                        const FactParts& parts) {
    const Fetched fetched(result, metrics);
    RemoteFacts facts;
    // The collector agent answered: its tables stand for the default agents'.
    const bool agent = agentAnswered(result, metrics);
    if (parts.summary) {
        facts.summary = summaryOf(fetched);
        addAgentSummary(fetched, facts.summary);
        fetched.takeCut(); // one value of each is all the summary wants
    }
    if (parts.network && agent && metrics.count(kAgentAdapter) > 0) {
        facts.adapters = agentAdapters(fetched, facts.addressesLeftOut);
        const auto domain = fetched.text(kAgentDnsDomain);
        const auto servers = fetched.text(kAgentDnsServers);
        facts.resolver =
            RemoteResolver{domain.value_or(QString()), addressList(servers.value_or(QString()))};
        facts.adaptersCut = fetched.takeCut();
    } else if (parts.network && metrics.count(kHardware) + metrics.count(kInet) > 0) {
        facts.adapters =
            adaptersOf(fetched, metrics, names, facts.adaptersCut, facts.addressesLeftOut);
        facts.adaptersCut = fetched.takeCut() || facts.adaptersCut;
    }
    if (parts.drives && agent && metrics.count(kAgentLetter) > 0) {
        facts.volumes = agentVolumes(fetched);
        facts.volumesCut = fetched.takeCut();
    } else if (parts.drives && metrics.count(kMountDir) + metrics.count(kTmpfsCapacity) > 0) {
        facts.volumes = volumesOf(fetched, metrics, names, facts.volumesCut);
        facts.volumesCut = fetched.takeCut() || facts.volumesCut;
    }
    if (parts.printers && agent)
        facts.printers = agentPrinters(fetched);
    return facts;
}

} // namespace ombrix::platform::pcp
