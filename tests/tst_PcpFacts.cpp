// How a collector's answers become another computer's facts, and the
// services the windows and the report read them through: fed answers laid
// out as libpcp lays them out (descriptors as PCP 6.0 gives them), with no
// collector.
#include "fakes/FakePrinters.h"
#include "fakes/RecordedAnswer.h"
#include "platform/pcp/PcpFacts.h"
#include "platform/remote/RemoteMachine.h"
#include "platform/remote/RemoteNetworkView.h"
#include "platform/remote/RemoteServices.h"

#include <QTest>
#include <QTimeZone>

#include <cmath>
#include <limits>

using namespace ombrix::platform;
using namespace ombrix::platform::pcp;

namespace {

pmUnits unitsOf(int dimSpace, int scaleSpace, int dimTime, int scaleTime) {
    pmUnits u{};
    u.dimSpace = dimSpace;
    u.scaleSpace = static_cast<unsigned>(scaleSpace);
    u.dimTime = dimTime;
    u.scaleTime = static_cast<unsigned>(scaleTime);
    return u;
}
const pmUnits kNone{};
const pmUnits kKbyte = unitsOf(1, PM_SPACE_KBYTE, 0, 0);
const pmUnits kPerMicrosecond = unitsOf(0, 0, -1, PM_TIME_USEC);
constexpr pmInDom kCpus = 60 << 22 | 0, kNetAddresses = 60 << 22 | 17, kInterfaces = 60 << 22 | 3,
                  kFilesys = 60 << 22 | 5, kTmpfs = 60 << 22 | 18;

Metric text(const std::string& name, std::string value) {
    return {name, PM_TYPE_STRING, kNone, PM_INDOM_NULL, {}, 0, {{0, std::move(value)}}};
}

// What a Debian 12 collector answers for the summary.
Recording debianSummary() {
    return {text("kernel.uname.nodename", "far"),
            text("kernel.uname.release", "6.1.0-27-amd64"),
            text("kernel.uname.version", "#1 SMP PREEMPT_DYNAMIC Debian 6.1.115-1 (2024-11-01)"),
            text("kernel.uname.distro", "Debian GNU/Linux 12.8"),
            {"hinv.cpu.model_name", PM_TYPE_STRING, kNone, kCpus, {}, 0, {{0, "AMD EPYC"}}},
            {"hinv.cpu.clock", PM_TYPE_FLOAT, kPerMicrosecond, kCpus, {{0, 2096.0}}},
            {"mem.physmem", PM_TYPE_U64, kKbyte, PM_INDOM_NULL, {{0, 16384}}},
            {"mem.util.available", PM_TYPE_U64, kKbyte, PM_INDOM_NULL, {{0, 8192}}},
            text("pmcd.zoneinfo", ":Europe/Berlin"),
            text("pmcd.timezone", "CET-1CEST,M3.5.0,M10.5.0/3")};
}

constexpr pmInDom kAgentAddresses = 406 << 22 | 0, kAgentAdapters = 406 << 22 | 1,
                  kAgentVolumes = 406 << 22 | 2, kAgentQueues = 406 << 22 | 3;

Metric texts(const std::string& name, pmInDom indom, std::vector<std::pair<int, std::string>> all) {
    return {name, PM_TYPE_STRING, kNone, indom, {}, 0, std::move(all)};
}

// What the Ombrix collector agent answers beside Debian's default agents.
Recording agentAnswer() {
    Recording r = debianSummary();
    const Recording agent{
        text("ombrix.agent.version", "3.1"),
        text("ombrix.os.name", "Debian GNU/Linux 12 (bookworm)"),
        text("ombrix.os.version", "12"),
        {"ombrix.os.build", PM_TYPE_64, kNone, PM_INDOM_NULL, {{0, 115}}},
        {"ombrix.hw.fdd_present", PM_TYPE_U32, kNone, PM_INDOM_NULL, {{0, 1}}},
        text("ombrix.net.primary_address", "192.0.2.2"),
        text("ombrix.net.dns.domain", "example.org"),
        text("ombrix.net.dns.servers", "192.0.2.53 fd00::53"),
        texts("ombrix.net.ipv4.adapter", kAgentAddresses, {{0, "eth0"}, {1, "eth0"}, {2, "wg0"}}),
        texts("ombrix.net.ipv4.address", kAgentAddresses,
              {{0, "192.0.2.2"}, {1, "192.0.2.3"}, {2, "10.9.0.1"}}),
        {"ombrix.net.ipv4.prefix", PM_TYPE_U32, kNone, kAgentAddresses, {{0, 24}, {1, 32}, {2, 8}}},
        texts("ombrix.net.adapter.name", kAgentAdapters, {{0, "eth0"}, {1, "wg0"}}),
        texts("ombrix.net.route.gateways", kAgentAdapters, {{0, "192.0.2.1"}, {1, ""}}),
        {"ombrix.net.dhcp.enabled", PM_TYPE_U32, kNone, kAgentAdapters, {{0, 1}, {1, 0}}},
        texts("ombrix.net.wins.primary", kAgentAdapters, {{0, "192.0.2.4"}}),
        texts("ombrix.volume.letter", kAgentVolumes, {{0, "C"}, {1, "D"}}),
        texts("ombrix.volume.mount_point", kAgentVolumes, {{0, "/"}, {1, ""}}),
        {"ombrix.volume.type", PM_TYPE_U32, kNone, kAgentVolumes, {{0, 2}, {1, 4}}},
        {"ombrix.volume.serial", PM_TYPE_32, kNone, kAgentVolumes, {{0, 305419896}}},
        {"ombrix.volume.free_bytes", PM_TYPE_U64, kNone, kAgentVolumes, {{0, 1e9}}},
        {"ombrix.volume.total_bytes", PM_TYPE_U64, kNone, kAgentVolumes, {{0, 4e9}}},
        {"ombrix.printer.service_reachable", PM_TYPE_U32, kNone, PM_INDOM_NULL, {{0, 1}}},
        texts("ombrix.printer.queue", kAgentQueues, {{0, "lab"}, {1, "front desk"}}),
        {"ombrix.printer.state", PM_TYPE_U32, kNone, kAgentQueues, {{0, 3}, {1, 1}}},
        {"ombrix.printer.default", PM_TYPE_U32, kNone, kAgentQueues, {{0, 0}, {1, 1}}},
        texts("ombrix.printer.location", kAgentQueues, {{0, "room 2"}}),
        texts("ombrix.printer.make_and_model", kAgentQueues, {{1, "Laser 9"}}),
        texts("ombrix.printer.description", kAgentQueues, {{0, "the lab's"}})};
    r.insert(r.end(), agent.begin(), agent.end());
    return r;
}

// The adapters as "name address/mask ... gw gateways dhcp 0|1|?", the drives
// as "letter=mount point type serial", the print queues as "name: state
// default location/model/description", after "printers" or "no print service".
QStringList described(const RemoteFacts& facts) {
    QStringList all;
    for (const RemoteAdapter& a : facts.adapters.value_or(std::vector<RemoteAdapter>{})) {
        QString line = a.name;
        for (qsizetype i = 0; i < a.ipv4.size(); ++i)
            line += u' ' + a.ipv4[i] + u'/' + a.masks.value(i);
        line += QStringLiteral(" gw %1 dhcp %2")
                    .arg(a.gateways.join(u','), a.dhcp ? QString::number(*a.dhcp) : "?");
        all << line;
    }
    for (const RemoteVolume& v : facts.volumes.value_or(std::vector<RemoteVolume>{}))
        all << QStringLiteral("%1=%2 %3 %4")
                   .arg(v.letter, v.mountPoint, QString::number(v.type.value_or(-1)),
                        v.serial ? QString::number(*v.serial) : "?");
    if (facts.printers)
        all << (facts.printers->serviceReachable ? "printers" : "no print service");
    for (const PrintDestination& d : facts.printers.value_or(PrinterList{}).destinations)
        all << QStringLiteral("%1: %2 %3 %4/%5/%6")
                   .arg(d.name, QString::number(int(d.state)), QString::number(d.isDefault),
                        d.location, d.makeAndModel, d.info);
    return all;
}

// The recording with one metric replaced (or, with an empty name, removed).
Recording with(Recording recording, const std::string& name, std::optional<Metric> metric) {
    std::erase_if(recording, [&](const Metric& m) { return m.name == name; });
    if (metric)
        recording.push_back(*metric);
    return recording;
}

RemoteFacts read(const Recording& recording, const InstanceNames& names = {},
                 FactParts parts = {true, true, true, true}) {
    const Answer answer(recording);
    return remoteFacts(answer.result(), answer.metrics(), names, parts);
}

} // namespace

Q_DECLARE_METATYPE(Recording)
Q_DECLARE_METATYPE(RemoteFacts)

class tst_PcpFacts : public QObject {
    Q_OBJECT
private slots:
    void summaryFactsAreTheCollectorsOrEmpty_data();
    void summaryFactsAreTheCollectorsOrEmpty();
    void adaptersAreJoinedByNameAndVolumesKeepTheirKind();
    void adapterAddressesAreAddresses_data();
    void adapterAddressesAreAddresses();
    void agentTablesStandForTheDefaultAgents_data();
    void agentTablesStandForTheDefaultAgents();
    void servicesShowTheFactsAsThisComputersDo();
    void servicesNameWhatTheyCannotGive_data();
    void servicesNameWhatTheyCannotGive();
};

// Each fact from its metric in the program's units; a metric that is
// missing, refused, of another type or dimension, or out of range leaves
// its fact empty; a text is cut and cleaned, never refused.
void tst_PcpFacts::summaryFactsAreTheCollectorsOrEmpty_data() {
    QTest::addColumn<Recording>("recording");
    QTest::addColumn<QString>("node");
    QTest::addColumn<double>("totalMemory"); // -1: empty
    QTest::addColumn<double>("mhz");         // -1: empty
    QTest::addColumn<QString>("zone");

    const double total = 16384.0 * 1024;
    const Recording debian = debianSummary();
    QTest::newRow("as Debian's collector gives them")
        << debian << "far" << total << 2096.0 << "Europe/Berlin";
    QTest::newRow("no zone file: the POSIX rule")
        << with(debian, "pmcd.zoneinfo", std::nullopt) << "far" << total << 2096.0
        << "CET-1CEST,M3.5.0,M10.5.0/3";
    QTest::newRow("memory refused")
        << with(debian, "mem.physmem",
                Metric{"mem.physmem", PM_TYPE_U64, kKbyte, PM_INDOM_NULL, {}, PM_ERR_PERMISSION})
        << "far" << -1.0 << 2096.0 << "Europe/Berlin";
    QTest::newRow("memory counted, not sized")
        << with(debian, "mem.physmem",
                Metric{"mem.physmem", PM_TYPE_U64, kNone, PM_INDOM_NULL, {{0, 16384}}})
        << "far" << -1.0 << 2096.0 << "Europe/Berlin";
    QTest::newRow("memory as a text") << with(debian, "mem.physmem", text("mem.physmem", "16 GB"))
                                      << "far" << -1.0 << 2096.0 << "Europe/Berlin";
    for (const double bad : {-1.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e300})
        QTest::addRow("memory of %g", bad)
            << with(debian, "mem.physmem",
                    Metric{"mem.physmem", PM_TYPE_DOUBLE, kKbyte, PM_INDOM_NULL, {{0, bad}}})
            << "far" << -1.0 << 2096.0 << "Europe/Berlin";
    QTest::newRow("a clock of zero")
        << with(debian, "hinv.cpu.clock",
                Metric{"hinv.cpu.clock", PM_TYPE_FLOAT, kPerMicrosecond, kCpus, {{0, 0}}})
        << "far" << total << -1.0 << "Europe/Berlin";
    QTest::newRow("a clock in ticks per second") << with(debian, "hinv.cpu.clock",
                                                         Metric{"hinv.cpu.clock",
                                                                PM_TYPE_FLOAT,
                                                                unitsOf(0, 0, -1, PM_TIME_SEC),
                                                                kCpus,
                                                                {{0, 2096e6}}})
                                                 << "far" << total << 2096.0 << "Europe/Berlin";
    QTest::newRow("control characters and bad bytes")
        << with(debian, "kernel.uname.nodename", text("kernel.uname.nodename", "a\nb\x1b\xff"))
        << "a\uFFFDb\uFFFD\uFFFD" << total << 2096.0 << "Europe/Berlin";
    QTest::newRow("a megabyte of name")
        << with(debian, "kernel.uname.nodename",
                text("kernel.uname.nodename", std::string(1 << 20, 'n')))
        << QString(kMaxTextLength - 1, QLatin1Char('n')) + QChar(0x2026) << total << 2096.0
        << "Europe/Berlin";
    QTest::newRow("nothing at all") << Recording{} << QString() << -1.0 << -1.0 << QString();
}

void tst_PcpFacts::summaryFactsAreTheCollectorsOrEmpty() {
    QFETCH(Recording, recording);
    QFETCH(QString, node);
    QFETCH(double, totalMemory);
    QFETCH(double, mhz);
    QFETCH(QString, zone);
    const RemoteSummary summary = read(recording).summary;
    QCOMPARE(summary.nodeName.value_or(QString()), node);
    QCOMPARE(summary.totalMemory ? double(*summary.totalMemory) : -1.0, totalMemory);
    QCOMPARE(summary.processorMHz.value_or(-1.0), mhz);
    QCOMPARE(summary.timeZone.value_or(QString()), zone);
}

// The address metrics may come in another domain than the hardware
// address: an adapter is one name, its labels' addresses among its own. tmpfs volumes are held in
// memory.
void tst_PcpFacts::adaptersAreJoinedByNameAndVolumesKeepTheirKind() {
    const Recording recording{
        {"network.interface.hw_addr",
         PM_TYPE_STRING,
         kNone,
         kInterfaces,
         {},
         0,
         {{6, "02:fc:00:00:00:01"}, {0, "00:00:00:00:00:00"}}},
        {"network.interface.inet_addr",
         PM_TYPE_STRING,
         kNone,
         kNetAddresses,
         {},
         0,
         {{5, "192.0.2.2"}, {3, "127.0.0.1"}, {7, "192.0.2.3"}}},
        {"network.interface.ipv6_addr",
         PM_TYPE_STRING,
         kNone,
         kNetAddresses,
         {},
         0,
         {{5, "fd00::2/64"}, {3, "::1/128"}}},
        {"filesys.mountdir", PM_TYPE_STRING, kNone, kFilesys, {}, 0, {{0, "/"}, {1, "/srv"}}},
        {"filesys.capacity", PM_TYPE_U64, kKbyte, kFilesys, {{0, 100}, {1, 200}}},
        {"filesys.avail", PM_TYPE_U64, kKbyte, kFilesys, {{0, 10}}},
        {"tmpfs.capacity", PM_TYPE_U64, kKbyte, kTmpfs, {{0, 64}}},
        {"tmpfs.free", PM_TYPE_U64, kKbyte, kTmpfs, {{0, 32}}}};
    const InstanceNames names{{kInterfaces, {{0, "lo"}, {6, "eth0"}}},
                              {kNetAddresses, {{3, "lo"}, {5, "eth0"}, {7, "eth0:web"}}},
                              {kFilesys, {{0, "/dev/vda1"}, {1, "/dev/vdb"}}},
                              {kTmpfs, {{0, "/dev/shm"}}}};
    const RemoteFacts facts = read(recording, names);
    QVERIFY(facts.adapters);
    QCOMPARE(facts.adapters->size(), 2u);
    for (const RemoteAdapter& adapter : *facts.adapters) {
        const bool eth = adapter.name == QLatin1String("eth0");
        QVERIFY2(eth || adapter.name == QLatin1String("lo"), qPrintable(adapter.name));
        QCOMPARE(adapter.loopback, !eth);
        // A labelled address is its adapter's.
        QCOMPARE(adapter.ipv4,
                 (eth ? QStringList{"192.0.2.2", "192.0.2.3"} : QStringList{"127.0.0.1"}));
        QCOMPARE(adapter.hardwareAddress, eth ? "02:fc:00:00:00:01" : "00:00:00:00:00:00");
    }
    QVERIFY(!facts.adaptersCut);
    QVERIFY(facts.volumes);
    QCOMPARE(facts.volumes->size(), 3u);
    const RemoteVolume& root = facts.volumes->at(0);
    QCOMPARE(root.device, "/dev/vda1");
    QCOMPARE(root.totalBytes, 100u * 1024);
    QCOMPARE(root.availableBytes, 10u * 1024);
    QVERIFY(!facts.volumes->at(1).availableBytes); // not given: not guessed
    QVERIFY(facts.volumes->at(2).inMemory);
    QCOMPARE(facts.volumes->at(2).mountPoint, "/dev/shm");
    QCOMPARE(facts.volumes->at(2).availableBytes, 32u * 1024);

    // A collector listing more adapters than are kept: the first are kept,
    // and the facts say the list was cut.
    Metric many{"network.interface.hw_addr", PM_TYPE_STRING, kNone, kInterfaces, {}, 0, {}};
    InstanceNames manyNames;
    for (int i = 0; i < int(kMostFactItems) + 5; ++i) {
        many.texts.push_back({i, "02:00:00:00:00:00"});
        manyNames[kInterfaces][i] = "eth" + std::to_string(i);
    }
    const RemoteFacts cut = read({many}, manyNames);
    QCOMPARE(cut.adapters->size(), kMostFactItems);
    QVERIFY(cut.adaptersCut);
    QVERIFY(!cut.volumesCut);
}

void tst_PcpFacts::adapterAddressesAreAddresses_data() {
    QTest::addColumn<bool>("six");
    QTest::addColumn<QByteArray>("given");
    QTest::addColumn<QStringList>("kept"); // none: the text is dropped and named
    QTest::newRow("an address") << false << QByteArray("10.0.0.1") << QStringList{"10.0.0.1"};
    QTest::newRow("two") << false << QByteArray("10.0.0.1 10.0.0.2")
                         << QStringList{"10.0.0.1", "10.0.0.2"};
    QTest::newRow("IPv6 and prefix")
        << true << QByteArray("fd00::2/64") << QStringList{"fd00::2/64"};
    for (const char* none : {"10.0.0.1 (verified)", "10.0.0.1\x1b[2J", "10.0.0.1\n10.0.0.2",
                             "10.0.1", "10.0.0.256", "fd00::2"})
        QTest::addRow("IPv4 %s", none) << false << QByteArray(none) << QStringList();
    for (const char* none : {"fd00::2/129", "fd00::zz/64"})
        QTest::addRow("IPv6 %s", none) << true << QByteArray(none) << QStringList();
}

// A text that is not an address is not shown as one: the adapter is
// without it, and the facts name the adapter.
void tst_PcpFacts::adapterAddressesAreAddresses() {
    QFETCH(bool, six);
    QFETCH(QByteArray, given);
    QFETCH(QStringList, kept);
    const auto addresses = [](const std::string& metric, std::string text) {
        return Metric{metric, PM_TYPE_STRING, kNone, kNetAddresses, {}, 0, {{5, std::move(text)}}};
    };
    const Recording recording{
        addresses("network.interface.inet_addr", six ? "10.0.0.9" : given.toStdString()),
        addresses("network.interface.ipv6_addr", six ? given.toStdString() : "fd00::9/64")};
    const RemoteFacts facts = read(recording, {{kNetAddresses, {{5, "eth0"}}}});
    QVERIFY(facts.adapters && facts.adapters->size() == 1);
    QCOMPARE(six ? facts.adapters->front().ipv6 : facts.adapters->front().ipv4, kept);
    QCOMPARE(facts.addressesLeftOut, kept.isEmpty() ? QStringList{"eth0"} : QStringList());
}

void tst_PcpFacts::agentTablesStandForTheDefaultAgents_data() {
    QTest::addColumn<Recording>("recording");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("leftOut");
    const Recording agent = agentAnswer();
    const QStringList queues{"printers", "lab: 3 0 room 2//the lab's", "front desk: 1 1 /Laser 9/"};
    const QStringList items =
        QStringList{"eth0 192.0.2.2/255.255.255.0 192.0.2.3/255.255.255.255 "
                    "gw 192.0.2.1 dhcp 1",
                    "wg0 10.9.0.1/255.0.0.0 gw  dhcp 0", "C=/ 2 305419896", "D= 4 ?"} +
        queues;
    QTest::newRow("as the agent gives them") << agent << items << QStringList();
    QTest::newRow("without its version: the default agents'")
        << with(agent, "ombrix.agent.version", std::nullopt) << QStringList() << QStringList();
    QTest::newRow("more addresses than adapters named: those left out")
        << with(agent, "ombrix.net.ipv4.address",
                texts("ombrix.net.ipv4.address", kAgentAddresses,
                      {{0, "192.0.2.2"}, {1, "192.0.2.3"}, {2, "10.9.0.1"}, {3, "10.0.0.7"}}))
        << items << QStringList();
    QTest::newRow("an address of an adapter not listed")
        << with(agent, "ombrix.net.ipv4.adapter",
                texts("ombrix.net.ipv4.adapter", kAgentAddresses,
                      {{0, "eth0"}, {1, "eth0"}, {2, "eth9"}}))
        << QStringList{items[0], "wg0 gw  dhcp 0", items[2], items[3]} + queues << QStringList();
    QTest::newRow("not an address, a prefix past 32")
        << with(with(agent, "ombrix.net.ipv4.address",
                     texts("ombrix.net.ipv4.address", kAgentAddresses,
                           {{0, "192.0.2.2"}, {1, "192.0.2.3\n"}, {2, "10.9.0.1"}})),
                "ombrix.net.ipv4.prefix",
                Metric{"ombrix.net.ipv4.prefix", PM_TYPE_U32, kNone, kAgentAddresses, {{0, 33}}})
        << QStringList{"eth0 192.0.2.2/ gw 192.0.2.1 dhcp 1", "wg0 10.9.0.1/ gw  dhcp 0", items[2],
                       items[3]} +
               queues
        << QStringList{"eth0"};
    QTest::newRow("numbers as texts, a DHCP state of 7")
        << with(with(agent, "ombrix.volume.type", text("ombrix.volume.type", "2")),
                "ombrix.net.dhcp.enabled",
                Metric{"ombrix.net.dhcp.enabled", PM_TYPE_U32, kNone, kAgentAdapters, {{0, 7}}})
        << QStringList{"eth0 192.0.2.2/255.255.255.0 192.0.2.3/255.255.255.255 gw 192.0.2.1 dhcp ?",
                       "wg0 10.9.0.1/255.0.0.0 gw  dhcp ?", "C=/ -1 305419896", "D= -1 ?"} +
               queues
        << QStringList();
    QTest::newRow("letters twice, in lower case, two long")
        << with(agent, "ombrix.volume.letter",
                texts("ombrix.volume.letter", kAgentVolumes,
                      {{0, "C"}, {1, "C"}, {2, "d"}, {3, "DE"}}))
        << QStringList{items[0], items[1], items[2]} + queues << QStringList();
    QTest::newRow("a queue without a name, a state of 9")
        << with(with(agent, "ombrix.printer.queue",
                     texts("ombrix.printer.queue", kAgentQueues, {{0, ""}, {1, "front desk"}})),
                "ombrix.printer.state",
                Metric{"ombrix.printer.state", PM_TYPE_U32, kNone, kAgentQueues, {{0, 3}, {1, 9}}})
        << items.mid(0, 5) + QStringList{"front desk: 0 1 /Laser 9/"} << QStringList();
    QTest::newRow("no print service: no queues, and that said")
        << with(
               with(agent, "ombrix.printer.queue", std::nullopt),
               "ombrix.printer.service_reachable",
               Metric{
                   "ombrix.printer.service_reachable", PM_TYPE_U32, kNone, PM_INDOM_NULL, {{0, 0}}})
        << items.mid(0, 4) + QStringList{"no print service"} << QStringList();
    QTest::newRow("no word of a print service: the printers not told")
        << with(agent, "ombrix.printer.service_reachable", std::nullopt) << items.mid(0, 4)
        << QStringList();
}

// Where the collector agent answered, its adapters and lettered drives are
// the computer's: joined by the agent's own names, each value checked, what
// does not fit left out, never guessed.
void tst_PcpFacts::agentTablesStandForTheDefaultAgents() {
    QFETCH(Recording, recording);
    QFETCH(QStringList, items);
    QFETCH(QStringList, leftOut);
    const RemoteFacts facts = read(recording);
    QCOMPARE(described(facts), items);
    QCOMPARE(facts.addressesLeftOut, leftOut);
    QCOMPARE(facts.resolver.has_value(), !items.isEmpty());

    // An agent listing more adapters than are kept: the first are kept.
    Recording many = agentAnswer();
    std::vector<std::pair<int, std::string>> names;
    for (int i = 0; i < int(kMostFactItems) + 5; ++i)
        names.push_back({i, "eth" + std::to_string(i)});
    many = with(many, "ombrix.net.adapter.name",
                texts("ombrix.net.adapter.name", kAgentAdapters, names));
    const RemoteFacts cut = read(many);
    QCOMPARE(cut.adapters->size(), kMostFactItems);
    QVERIFY(cut.adaptersCut);
}

// The services read the facts as this computer's read the machine: drive
// C: is the volume at "/", the version comes from the distribution's name
// where it names one, memory is unknown unless both figures came.
void tst_PcpFacts::servicesShowTheFactsAsThisComputersDo() {
    RemoteFacts facts = read(debianSummary());
    facts.address = QStringLiteral("192.0.2.2");
    // Volumes in the system's own folders are no drives, here as there.
    facts.volumes = std::vector<RemoteVolume>{{"", "/dev/shm", true, 64, 32},
                                              {"/dev/vda1", "/", false, 100, 10},
                                              {"cgroup2", "/sys/fs/cgroup", false, 0, 0},
                                              {"", "/tmp", true, 64, 32},
                                              {"", "/mnt/scratch", true, 64, 32}};
    RemoteSnapshot snapshot(QStringLiteral("far.example:44321"), facts);

    OSVERSIONINFOA record;
    record.dwOSVersionInfoSize = sizeof record;
    QVERIFY(RemoteVersionQuery(snapshot).GetVersionExA(record));
    QCOMPARE(record.dwMajorVersion, 6u);
    QCOMPARE(record.dwBuildNumber, 115u); // the patch level from uname's version text
    QCOMPARE(RemoteSystemInfo(snapshot).osVersion(), "12.8");
    // The version is the first number standing apart in the distribution's
    // name, else the kernel's major and minor.
    for (const auto& [name, version] : std::initializer_list<std::pair<const char*, const char*>>{
             {"Ubuntu 24.04.1 LTS", "24.04.1"},
             {"Fedora 40a 39.1", "39.1"},
             {"Rocky 9.4_beta", "9"},
             {"v12 13.", "13"},
             {"Debian trixie/sid", "6.1"}}) {
        RemoteFacts named = facts;
        named.summary.distribution = QString::fromUtf8(name);
        QCOMPARE(RemoteSystemInfo(RemoteSnapshot(QStringLiteral("far"), named)).osVersion(),
                 QString::fromUtf8(version));
    }
    QCOMPARE(RemoteHostInfo(snapshot).hostName(), "far");
    QCOMPARE(RemoteHostInfo(snapshot).ipAddress(), "192.0.2.2");
    QCOMPARE(RemoteMemory(snapshot).query()->totalPhysBytes, 16384u * 1024);
    QCOMPARE(RemoteClock(snapshot).now().timeZone().id(), "Europe/Berlin");

    const auto drives = RemoteFileSystem(snapshot).create();
    QCOMPARE(drives->DriveLetters(), (QStringList{"C", "D"}));
    QCOMPARE(drives->GetDrive("C:")->MountPoint(), "/");
    QCOMPARE(drives->GetDrive("D:")->MountPoint(), "/mnt/scratch");
    QCOMPARE(drives->GetDrive("D:")->DriveType(), 5); // a RAM disc
    QVERIFY(!drives->GetDrive("C:")->SerialNumber());

    // A fresh summary keeps the volumes read before, and a silent reading
    // keeps everything.
    RemoteFacts fresh =
        read(with(debianSummary(), "mem.util.available", std::nullopt), {}, {true, false, false});
    snapshot.update(fresh);
    QVERIFY(!RemoteMemory(snapshot).query());
    QCOMPARE(RemoteFileSystem(snapshot).create()->DriveLetters().size(), 2);
    RemoteFacts silent;
    silent.reachable = false;
    snapshot.update(silent);
    QCOMPARE(RemoteHostInfo(snapshot).hostName(), "far");

    // The collector agent's facts are that computer's own, where it answered.
    RemoteMachine agent(QStringLiteral("far"), read(agentAnswer()), fakePrintersAt);
    QVERIFY(agent.version.GetVersionExA(record));
    QVERIFY(QString(record.szCSDVersion).startsWith("Debian GNU/Linux 12 (bookworm)"));
    QCOMPARE(agent.systemInfo.osVersion(), "12");
    QCOMPARE(agent.systemInfo.osBuild(), 115);
    QCOMPARE(agent.host.ipAddress(), "192.0.2.2");
    QVERIFY(agent.floppy.selectDriveA());
    const auto lettered = agent.fileSystem.create();
    QCOMPARE(lettered->DriveLetters(), (QStringList{"C", "D"}));
    QCOMPARE(lettered->GetDrive("D:")->DriveType(), 4);
    QCOMPARE(lettered->GetDrive("C:")->SerialNumber(), 305419896);
    const auto tcpip = agent.network->openKey("eth0\\Parameters\\Tcpip");
    QVERIFY(tcpip);
    QCOMPARE(tcpip->values.size(), 4u); // gateways, DHCP, addresses, masks
}

void tst_PcpFacts::servicesNameWhatTheyCannotGive_data() {
    QTest::addColumn<RemoteFacts>("facts");
    QTest::addColumn<QStringList>("notCarried");
    RemoteFacts debian = read(debianSummary());
    debian.address = QStringLiteral("192.0.2.2");
    debian.adapters = std::vector<RemoteAdapter>{};
    debian.volumes = std::vector<RemoteVolume>{{"/dev/vda1", "/", false, 100, 10}};
    const QStringList never{"summary.fdd_present",
                            "network.domain",
                            "network.name_servers",
                            "network.adapters.subnet_masks",
                            "network.adapters.gateways",
                            "network.adapters.dhcp",
                            "network.adapters.primary_wins",
                            "network.adapters.backup_wins",
                            "drives.serial"};
    // Debian's collector names no processor vendor.
    QTest::newRow("as Debian's collector gives them")
        << debian << never + QStringList{"summary.vendor"};
    RemoteFacts facts = debian;
    facts.summary.kernelRelease = QStringLiteral("linux");
    QTest::newRow("a kernel release without a version")
        << facts
        << never + QStringList{"summary.vendor", "summary.os_platform", "summary.os_build"};
    facts.summary.distribution = QStringLiteral("Debian GNU/Linux");
    QTest::newRow("and a distribution without one")
        << facts
        << never + QStringList{"summary.vendor", "summary.os_platform", "summary.os_version",
                               "summary.os_build"};
    facts = debian;
    facts.summary.availableMemory.reset();
    QTest::newRow("no available memory")
        << facts
        << never + QStringList{"summary.vendor", "summary.total_mb", "summary.available_mb"};
    facts = debian;
    facts.summary.nodeName = QString();
    facts.address.clear();
    QTest::newRow("an empty name, no address")
        << facts
        << never + QStringList{"summary.vendor", "summary.computer_name", "summary.ip_address",
                               "network.host_name"};
    facts = debian;
    facts.volumes = std::vector<RemoteVolume>{{"", "/", false, std::nullopt, std::nullopt}};
    QTest::newRow("volumes without sizes")
        << facts
        << never + QStringList{"summary.vendor", "drives.total_bytes", "drives.free_bytes"};
    QTest::newRow("with the collector agent")
        << read(agentAnswer()) << QStringList{"summary.vendor"};
    facts = debian;
    facts.adapters.reset();
    facts.volumes.reset();
    QTest::newRow("no adapters or volumes")
        << facts << QStringList{"summary.vendor",       "summary.fdd_present", "network.domain",
                                "network.name_servers", "network.adapters",    "drives"};
}

// What the machine's services cannot give is named by those services, each
// fact once.
void tst_PcpFacts::servicesNameWhatTheyCannotGive() {
    QFETCH(RemoteFacts, facts);
    QFETCH(QStringList, notCarried);
    RemoteMachine far(QStringLiteral("far"), facts, fakePrintersAt);
    QStringList named = far.notCarried();
    named.sort();
    notCarried.sort();
    QCOMPARE(named, notCarried);
    // Where a service says so, it gives nothing for that fact.
    OSVERSIONINFOA record;
    record.dwOSVersionInfoSize = sizeof record;
    QCOMPARE(far.version.GetVersionExA(record), !named.contains("summary.os_platform"));
    QCOMPARE(far.systemInfo.osVersion().isEmpty(), named.contains("summary.os_version"));
    QCOMPARE(far.memory.query().has_value(), !named.contains("summary.total_mb"));
    // The queues the agent told are the printers; without them, a scheduler
    // that cannot be reached from here leaves them unknown.
    const PrinterList printers = far.printers.query();
    QCOMPARE(printers.destinations.size(),
             facts.printers ? facts.printers->destinations.size() : 0u);
    QCOMPARE(far.notCarried().contains("printers"), !facts.printers);
}

QTEST_GUILESS_MAIN(tst_PcpFacts)
#include "tst_PcpFacts.moc"
