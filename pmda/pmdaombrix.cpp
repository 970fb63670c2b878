// pmdaombrix: the collector agent that tells another computer's Ombrix what
// this computer's own windows show, computed here by the same readers.
// pmcd starts it (as user pcp); it reads only and writes nothing but its log.
#include "platform/linux/BoundedCall.h"
#include "pmda/AgentFacts.h"
#include "pmda/FactSnapshot.h"

#include <pcp/pmapi.h>
#include <pcp/pmda.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unistd.h>

#ifndef OMBRIX_VERSION
#error "OMBRIX_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace {

using ombrix::pmda::AgentFacts;

#ifndef OMBRIX_PMDA_DOMAIN
#error "OMBRIX_PMDA_DOMAIN, the agent's domain number, comes from pmda/CMakeLists.txt"
#endif
constexpr int kDomain = OMBRIX_PMDA_DOMAIN;

// The instance domains: per item of the facts.
enum Domain { kSingle = -1, kAddresses = 0, kAdapters = 1, kVolumes = 2, kPrinters = 3 };
constexpr int kDomains = 4;

struct Metric {
    const char* name;
    int type;
    Domain domain;
    const char* oneLine;
    const char* help;
    // The value out of a reading, of its item index in the domain: a text or
    // a number; none where the item has none.
    std::string (*text)(const AgentFacts&, std::size_t);
    std::optional<std::int64_t> (*number)(const AgentFacts&, std::size_t);
};

template <class T> std::optional<std::int64_t> wide(const std::optional<T>& value) {
    return value ? std::optional<std::int64_t>(std::int64_t(*value)) : std::nullopt;
}

// Item numbers are the rows' places: new rows go at the end.
const Metric kMetrics[] = {
    {"ombrix.agent.version", PM_TYPE_STRING, kSingle, "version of the Ombrix collector agent",
     "The version of pmdaombrix, the agent that serves the ombrix metrics.",
     [](const AgentFacts&, std::size_t) { return std::string(OMBRIX_VERSION); }, nullptr},
    {"ombrix.os.name", PM_TYPE_STRING, kSingle, "operating system's name",
     "The distribution's name from os-release (PRETTY_NAME, else NAME, else \"Linux\"),\n"
     "with which Ombrix's OS Platform line begins.",
     [](const AgentFacts& f, std::size_t) { return f.osName; }, nullptr},
    {"ombrix.os.version", PM_TYPE_STRING, kSingle, "operating system's version",
     "The version Ombrix's summary shows as OS Version: os-release's VERSION_ID,\n"
     "else the running kernel's major and minor version.",
     [](const AgentFacts& f, std::size_t) { return f.osVersion; }, nullptr},
    {"ombrix.os.build", PM_TYPE_64, kSingle, "operating system's build number",
     "The build Ombrix's summary shows: the running kernel's patch level.", nullptr,
     [](const AgentFacts& f, std::size_t) { return std::optional<std::int64_t>(f.osBuild); }},
    {"ombrix.hw.fdd_present", PM_TYPE_U32, kSingle, "whether a floppy drive is present",
     "1 when /dev/fd0 is a block device whose driver is present, else 0.", nullptr,
     [](const AgentFacts& f, std::size_t) { return std::optional<std::int64_t>(f.fddPresent); }},
    {"ombrix.net.primary_address", PM_TYPE_STRING, kSingle, "the computer's IP address",
     "The source address the kernel picks for the default route, as Ombrix's\n"
     "summary shows IP Address; without a default route the first IPv4 address\n"
     "of an interface that is up, loopback last.",
     [](const AgentFacts& f, std::size_t) { return f.primaryAddress; }, nullptr},
    {"ombrix.net.dns.domain", PM_TYPE_STRING, kSingle, "the resolver's domain",
     "The domain of the resolver's configuration, as Ombrix's network report shows it.",
     [](const AgentFacts& f, std::size_t) { return f.dnsDomain; }, nullptr},
    {"ombrix.net.dns.servers", PM_TYPE_STRING, kSingle, "the resolver's name servers",
     "The resolver's name servers in the order it asks them, separated by one space;\n"
     "systemd-resolved's local stub stands for the servers it forwards to.",
     [](const AgentFacts& f, std::size_t) { return f.dnsServers; }, nullptr},
    {"ombrix.net.ipv4.adapter", PM_TYPE_STRING, kAddresses, "the adapter of an IPv4 address",
     "The name of the adapter that holds the address, as Ombrix's network report shows it.\n"
     "One instance per address: the adapter's key name, \"/\" and the address.",
     [](const AgentFacts& f, std::size_t i) { return f.addresses[i].adapter; }, nullptr},
    {"ombrix.net.ipv4.address", PM_TYPE_STRING, kAddresses, "an adapter's IPv4 address",
     "The address, dotted; an adapter's primary address is its first instance.",
     [](const AgentFacts& f, std::size_t i) { return f.addresses[i].address; }, nullptr},
    {"ombrix.net.ipv4.prefix", PM_TYPE_U32, kAddresses, "an IPv4 address's prefix length",
     "The length of the address's subnet mask, in bits.", nullptr,
     [](const AgentFacts& f, std::size_t i) {
         return std::optional<std::int64_t>(f.addresses[i].prefix);
     }},
    {"ombrix.net.adapter.name", PM_TYPE_STRING, kAdapters, "an adapter's name",
     "The adapter's name as Ombrix's network report shows it. One instance per\n"
     "interface but loopback, named by its key name.",
     [](const AgentFacts& f, std::size_t i) { return f.adapters[i].name; }, nullptr},
    {"ombrix.net.route.gateways", PM_TYPE_STRING, kAdapters, "an adapter's default gateways",
     "The gateways of the IPv4 default routes through the adapter, separated by one space.",
     [](const AgentFacts& f, std::size_t i) { return f.adapters[i].gateways; }, nullptr},
    {"ombrix.net.dhcp.enabled", PM_TYPE_U32, kAdapters, "whether an adapter's address is leased",
     "1 when the kernel expires one of the adapter's addresses or a DHCP client holds\n"
     "a lease for one, else 0.",
     nullptr,
     [](const AgentFacts& f, std::size_t i) {
         return std::optional<std::int64_t>(f.adapters[i].dhcp);
     }},
    {"ombrix.net.wins.primary", PM_TYPE_STRING, kAdapters, "an adapter's primary WINS server",
     "The first WINS server of Samba's configuration, as Ombrix's network report shows it.",
     [](const AgentFacts& f, std::size_t i) { return f.adapters[i].winsPrimary; }, nullptr},
    {"ombrix.net.wins.backup", PM_TYPE_STRING, kAdapters, "an adapter's backup WINS server",
     "The second WINS server of Samba's configuration.",
     [](const AgentFacts& f, std::size_t i) { return f.adapters[i].winsBackup; }, nullptr},
    {"ombrix.volume.letter", PM_TYPE_STRING, kVolumes, "a drive's letter",
     "The letter Ombrix's drive window gives the volume: C at /, D to Z the further\n"
     "volumes in mount-table order. One instance per lettered drive, named by it (\"C:\").",
     [](const AgentFacts& f, std::size_t i) { return f.volumes[i].letter; }, nullptr},
    {"ombrix.volume.mount_point", PM_TYPE_STRING, kVolumes, "where a drive is mounted",
     "The volume's mount point; empty for a drive without medium.",
     [](const AgentFacts& f, std::size_t i) { return f.volumes[i].mountPoint; }, nullptr},
    {"ombrix.volume.type", PM_TYPE_U32, kVolumes, "a drive's type",
     "0 unknown, 1 removable, 2 hard disk, 3 network, 4 CD-ROM, 5 RAM disc.", nullptr,
     [](const AgentFacts& f, std::size_t i) {
         return std::optional<std::int64_t>(f.volumes[i].type);
     }},
    {"ombrix.volume.serial", PM_TYPE_32, kVolumes, "a volume's serial number",
     "The serial number Ombrix's drive window shows, from the UUID udev and libblkid's\n"
     "cache publish, else the file system's id. No value where it could not be read.",
     nullptr, [](const AgentFacts& f, std::size_t i) { return wide(f.volumes[i].serial); }},
    {"ombrix.volume.free_bytes", PM_TYPE_U64, kVolumes, "a volume's free space",
     "Bytes free to an unprivileged user; no value for a drive that is not ready.", nullptr,
     [](const AgentFacts& f, std::size_t i) { return wide(f.volumes[i].freeBytes); }},
    {"ombrix.volume.total_bytes", PM_TYPE_U64, kVolumes, "a volume's size",
     "The volume's size in bytes; no value for a drive that is not ready.", nullptr,
     [](const AgentFacts& f, std::size_t i) { return wide(f.volumes[i].totalBytes); }},
    {"ombrix.printer.service_reachable", PM_TYPE_U32, kSingle, "whether a print service answered",
     "1 when this computer's CUPS scheduler answered, as Ombrix's printers window\n"
     "asks it (each question given up after 1 s), else 0.",
     nullptr,
     [](const AgentFacts& f, std::size_t) {
         return std::optional<std::int64_t>(f.printServiceReachable);
     }},
    {"ombrix.printer.queue", PM_TYPE_STRING, kPrinters, "a print queue's name",
     "The queue's name as Ombrix's printers window lists it; one instance per queue,\n"
     "named by it.",
     [](const AgentFacts& f, std::size_t i) { return f.printers[i].queue; }, nullptr},
    {"ombrix.printer.state", PM_TYPE_U32, kPrinters, "a print queue's state",
     "0 unknown, 1 idle, 2 processing, 3 stopped.", nullptr,
     [](const AgentFacts& f, std::size_t i) {
         return std::optional<std::int64_t>(f.printers[i].state);
     }},
    {"ombrix.printer.default", PM_TYPE_U32, kPrinters, "whether a print queue is the default",
     "1 for the queue print jobs go to unless another is named, else 0.", nullptr,
     [](const AgentFacts& f, std::size_t i) {
         return std::optional<std::int64_t>(f.printers[i].isDefault);
     }},
    {"ombrix.printer.location", PM_TYPE_STRING, kPrinters, "where a printer is",
     "The location the administrator gave the queue.",
     [](const AgentFacts& f, std::size_t i) { return f.printers[i].location; }, nullptr},
    {"ombrix.printer.make_and_model", PM_TYPE_STRING, kPrinters, "a printer's make and model",
     "The printer's make and model, as its driver names it.",
     [](const AgentFacts& f, std::size_t i) { return f.printers[i].makeAndModel; }, nullptr},
    {"ombrix.printer.description", PM_TYPE_STRING, kPrinters, "a print queue's description",
     "The description the administrator gave the queue.",
     [](const AgentFacts& f, std::size_t i) { return f.printers[i].description; }, nullptr},
};
constexpr int kMetricCount = int(sizeof kMetrics / sizeof kMetrics[0]);

// The agent's names as PCP's name files give an agent's (its folder's "pmns"):
// the ombrix subtree, without the root.
void printNameSpace() {
    std::map<std::string, std::map<std::string, std::string>> nodes; // node -> child -> leaf
    for (int item = 0; item < kMetricCount; ++item) {
        std::string_view name = kMetrics[item].name;
        std::string parent;
        std::size_t start = 0;
        while (true) {
            const std::size_t dot = name.find('.', start);
            const std::string path(name.substr(0, dot));
            const std::string child(name.substr(start, dot - start));
            if (parent.empty()) {
                parent = path;
                start = dot + 1;
                continue;
            }
            if (dot == std::string_view::npos) {
                nodes[parent][child] = std::to_string(kDomain) + ":0:" + std::to_string(item);
                break;
            }
            nodes[parent].try_emplace(child);
            parent = path;
            start = dot + 1;
        }
    }
    for (const auto& [node, children] : nodes) {
        std::printf("%s {\n", node.c_str());
        for (const auto& [child, pmid] : children)
            std::printf("    %s%s%s\n", child.c_str(), pmid.empty() ? "" : "\t", pmid.c_str());
        std::printf("}\n");
    }
}

pmdaMetric g_table[kMetricCount];
// By serial number until pmdaInit makes them the agent's; instances in pmda's cache.
pmdaIndom g_indoms[kDomains] = {{kAddresses, 0, nullptr},
                                {kAdapters, 0, nullptr},
                                {kVolumes, 0, nullptr},
                                {kPrinters, 0, nullptr}};
std::optional<ombrix::pmda::FactSnapshot> g_snapshot;
// The reading one question answers from, held until its values are copied out.
std::shared_ptr<const AgentFacts> g_held;
std::string g_text;
// The reading the instance domains were last set from, and per domain the
// place in it of each instance.
std::shared_ptr<const AgentFacts> g_indexed;
std::map<int, std::size_t> g_places[kDomains];

// Instances keep their numbers while their names stay; a name that goes is
// dropped, so the cache holds no more than the last reading's items.
std::vector<std::string> g_names[kDomains];

void setInstances(int domain, std::vector<std::string> names) {
    const pmInDom indom = g_indoms[domain].it_indom;
    const std::set<std::string> staying(names.begin(), names.end());
    for (const std::string& name : g_names[domain])
        if (!staying.contains(name))
            pmdaCacheStore(indom, PMDA_CACHE_CULL, name.c_str(), nullptr);
    g_places[domain].clear();
    for (std::size_t place = 0; place < names.size(); ++place) {
        const int instance = pmdaCacheStore(indom, PMDA_CACHE_ADD, names[place].c_str(), nullptr);
        if (instance >= 0)
            g_places[domain][instance] = place;
    }
    g_names[domain] = std::move(names);
}

// Takes the last reading for a question, and the instances it has.
void holdReading() {
    g_held = g_snapshot->current();
    if (g_held == g_indexed)
        return;
    g_indexed = g_held;
    std::vector<std::string> addresses, adapters, volumes, printers;
    if (g_held) {
        for (const auto& address : g_held->addresses)
            addresses.push_back(address.key + "/" + address.address);
        for (const auto& adapter : g_held->adapters)
            adapters.push_back(adapter.key);
        for (const auto& volume : g_held->volumes)
            volumes.push_back(volume.letter + ":");
        for (const auto& printer : g_held->printers)
            printers.push_back(printer.queue);
    }
    setInstances(kAddresses, std::move(addresses));
    setInstances(kAdapters, std::move(adapters));
    setInstances(kVolumes, std::move(volumes));
    setInstances(kPrinters, std::move(printers));
}

int fetchValue(pmdaMetric* metric, unsigned int instance, pmAtomValue* atom) {
    const unsigned item = pmID_item(metric->m_desc.pmid);
    if (pmID_cluster(metric->m_desc.pmid) != 0 || item >= unsigned(kMetricCount))
        return PM_ERR_PMID;
    const Metric& row = kMetrics[item];
    std::size_t place = 0;
    if (row.domain == kSingle) {
        if (instance != PM_IN_NULL)
            return PM_ERR_INST;
    } else {
        const auto found = g_places[row.domain].find(int(instance));
        if (found == g_places[row.domain].end())
            return PM_ERR_INST;
        place = found->second;
    }
    if (!g_held)
        return PMDA_FETCH_NOVALUES; // the first reading is not in yet
    if (row.text) {
        g_text = row.text(*g_held, place);
        atom->cp = g_text.data(); // copied out before the next metric's value
        return PMDA_FETCH_STATIC;
    }
    const std::optional<std::int64_t> number = row.number(*g_held, place);
    if (!number)
        return PMDA_FETCH_NOVALUES;
    switch (row.type) {
    case PM_TYPE_32:
        atom->l = std::int32_t(*number);
        break;
    case PM_TYPE_U32:
        atom->ul = std::uint32_t(*number);
        break;
    case PM_TYPE_U64:
        atom->ull = std::uint64_t(*number);
        break;
    default:
        atom->ll = *number;
    }
    return PMDA_FETCH_STATIC;
}

int fetch(int count, pmID* ids, pmResult** result, pmdaExt* ext) {
    holdReading();
    const int status = pmdaFetch(count, ids, result, ext);
    g_held.reset();
    return status;
}

int instance(pmInDom indom, int inst, char* name, pmInResult** result, pmdaExt* ext) {
    holdReading();
    g_held.reset();
    return pmdaInstance(indom, inst, name, result, ext);
}

int text(int ident, int type, char** buffer, pmdaExt* ext) {
    if (type & PM_TEXT_PMID) {
        const pmID id = pmID(ident);
        const unsigned item = pmID_item(id);
        if (pmID_domain(id) == unsigned(ext->e_domain) && pmID_cluster(id) == 0 &&
            item < unsigned(kMetricCount)) {
            const Metric& row = kMetrics[item];
            *buffer = const_cast<char*>((type & PM_TEXT_ONELINE) ? row.oneLine : row.help);
            return 0;
        }
    }
    return PM_ERR_TEXT;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--pmns") == 0) {
        printNameSpace();
        return 0;
    }
    pmSetProgname(argv[0]);
    char* username = nullptr;
    pmGetUsername(&username);

    pmdaInterface agent{};
    pmdaDaemon(&agent, PMDA_INTERFACE_3, pmGetProgname(), kDomain, const_cast<char*>("ombrix.log"),
               nullptr);
    pmLongOptions options[] = {PMDA_OPTIONS_HEADER("Options"),
                               PMOPT_DEBUG,
                               PMDAOPT_DOMAIN,
                               PMDAOPT_LOGFILE,
                               PMDAOPT_USERNAME,
                               PMOPT_HELP,
                               PMDA_OPTIONS_END};
    pmdaOptions parsed{};
    parsed.short_options = "D:d:l:U:?";
    parsed.long_options = options;
    pmdaGetOptions(argc, argv, &parsed, &agent);
    if (parsed.errors) {
        pmdaUsageMessage(&parsed);
        return 1;
    }
    if (parsed.username)
        username = parsed.username;
    pmdaOpenLog(&agent);
    if (::geteuid() == 0)
        pmSetProcessIdentity(username); // as PCP's agents run: as user pcp
    if (agent.status != 0)
        return 1;

    for (int item = 0; item < kMetricCount; ++item) {
        const Domain domain = kMetrics[item].domain;
        g_table[item] =
            pmdaMetric{nullptr,
                       {pmID_build(unsigned(agent.domain), 0, unsigned(item)), kMetrics[item].type,
                        domain == kSingle ? PM_INDOM_NULL : pmInDom(domain), PM_SEM_DISCRETE,
                        PMDA_PMUNITS(0, 0, 0, 0, 0, 0)}};
    }
    agent.version.any.fetch = fetch;
    agent.version.any.instance = instance;
    agent.version.any.text = text;
    pmdaSetFetchCallBack(&agent, fetchValue);
    pmdaInit(&agent, g_indoms, kDomains, g_table, kMetricCount);

    // The workers that read volumes for the snapshot, which may hang on a
    // mount; at the end those stuck are waited for a little, not for ever.
    ombrix::platform::BoundedWorkers workers(std::chrono::seconds(2));
    // After the change of user, so that the readings are made as the agent runs.
    g_snapshot.emplace();
    pmdaConnect(&agent);
    pmdaMain(&agent);
    g_snapshot.reset();
    return 0;
}
