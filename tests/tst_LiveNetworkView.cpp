#include "platform/EscapedKeyName.h"
#include "platform/Registry.h"
#include "platform/linux/KernelFile.h"
#include "platform/linux/network/DhcpLeases.h"
#include "platform/linux/network/LiveNetworkView.h"
#include "platform/linux/network/ResolverState.h"
#include "platform/linux/network/SambaWins.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "platform/registry/RegistryNames.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <set>

using namespace ombrix::platform;

namespace {

std::string fixture(const char* name) {
    return readKernelFile(std::string(OMBRIX_FIXTURES_DIR) + "/" + name).value_or("");
}

QString run(const QString& program, const QStringList& args, int* exitCode = nullptr) {
    QProcess process;
    process.start(program, args);
    process.waitForFinished(20000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString maskOf(int prefix) {
    const quint32 bits = prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
    return QStringLiteral("%1.%2.%3.%4")
        .arg(bits >> 24)
        .arg((bits >> 16) & 0xFF)
        .arg((bits >> 8) & 0xFF)
        .arg(bits & 0xFF);
}

// A resolver configuration's first three name servers, as glibc uses them.
QStringList configuredNameServers() {
    QStringList configured;
    QFile resolvConf("/etc/resolv.conf");
    if (resolvConf.open(QIODevice::ReadOnly)) {
        const QRegularExpression server(R"(^\s*nameserver\s+([0-9a-fA-F.:]+))");
        for (const QString& line : QString::fromUtf8(resolvConf.readAll()).split('\n')) {
            const auto m = server.match(line);
            if (m.hasMatch() && configured.size() < 3)
                configured << m.captured(1);
        }
    }
    return configured;
}

// What "ip" says of this machine's IPv4 setup, per interface in its order.
struct IpToolView {
    QMap<QString, QStringList> addresses, masks, gateways;
    QMap<QString, bool> dynamic;
};
IpToolView ipToolView() {
    IpToolView seen;
    const QRegularExpression addrLine(R"(^\d+:\s+(\S+)\s+inet\s+([\d.]+)/(\d+)\s.*)");
    for (const QString& line : run("ip", {"-4", "-o", "addr", "show"}).split('\n')) {
        const auto m = addrLine.match(line);
        if (!m.hasMatch())
            continue;
        seen.addresses[m.captured(1)] << m.captured(2);
        seen.masks[m.captured(1)] << maskOf(m.captured(3).toInt());
        seen.dynamic[m.captured(1)] = seen.dynamic[m.captured(1)] || line.contains(" dynamic ");
    }
    const QRegularExpression routeLine(R"(^default via ([\d.]+) dev (\S+))");
    for (const QString& line : run("ip", {"-4", "route", "show", "default"}).split('\n')) {
        const auto m = routeLine.match(line);
        if (m.hasMatch())
            seen.gateways[m.captured(2)] << m.captured(1);
    }
    return seen;
}

// The probe's key listing: "[key]" headers, then "name=value" lines.
using KeyDump = QMap<QString, QMap<QString, QString>>;
KeyDump parseDump(const QString& text, QStringList* adapters = nullptr) {
    KeyDump dump;
    QString section;
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith('[')) {
            section = line.mid(1, line.indexOf(']') - 1);
            if (line.endsWith(" absent"))
                dump[section]["(absent)"] = "1";
            else
                dump[section];
            continue;
        }
        const int eq = line.indexOf('=');
        if (line.startsWith("subkey=") && adapters && section == "NetBT\\Adapters")
            adapters->append(line.mid(eq + 1));
        dump[section][line.left(eq)] = line.mid(eq + 1);
    }
    return dump;
}

// A Samba configuration in dir with the given text; its path.
QString writeSmbConf(const QTemporaryDir& dir, const QByteArray& text) {
    QFile smb(dir.filePath("smb.conf"));
    if (!smb.open(QIODevice::WriteOnly) || smb.write(text) != text.size())
        return {};
    return smb.fileName();
}

// The TCP/IP values of an adapter's key: address, mask, gateway, DHCP.
QStringList tcpipValues(const QMap<QString, QString>& key) {
    return {key["IPAddress"], key["SubnetMask"], key["DefaultGateway"], key["EnableDHCP"]};
}

// A network namespace of this test, with its own resolver configuration
// (which "ip netns exec" puts in place of the machine's); removed however
// the test ends.
class TestNamespace {
public:
    explicit TestNamespace(const QString& tag)
        : m_name(QStringLiteral("ombrix-%1-%2").arg(getpid()).arg(tag)) {
        int code = 0;
        run("ip", {"netns", "add", m_name}, &code);
        m_ok = code == 0;
    }
    ~TestNamespace() {
        run("ip", {"netns", "del", m_name});
        QDir(etcDir()).removeRecursively();
        QDir().rmdir(QStringLiteral("/etc/netns")); // only when nothing else is in it
    }
    bool ok() const { return m_ok; }

    // Runs "ip -n <namespace> <command>"; false when ip fails.
    bool ip(const QString& command) {
        int code = 0;
        run("ip", QStringList{"-n", m_name} + command.split(' ', Qt::SkipEmptyParts), &code);
        return code == 0;
    }
    bool writeResolver(const QByteArray& text) {
        QDir().mkpath(etcDir());
        QFile file(etcDir() + "/resolv.conf");
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    }
    QString probe(const QStringList& args) {
        return run("ip", QStringList{"netns", "exec", m_name,
                                     QString(OMBRIX_BIN_DIR) + "/netcheck_probe"} +
                             args);
    }

private:
    QString etcDir() const { return "/etc/netns/" + m_name; }
    QString m_name;
    bool m_ok = false;
};

} // namespace

class tst_LiveNetworkView : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void nameServersOfResolverText_data();
    void nameServersOfResolverText();
    void resolvedStubStandsForItsUpstreamServers();
    void winsServersOfSambaConfig_data();
    void winsServersOfSambaConfig();
    void dhclientLeaseBlocks();
    void clientLeaseMarksAddressLeased_data();
    void clientLeaseMarksAddressLeased();

    void everyInterfaceHasAKeyOfItsOwn_data();
    void everyInterfaceHasAKeyOfItsOwn();

    void keysShowWhatTheNamespaceHolds();
    void reportShowsWhatTheNamespaceHolds();
    void resolverWithFiftyServersAndGarbage();
    void interfaceVanishingAfterTheListIsRead();
    void addressChangingAfterTheListIsRead();
    void keysAgreeWithIpToolOnThisMachine();
    void reportAgreesWithIpToolOnThisMachine();
    void dhclientLeaseMakesPermanentAddressLeased();
    void writesToTheViewAreRefused();
    void storeKeysLiveBesideTheView();
    void keysOutsideTheViewAreNotServed_data();
    void keysOutsideTheViewAreNotServed();

private:
    bool m_namespaces = false;
    QString m_whyNoNamespaces;
};

void tst_LiveNetworkView::initTestCase() {
    if (geteuid() != 0) {
        m_whyNoNamespaces = "network namespaces need root; run the tests as root";
        return;
    }
    TestNamespace probe("probe");
    m_namespaces = probe.ok();
    if (!m_namespaces)
        m_whyNoNamespaces = "this machine does not let \"ip netns add\" make a network namespace";
}

void tst_LiveNetworkView::nameServersOfResolverText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("servers");
    QTest::newRow("systemd-resolved's upstream list, with scope suffix")
        << QByteArray::fromStdString(fixture("resolvconf_resolved_upstream.txt"))
        << QStringList{"192.0.2.53", "198.51.100.7", "fe80::1"};
    QStringList fifty;
    for (int i = 0; i < 50; ++i)
        fifty << QStringLiteral("10.0.%1.%2").arg(i / 10).arg(i + 1);
    fifty << "10.99.0.1";
    QTest::newRow("fifty servers among garbage lines")
        << QByteArray::fromStdString(fixture("resolvconf_fifty_and_garbage.txt")) << fifty;
    QTest::newRow("empty text") << QByteArray() << QStringList();
    QTest::newRow("no final line break")
        << QByteArray("nameserver 192.0.2.1") << QStringList{"192.0.2.1"};
    QTest::newRow("binary junk") << QByteArray("\0\xff\nnameserver \xff\n", 17) << QStringList();
}

void tst_LiveNetworkView::nameServersOfResolverText() {
    QFETCH(QByteArray, text);
    QFETCH(QStringList, servers);
    QStringList got;
    for (const auto& server : parseNameServers(text.toStdString()))
        got << QString::fromStdString(server);
    QCOMPARE(got, servers);
}

void tst_LiveNetworkView::resolvedStubStandsForItsUpstreamServers() {
    using List = std::vector<std::string>;
    QCOMPARE(expandResolvedStub({"127.0.0.53"}, {"192.0.2.1", "192.0.2.2"}),
             (List{"192.0.2.1", "192.0.2.2"}));
    QCOMPARE(expandResolvedStub({"192.0.2.9", "127.0.0.53"}, {"192.0.2.1"}),
             (List{"192.0.2.9", "192.0.2.1"}));
    // Without upstream servers (resolved not running) the stub is what there is.
    QCOMPARE(expandResolvedStub({"127.0.0.53"}, {}), (List{"127.0.0.53"}));
}

void tst_LiveNetworkView::winsServersOfSambaConfig_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("primary");
    QTest::addColumn<QString>("backup");
    QTest::newRow("two servers on a continued line, later share ignored")
        << QByteArray::fromStdString(fixture("smbconf_wins_two.txt")) << "192.0.2.10"
        << "192.0.2.11";
    QTest::newRow("setting only in a share section and a comment")
        << QByteArray::fromStdString(fixture("smbconf_wins_share_only.txt")) << ""
        << "";
    QTest::newRow("comma list with tags, before any section")
        << QByteArray("wins server = a:192.0.2.1,b:192.0.2.2, 192.0.2.3") << "192.0.2.1"
        << "192.0.2.2";
    QTest::newRow("no file") << QByteArray() << ""
                             << "";
}

void tst_LiveNetworkView::winsServersOfSambaConfig() {
    QFETCH(QByteArray, text);
    QFETCH(QString, primary);
    QFETCH(QString, backup);
    const WinsServers wins = parseSambaWins(text.toStdString());
    QCOMPARE(QString::fromStdString(wins.primary), primary);
    QCOMPARE(QString::fromStdString(wins.backup), backup);
}

void tst_LiveNetworkView::dhclientLeaseBlocks() {
    const auto leases = parseDhclientLeases(fixture("dhclient_two_interfaces.txt"));
    // The block without an address and the unterminated last block give none.
    QCOMPARE(leases.size(), std::size_t(2));
    QCOMPARE(leases[0].interfaceName, std::string("eth0"));
    QCOMPARE(leases[0].address, std::string("192.0.2.20"));
    QCOMPARE(leases[1].interfaceName, std::string("wlp2s0"));
    QCOMPARE(leases[1].address, std::string("198.51.100.4"));
}

void tst_LiveNetworkView::clientLeaseMarksAddressLeased_data() {
    QTest::addColumn<QString>("file"); // folder/name the fixture is copied to
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("leased");
    QTest::newRow("dhclient lease for the address") << "dhclient/dhclient.eth0.leases"
                                                    << "dhclient_two_interfaces.txt"
                                                    << "192.0.2.20" << true;
    QTest::newRow("dhclient lease for another address") << "dhclient/dhclient.leases"
                                                        << "dhclient_two_interfaces.txt"
                                                        << "192.0.2.21" << false;
    QTest::newRow("dhclient lease of another interface") << "dhclient/dhclient.leases"
                                                         << "dhclient_two_interfaces.txt"
                                                         << "198.51.100.4" << false;
    QTest::newRow("networkd lease by interface index") << "networkd/7"
                                                       << "networkd_lease.txt"
                                                       << "192.0.2.30" << true;
    QTest::newRow("networkd lease of another index") << "networkd/8"
                                                     << "networkd_lease.txt"
                                                     << "192.0.2.30" << false;
    QTest::newRow("NetworkManager lease by interface name") << "nm/internal-0b5d-eth0.lease"
                                                            << "networkd_lease.txt"
                                                            << "192.0.2.30" << true;
    QTest::newRow("no lease files") << ""
                                    << ""
                                    << "192.0.2.20" << false;
}

void tst_LiveNetworkView::clientLeaseMarksAddressLeased() {
    QFETCH(QString, file);
    QFETCH(QString, fixture);
    QFETCH(QString, address);
    QFETCH(bool, leased);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char* sub : {"dhclient", "networkd", "nm"})
        QVERIFY(QDir(dir.path()).mkpath(sub));
    if (!file.isEmpty())
        QVERIFY(QFile::copy(QString(OMBRIX_FIXTURES_DIR) + "/" + fixture, dir.filePath(file)));
    const DhcpLeases leases({dir.filePath("dhclient").toStdString(),
                             dir.filePath("networkd").toStdString(),
                             dir.filePath("nm").toStdString()});
    QCOMPARE(leases.holdsLease(7, "eth0", {"10.0.0.1", address.toStdString()}), leased);
}

void tst_LiveNetworkView::everyInterfaceHasAKeyOfItsOwn_data() {
    QTest::addColumn<QByteArrayList>("names"); // in interface-index order
    QTest::addColumn<QByteArrayList>("keys");
    QTest::newRow("plain and UTF-8 names stay as they are")
        << QByteArrayList{"eth0", "wlp2s0", "veth.peer-1", "wl\xc3\xa4n0", "100%", "%zz"}
        << QByteArrayList{"eth0", "wlp2s0", "veth.peer-1", "wl\xc3\xa4n0", "100%", "%zz"};
    QTest::newRow("bytes that are not UTF-8") << QByteArrayList{"\xc3\x28", "\xe9t\xe9", "\xff"}
                                              << QByteArrayList{"%C3(", "%E9t%E9", "%FF"};
    QTest::newRow("a backslash, and the name before it")
        << QByteArrayList{"x\\y", "x"} << QByteArrayList{"x%5Cy", "x"};
    QTest::newRow("names that read as escapes")
        << QByteArrayList{"a%41", "%FF", "\xff%"} << QByteArrayList{"a%2541", "%25FF", "%FF%25"};
    QTest::newRow("names that differ in case only")
        << QByteArrayList{"eth0", "ETH0", "Eth0", "\xc3\xa4", "\xc3\x84"}
        << QByteArrayList{"eth0", "%45%54%480", "%45%74%680", "\xc3\xa4", "%C3%84"};
    QTest::newRow("escaped names that differ in case only")
        << QByteArrayList{"\xff"
                          "a",
                          "\xff"
                          "A",
                          "x\\Y", "x\\y"}
        << QByteArrayList{"%FFa", "%FF%41", "x%5CY", "%78%5C%79"};
}

// Each interface's key is one valid key level of its own, compared without
// case like every key name, and reads back as the interface's name.
void tst_LiveNetworkView::everyInterfaceHasAKeyOfItsOwn() {
    QFETCH(QByteArrayList, names);
    QFETCH(QByteArrayList, keys);
    std::vector<std::string> given;
    for (const QByteArray& name : names)
        given.push_back(name.toStdString());
    const std::vector<std::string> got = adapterKeyNames(given);
    QByteArrayList gotKeys;
    for (const std::string& key : got)
        gotKeys << QByteArray::fromStdString(key);
    QCOMPARE(gotKeys, keys);
    std::set<std::string> compared;
    for (std::size_t i = 0; i < got.size(); ++i) {
        registry::KeyPath path;
        QCOMPARE(registry::parseKeyPath(got[i].c_str(), path), ERROR_SUCCESS);
        QCOMPARE(path.size(), std::size_t{1});
        QVERIFY2(compared.insert(path[0].fold).second, got[i].c_str());
        QCOMPARE(unescapedKeyName(got[i]), given[i]);
    }
}

void tst_LiveNetworkView::keysShowWhatTheNamespaceHolds() {
    if (!m_namespaces)
        QSKIP(qPrintable(m_whyNoNamespaces));
    TestNamespace ns("keys");
    QVERIFY(ns.ok());
    // Fifteen characters, the longest name the kernel takes; dots and dashes.
    const QString longName = "abcdefghijklmno", dotted = "veth.peer-1";
    QVERIFY(ns.ip("link set lo up"));
    QVERIFY(ns.ip("link add " + longName + " type veth peer name " + dotted));
    QVERIFY(ns.ip("addr add 10.20.30.40/24 dev " + longName));
    QVERIFY(ns.ip("addr add 10.20.31.41/16 dev " + longName));
    QVERIFY(ns.ip("addr add 172.16.5.9/20 dev " + dotted + " valid_lft 3600 preferred_lft 3600"));
    QVERIFY(ns.ip("link set " + longName + " up"));
    QVERIFY(ns.ip("link set " + dotted + " up"));
    QVERIFY(ns.ip("link add br-empty type bridge")); // no IPv4 address at all
    QVERIFY(ns.ip("route add default via 10.20.30.1 dev " + longName));
    QVERIFY(ns.ip("route add default via 172.16.0.1 dev " + dotted + " metric 50"));
    QVERIFY(ns.writeResolver("search example.test other.test\nnameserver 192.0.2.53\n"
                             "this is no setting\nnameserver 2001:db8::1\n"));

    QTemporaryDir dir;
    const QString smb = writeSmbConf(dir, "[global]\nwins server = 192.0.2.10 192.0.2.11\n");
    QVERIFY(!smb.isEmpty());

    QStringList adapters;
    const KeyDump keys = parseDump(ns.probe({"--keys", "--smb", smb}), &adapters);
    const auto& params = keys["Tcpip\\Parameters"];
    QCOMPARE(params["Domain"], QString("example.test"));
    QCOMPARE(params["NameServer"], QString("192.0.2.53 2001:db8::1"));
    QCOMPARE(params["HostName"], QSysInfo::machineHostName());

    // Interface-index order: the veth pair's peer end is made first.
    QStringList byIndex;
    const QRegularExpression link(R"(^\d+:\s+([^:@\s]+))");
    for (const QString& line :
         run("ip", {"-n", "ombrix-" + QString::number(getpid()) + "-keys", "-o", "link", "show"})
             .split('\n', Qt::SkipEmptyParts)) {
        const QString name = link.match(line).captured(1);
        if (name != "lo")
            byIndex << name;
    }
    QCOMPARE(adapters, byIndex);
    QCOMPARE(QSet<QString>(adapters.begin(), adapters.end()),
             (QSet<QString>{longName, dotted, "br-empty"}));

    QCOMPARE(
        tcpipValues(keys[longName + "\\Parameters\\Tcpip"]),
        (QStringList{"10.20.30.40|10.20.31.41", "255.255.255.0|255.255.0.0", "10.20.30.1", "0"}));
    QCOMPARE(tcpipValues(keys[dotted + "\\Parameters\\Tcpip"]),
             (QStringList{"172.16.5.9", "255.255.240.0", "172.16.0.1", "1"}));
    QCOMPARE(tcpipValues(keys["br-empty\\Parameters\\Tcpip"]), (QStringList{"", "", "", "0"}));

    for (const QString& name : adapters) {
        QCOMPARE(keys["NetBT\\Adapters\\" + name]["NameServer"], QString("192.0.2.10"));
        QCOMPARE(keys["NetBT\\Adapters\\" + name]["NameServerBackup"], QString("192.0.2.11"));
    }
}

void tst_LiveNetworkView::reportShowsWhatTheNamespaceHolds() {
    if (!m_namespaces)
        QSKIP(qPrintable(m_whyNoNamespaces));
    TestNamespace ns("report");
    QVERIFY(ns.ok());
    QVERIFY(ns.ip("link add lan0 type veth peer name wan-1.0"));
    QVERIFY(ns.ip("addr add 192.0.2.20/24 dev lan0"));
    QVERIFY(ns.ip("addr add 198.51.100.9/25 dev wan-1.0 valid_lft 3600 preferred_lft 3600"));
    QVERIFY(ns.ip("link set lan0 up"));
    QVERIFY(ns.ip("link set wan-1.0 up"));
    QVERIFY(ns.ip("route add default via 192.0.2.1 dev lan0"));
    QVERIFY(
        ns.writeResolver("domain corp.example\nnameserver 192.0.2.53\nnameserver 192.0.2.54\n"));
    QTemporaryDir dir;
    const QString smb = writeSmbConf(dir, "[global]\n  wins server = 192.0.2.10\n");
    QVERIFY(!smb.isEmpty());

    const QStringList lines = ns.probe({"--report", "--smb", smb}).split('\n', Qt::SkipEmptyParts);
    const QString separator(38, '-');
    // The peer end is made first, so it has the lower index.
    const QStringList expected{"Domain: corp.example",
                               "Host Name: " + QSysInfo::machineHostName(),
                               "Name Server(s): 192.0.2.53",
                               "      192.0.2.54",
                               separator,
                               "Adapter Name: wan-1.0",
                               "   Primary WINS Server: 192.0.2.10",
                               "   WINS Server Backup: ",
                               "   Default Gateway(s): ",
                               "   DHCP Enabled: True",
                               "   IP Address: 198.51.100.9",
                               "   Subnet Mask(s): 255.255.255.128",
                               separator,
                               "Adapter Name: lan0",
                               "   Primary WINS Server: 192.0.2.10",
                               "   WINS Server Backup: ",
                               "   Default Gateway(s): 192.0.2.1",
                               "   DHCP Enabled: False",
                               "   IP Address: 192.0.2.20",
                               "   Subnet Mask(s): 255.255.255.0"};
    QCOMPARE(lines, expected);
}

void tst_LiveNetworkView::resolverWithFiftyServersAndGarbage() {
    if (!m_namespaces)
        QSKIP(qPrintable(m_whyNoNamespaces));
    TestNamespace ns("fifty");
    QVERIFY(ns.ok());
    QVERIFY(
        ns.writeResolver(QByteArray::fromStdString(fixture("resolvconf_fifty_and_garbage.txt"))));
    const KeyDump keys = parseDump(ns.probe({"--keys"}));
    // glibc's resolver uses the first three; the view says what it uses.
    QCOMPARE(keys["Tcpip\\Parameters"]["NameServer"], QString("10.0.0.1 10.0.0.2 10.0.0.3"));
    // Only loopback in the namespace: no adapters, yet an existing key.
    QVERIFY(keys.contains("NetBT\\Adapters"));
    QVERIFY(!keys["NetBT\\Adapters"].contains("subkey"));
}

void tst_LiveNetworkView::interfaceVanishingAfterTheListIsRead() {
    if (!m_namespaces)
        QSKIP(qPrintable(m_whyNoNamespaces));
    TestNamespace ns("vanish");
    QVERIFY(ns.ok());
    QVERIFY(ns.ip("link add gone-soon type bridge"));
    QVERIFY(ns.ip("link add stays type bridge"));
    QVERIFY(ns.ip("addr add 192.0.2.7/24 dev stays"));
    // The report names it, with nothing after its labels.
    const QStringList report = ns.probe({"--report", "--after-list", "ip link del gone-soon"})
                                   .split('\n', Qt::SkipEmptyParts);
    const qsizetype at = report.indexOf("Adapter Name: gone-soon");
    QVERIFY(at > 0);
    QCOMPARE(report.mid(at + 1, 6),
             (QStringList{
                 "   Primary WINS Server: ", "   WINS Server Backup: ", "   Default Gateway(s): ",
                 "   DHCP Enabled: ", "   IP Address: ", "   Subnet Mask(s): "}));
    QVERIFY(report.contains("   IP Address: 192.0.2.7"));

    // Again at key level, made anew: it now comes after "stays".
    QVERIFY(ns.ip("link add gone-soon type bridge"));
    QStringList adapters;
    const KeyDump keys =
        parseDump(ns.probe({"--keys", "--after-list", "ip link del gone-soon"}), &adapters);
    QCOMPARE(adapters, (QStringList{"stays", "gone-soon"}));
    QVERIFY(keys["NetBT\\Adapters\\gone-soon"].contains("(absent)"));
    QVERIFY(keys["gone-soon\\Parameters\\Tcpip"].contains("(absent)"));
    QCOMPARE(keys["stays\\Parameters\\Tcpip"]["IPAddress"], QString("192.0.2.7"));
}

void tst_LiveNetworkView::addressChangingAfterTheListIsRead() {
    if (!m_namespaces)
        QSKIP(qPrintable(m_whyNoNamespaces));
    TestNamespace ns("change");
    QVERIFY(ns.ok());
    QVERIFY(ns.ip("link add br0 type bridge"));
    QVERIFY(ns.ip("addr add 192.0.2.7/24 dev br0"));
    // Every open sees the kernel as it is, not as it was at the first open.
    const QStringList report =
        ns.probe({"--report", "--after-list",
                  "ip addr del 192.0.2.7/24 dev br0 && "
                  "ip addr add 203.0.113.8/26 dev br0 valid_lft 600 preferred_lft 600"})
            .split('\n', Qt::SkipEmptyParts);
    QVERIFY(report.contains("   IP Address: 203.0.113.8"));
    QVERIFY(report.contains("   Subnet Mask(s): 255.255.255.192"));
    QVERIFY(report.contains("   DHCP Enabled: True"));
}

void tst_LiveNetworkView::keysAgreeWithIpToolOnThisMachine() {
    const LiveNetworkView view;
    const IpToolView ipTool = ipToolView();

    const auto adapters = view.openKey("NetBT\\Adapters");
    QVERIFY(adapters);
    QVERIFY(!adapters->subkeys.empty() || ipTool.addresses.size() <= 1);
    auto text = [](const RegistryValueData& v) {
        QStringList parts = QString::fromUtf8(reinterpret_cast<const char*>(v.data.data()),
                                              static_cast<int>(v.data.size()))
                                .split(QChar(0), Qt::SkipEmptyParts);
        return parts;
    };
    for (const auto& name : adapters->subkeys) {
        const QString qname = QString::fromStdString(name);
        const auto key = view.openKey(name + "\\Parameters\\Tcpip");
        QVERIFY2(key, qPrintable(qname));
        // Key names are compared without case.
        QVERIFY(view.openKey("NETBT\\ADAPTERS\\" + qname.toUpper().toStdString()));
        QVERIFY(view.openKey(qname.toUpper().toStdString() + "\\parameters\\TCPIP"));
        QMap<QString, QStringList> values;
        std::uint32_t dhcp = 2;
        for (const auto& value : key->values) {
            if (value.type == REG_DWORD)
                std::memcpy(&dhcp, value.data.data(), 4);
            else
                values[QString::fromStdString(value.name)] = text(value);
        }
        QCOMPARE(values["IPAddress"], ipTool.addresses.value(qname));
        QCOMPARE(values["SubnetMask"], ipTool.masks.value(qname));
        QCOMPARE(values["DefaultGateway"], ipTool.gateways.value(qname));
        // Lease files can add DHCP; a finite lifetime always gives it.
        if (ipTool.dynamic.value(qname))
            QCOMPARE(dhcp, 1u);
        QVERIFY(dhcp <= 1);
    }

    // Name servers: the resolver configuration's first three entries, unless
    // it points at systemd-resolved's stub.
    const QStringList configured = configuredNameServers();
    if (configured.contains("127.0.0.53"))
        QSKIP("the resolver points at systemd-resolved: its upstream servers are compared on "
              "fixtures");
    const auto params = view.openKey("Tcpip\\Parameters");
    QVERIFY(params);
    for (const auto& value : params->values)
        if (value.name == "NameServer")
            QCOMPARE(text(value).value(0), configured.join(' '));
}

void tst_LiveNetworkView::reportAgreesWithIpToolOnThisMachine() {
    // The report shows the first address, mask and gateway of each adapter.
    const IpToolView ipTool = ipToolView();
    const auto first = [](const QMap<QString, QStringList>& of, const QString& name) {
        return of.value(name).value(0);
    };

    const QStringList report = run(QString(OMBRIX_BIN_DIR) + "/netcheck_probe", {"--report"})
                                   .split('\n', Qt::SkipEmptyParts);
    QVERIFY(!report.isEmpty());
    int adapters = 0;
    for (qsizetype i = 0; i < report.size(); ++i) {
        if (!report[i].startsWith("Adapter Name: "))
            continue;
        ++adapters;
        const QString name = report[i].mid(14);
        QVERIFY(i + 6 < report.size());
        QCOMPARE(report[i + 3], "   Default Gateway(s): " + first(ipTool.gateways, name));
        QCOMPARE(report[i + 5], "   IP Address: " + first(ipTool.addresses, name));
        QCOMPARE(report[i + 6], "   Subnet Mask(s): " + first(ipTool.masks, name));
    }
    for (const QString& name : ipTool.addresses.keys())
        QVERIFY2(name == "lo" || report.contains("Adapter Name: " + name), qPrintable(name));
    if (adapters == 0)
        QCOMPARE(report, QStringList{"No network adapters found"});

    const QStringList configured = configuredNameServers();
    if (adapters == 0 || configured.contains("127.0.0.53"))
        return;
    QStringList shown;
    for (const QString& line : report) {
        if (line.startsWith("Name Server(s): "))
            shown << line.mid(16);
        else if (!shown.isEmpty() && line.startsWith("      "))
            shown << line.mid(6);
        else if (!shown.isEmpty())
            break;
    }
    QCOMPARE(shown, configured);
}

void tst_LiveNetworkView::dhclientLeaseMakesPermanentAddressLeased() {
    if (!m_namespaces)
        QSKIP(qPrintable(m_whyNoNamespaces));
    TestNamespace ns("dhclient");
    QVERIFY(ns.ok());
    // dhclient's own script adds its address without a lifetime.
    QVERIFY(ns.ip("link add eth0 type bridge"));
    QVERIFY(ns.ip("addr add 192.0.2.20/24 dev eth0"));
    QVERIFY(ns.ip("link add eth1 type bridge"));
    QVERIFY(ns.ip("addr add 192.0.2.99/24 dev eth1"));
    QTemporaryDir dir;
    QVERIFY(QFile::copy(QString(OMBRIX_FIXTURES_DIR) + "/dhclient_two_interfaces.txt",
                        dir.filePath("dhclient.eth0.leases")));
    const KeyDump keys = parseDump(ns.probe({"--keys", "--dhclient", dir.path()}));
    QCOMPARE(keys["eth0\\Parameters\\Tcpip"]["EnableDHCP"], QString("1"));
    QCOMPARE(keys["eth1\\Parameters\\Tcpip"]["EnableDHCP"], QString("0"));
}

void tst_LiveNetworkView::writesToTheViewAreRefused() {
    registry::RegistryLayer layer;
    layer.setStore(HKEY_LOCAL_MACHINE, std::make_shared<registry::MemoryRegistryStore>());
    QVERIFY(layer.mount(HKEY_LOCAL_MACHINE, std::string(LiveNetworkView::kMountPath),
                        std::make_shared<LiveNetworkView>()));
    HKEY key = 0;
    QCOMPARE(layer.RegOpenKeyA(HKEY_LOCAL_MACHINE,
                               "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters", &key),
             ERROR_SUCCESS);
    const unsigned char data[] = "x";
    QCOMPARE(layer.RegSetValueExA(key, "HostName", 0, REG_SZ, data, 2), ERROR_ACCESS_DENIED);
    QCOMPARE(layer.RegDeleteValueA(key, "HostName"), ERROR_ACCESS_DENIED);
    layer.RegCloseKey(key);
    QCOMPARE(layer.RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                                 "SYSTEM\\CurrentControlSet\\Services\\NetBT\\Adapters"),
             ERROR_ACCESS_DENIED);
}

// On this machine as it is: the view's keys and a service of the store's
// share the mount point.
void tst_LiveNetworkView::storeKeysLiveBesideTheView() {
    const auto view = std::make_shared<LiveNetworkView>();
    const std::vector<std::string> served = view->servedKeys();
    for (const std::string& path : served)
        QVERIFY2(view->openKey(path), path.c_str());
    const auto adapters = view->openKey("NetBT\\Adapters");
    QVERIFY(adapters);

    registry::RegistryLayer layer;
    layer.setStore(HKEY_LOCAL_MACHINE, std::make_shared<registry::MemoryRegistryStore>());
    QVERIFY(layer.mount(HKEY_LOCAL_MACHINE, std::string(LiveNetworkView::kMountPath), view));
    const std::string services(LiveNetworkView::kMountPath);
    HKEY key = 0;
    QCOMPARE(layer.RegCreateKeyExA(HKEY_LOCAL_MACHINE, (services + "\\MyService\\Params").c_str(),
                                   0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
             ERROR_SUCCESS);
    const unsigned char data[] = "on";
    QCOMPARE(layer.RegSetValueExA(key, "Mode", 0, REG_SZ, data, sizeof data), ERROR_SUCCESS);
    layer.RegCloseKey(key);

    QCOMPARE(layer.RegOpenKeyExA(HKEY_LOCAL_MACHINE, services.c_str(), 0, KEY_READ, &key),
             ERROR_SUCCESS);
    QStringList names;
    char name[300];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (layer.RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names << QString::fromUtf8(name);
    }
    layer.RegCloseKey(key);
    QStringList expected{"MyService", "NetBT", "Tcpip"};
    for (const std::string& adapter : adapters->subkeys)
        expected << QString::fromStdString(adapter);
    for (const QString& each : expected)
        QVERIFY2(names.contains(each), qPrintable(each + " missing from " + names.join(',')));
    QCOMPARE(names.removeDuplicates(), qsizetype{0});

    QCOMPARE(
        layer.RegOpenKeyA(HKEY_LOCAL_MACHINE, (services + "\\myservice\\params").c_str(), &key),
        ERROR_SUCCESS);
    char text[8] = {};
    DWORD size = sizeof text;
    QCOMPARE(layer.RegQueryValueExA(key, "Mode", nullptr, nullptr,
                                    reinterpret_cast<unsigned char*>(text), &size),
             ERROR_SUCCESS);
    QCOMPARE(QByteArray(text), QByteArray("on"));
    layer.RegCloseKey(key);
    QCOMPARE(layer.RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                                   (services + "\\Tcpip\\Parameters\\Mine").c_str(), 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, &key, nullptr),
             ERROR_ACCESS_DENIED);
    QCOMPARE(layer.RegDeleteKeyA(HKEY_LOCAL_MACHINE, (services + "\\MyService\\Params").c_str()),
             ERROR_SUCCESS);
    QCOMPARE(layer.RegDeleteKeyA(HKEY_LOCAL_MACHINE, (services + "\\MyService").c_str()),
             ERROR_SUCCESS);
    QCOMPARE(layer.RegDeleteKeyA(HKEY_LOCAL_MACHINE, (services + "\\Tcpip").c_str()),
             ERROR_ACCESS_DENIED);
    QCOMPARE(layer.openHandleCount(), std::size_t{0});
}

void tst_LiveNetworkView::keysOutsideTheViewAreNotServed_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("the mount point") << "";
    QTest::newRow("NetBT alone") << "NetBT";
    QTest::newRow("Tcpip alone") << "Tcpip";
    QTest::newRow("loopback adapter") << "NetBT\\Adapters\\lo";
    QTest::newRow("loopback TCP/IP key") << "lo\\Parameters\\Tcpip";
    QTest::newRow("interface that does not exist") << "NetBT\\Adapters\\no-such-if0";
    QTest::newRow("name longer than the kernel allows") << "abcdefghijklmnopq\\Parameters\\Tcpip";
    QTest::newRow("another service") << "Dhcp\\Parameters";
}

void tst_LiveNetworkView::keysOutsideTheViewAreNotServed() {
    QFETCH(QString, path);
    QVERIFY(!LiveNetworkView().openKey(path.toStdString()));
}

QTEST_GUILESS_MAIN(tst_LiveNetworkView)
#include "tst_LiveNetworkView.moc"
