#include "app/Forms.h"
#include "app/Handler.h"
#include "network_report/NetworkReport.h"
#include "network_report/frmNetCheck.h"
#include "platform/Registry.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "registry/clsRegistryAccess.h"

#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace ombrix;
using namespace ombrix::platform;

namespace {

const QString kServices = "SYSTEM\\CurrentControlSet\\Services\\";
const QString kSeparator = QString(38, '-');

// Passes every call on, and notes the names of the values queried.
class RecordingRegistry final : public Registry {
public:
    explicit RecordingRegistry(Registry& inner) : m(inner) {}
    QStringList queried;

    LONG RegOpenKeyA(HKEY k, const char* s, HKEY* r) override { return m.RegOpenKeyA(k, s, r); }
    LONG RegOpenKeyExA(HKEY k, const char* s, DWORD o, DWORD a, HKEY* r) override {
        return m.RegOpenKeyExA(k, s, o, a, r);
    }
    LONG RegQueryValueExA(HKEY k, const char* n, DWORD* r, DWORD* t, unsigned char* d,
                          DWORD* c) override {
        queried << QString::fromUtf8(n ? n : "");
        return m.RegQueryValueExA(k, n, r, t, d, c);
    }
    LONG RegCreateKeyExA(HKEY k, const char* s, DWORD r, const char* c, DWORD o, DWORD a,
                         const void* sa, HKEY* h, DWORD* d) override {
        return m.RegCreateKeyExA(k, s, r, c, o, a, sa, h, d);
    }
    LONG RegSetValueExA(HKEY k, const char* n, DWORD r, DWORD t, const unsigned char* d,
                        DWORD c) override {
        return m.RegSetValueExA(k, n, r, t, d, c);
    }
    LONG RegDeleteValueA(HKEY k, const char* n) override { return m.RegDeleteValueA(k, n); }
    LONG RegDeleteKeyA(HKEY k, const char* s) override { return m.RegDeleteKeyA(k, s); }
    LONG RegEnumKeyExA(HKEY k, DWORD i, char* n, DWORD* nc, DWORD* r, char* c, DWORD* cc,
                       void* t) override {
        return m.RegEnumKeyExA(k, i, n, nc, r, c, cc, t);
    }
    LONG RegEnumValueA(HKEY k, DWORD i, char* n, DWORD* nc, DWORD* r, DWORD* t, unsigned char* d,
                       DWORD* dc) override {
        return m.RegEnumValueA(k, i, n, nc, r, t, d, dc);
    }
    LONG RegCloseKey(HKEY k) override { return m.RegCloseKey(k); }

private:
    Registry& m;
};

// A machine registry in memory, filled by entries "key|value|type|data"
// below the services key: type SZ, DWORD (decimal), MULTI (';' between
// strings) or KEY (the key alone).
struct TestRegistry {
    TestRegistry() {
        layer.setStore(HKEY_LOCAL_MACHINE, std::make_shared<registry::MemoryRegistryStore>());
    }

    void fill(const QStringList& entries) {
        for (const QString& entry : entries) {
            const QStringList f = entry.split('|');
            HKEY key = 0;
            QVERIFY(layer.RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                                          (kServices + f[0]).toUtf8().constData(), 0, nullptr, 0,
                                          KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS);
            QByteArray data;
            DWORD type = REG_SZ;
            if (f[2] == "DWORD") {
                type = REG_DWORD;
                const quint32 n = f[3].toUInt();
                data = QByteArray(reinterpret_cast<const char*>(&n), 4);
            } else if (f[2] == "MULTI") {
                type = REG_MULTI_SZ;
                for (const QString& s : f[3].split(';'))
                    data += s.toUtf8() + '\0';
                data += '\0';
            } else if (f[2] == "SZ") {
                data = f[3].toUtf8() + '\0';
            }
            if (f[2] != "KEY")
                QVERIFY(
                    layer.RegSetValueExA(key, f[1].toUtf8().constData(), 0, type,
                                         reinterpret_cast<const unsigned char*>(data.constData()),
                                         static_cast<DWORD>(data.size())) == ERROR_SUCCESS);
            layer.RegCloseKey(key);
        }
    }

    registry::RegistryLayer layer;
};

QStringList machineLines(const QStringList& nameServerLines) {
    return QStringList{"Domain: example.test", "Host Name: box"} + nameServerLines +
           QStringList{kSeparator};
}

QStringList machineEntries(const QString& nameServer) {
    return {"Tcpip\\Parameters|Domain|SZ|example.test", "Tcpip\\Parameters|HostName|SZ|box",
            "Tcpip\\Parameters|NameServer|SZ|" + nameServer};
}

QStringList adapterEntries(const QString& name, const QString& dhcpType = "DWORD",
                           const QString& dhcp = "0") {
    const QString tcpip = name + "\\Parameters\\Tcpip|";
    QStringList entries{"NetBT\\Adapters\\" + name + "|NameServer|SZ|192.0.2.10",
                        "NetBT\\Adapters\\" + name + "|NameServerBackup|SZ|",
                        tcpip + "DefaultGateway|MULTI|192.0.2.1",
                        tcpip + "IPAddress|MULTI|192.0.2.20;192.0.2.21",
                        tcpip + "SubnetMask|MULTI|255.255.255.0;255.255.0.0"};
    if (dhcpType != "none")
        entries << tcpip + "EnableDHCP|" + dhcpType + "|" + dhcp;
    return entries;
}

QStringList adapterLines(const QString& name, const QString& dhcp = "False") {
    return {"Adapter Name: " + name,           "   Primary WINS Server: 192.0.2.10",
            "   WINS Server Backup: ",         "   Default Gateway(s): 192.0.2.1",
            "   DHCP Enabled: " + dhcp,        "   IP Address: 192.0.2.20",
            "   Subnet Mask(s): 255.255.255.0"};
}

QStringList listLines(QWidget* window) {
    auto* list = window->findChild<QListWidget*>("List1");
    QStringList lines;
    for (int i = 0; list && i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

void press(QWidget* window, const char* button) {
    auto* b = window->findChild<QPushButton*>(button);
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

// The report as the program registers it, over one adapter.
void addReport(Forms& forms, TestRegistry& registry) {
    registry.fill(machineEntries("a") + adapterEntries("eth0"));
    forms.add<frmNetCheck>([&] {
        auto w = std::make_unique<frmNetCheck>(registry.layer);
        w->Form_Load();
        return w;
    });
}

} // namespace

class tst_frmNetCheck : public QObject {
    Q_OBJECT

private slots:
    void reportLines_data();
    void reportLines();
    void valuesAreReadInReportOrder();
    void reportFactsHoldWhatTheLinesLeaveOut();
    void pressingTwiceShowsOneReport();
    void closingReleasesAccessAndReopeningStartsEmpty();
    void enterBuildsAndEscapeCloses();
};

void tst_frmNetCheck::reportLines_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("lines");
    const QStringList none{"No network adapters found"};

    QTest::newRow("no adapters key, even with machine values")
        << machineEntries("192.0.2.53") << none;
    QTest::newRow("adapters key without subkeys")
        << machineEntries("192.0.2.53") + QStringList{"NetBT\\Adapters||KEY|"} << none;
    QTest::newRow("one adapter: no separator at the end")
        << machineEntries("192.0.2.53 192.0.2.54") + adapterEntries("eth0")
        << machineLines({"Name Server(s): 192.0.2.53", "      192.0.2.54"}) + adapterLines("eth0");
    QTest::newRow("two adapters: two separators in all")
        << machineEntries("192.0.2.53") + adapterEntries("eth0") + adapterEntries("wlp2s0")
        << machineLines({"Name Server(s): 192.0.2.53"}) + adapterLines("eth0") +
               QStringList{kSeparator} + adapterLines("wlp2s0");

    QTest::newRow("adapter name outside ASCII")
        << machineEntries("a") + adapterEntries("Ethernet-Ä.1")
        << machineLines({"Name Server(s): a"}) + adapterLines("Ethernet-Ä.1");

    // The live network view gives names that cannot be key names in an
    // escaped form; the report shows the name itself.
    QTest::newRow("escaped key of a name that is not UTF-8")
        << machineEntries("a") + adapterEntries("%E9t%E9")
        << machineLines({"Name Server(s): a"}) + adapterLines(QStringLiteral("\uFFFDt\uFFFD"));
    QTest::newRow("escaped key of a name with a backslash")
        << machineEntries("a") + adapterEntries("x%5Cy")
        << machineLines({"Name Server(s): a"}) + adapterLines("x\\y");

    const QStringList one = adapterEntries("eth0");
    QTest::newRow("three name servers")
        << machineEntries("a b c") + one
        << machineLines({"Name Server(s): a", "      b", "      c"}) + adapterLines("eth0");
    QTest::newRow("empty name server: separator follows the host name")
        << machineEntries("") + one << machineLines({}) + adapterLines("eth0");
    QTest::newRow("two spaces make an empty entry")
        << machineEntries("a  b") + one
        << machineLines({"Name Server(s): a", "      ", "      b"}) + adapterLines("eth0");
    QTest::newRow("leading space gives an empty first entry")
        << machineEntries(" a") + one
        << machineLines({"Name Server(s): ", "      a"}) + adapterLines("eth0");
    QTest::newRow("trailing space adds nothing")
        << machineEntries("a ") + one << machineLines({"Name Server(s): a"}) + adapterLines("eth0");
    QTest::newRow("missing machine key: empty labels, no name server")
        << one << QStringList{"Domain: ", "Host Name: ", kSeparator} + adapterLines("eth0");

    QTest::newRow("missing TCP/IP key: empty values, DHCP not known")
        << machineEntries("a") + QStringList{"NetBT\\Adapters\\eth0|NameServer|SZ|192.0.2.10"}
        << machineLines({"Name Server(s): a"}) +
               QStringList{"Adapter Name: eth0",      "   Primary WINS Server: 192.0.2.10",
                           "   WINS Server Backup: ", "   Default Gateway(s): ",
                           "   DHCP Enabled: ",       "   IP Address: ",
                           "   Subnet Mask(s): "};

    const auto dhcpRow = [&](const char* row, const QString& type, const QString& data,
                             const QString& shown) {
        QTest::newRow(row) << machineEntries("a") + adapterEntries("eth0", type, data)
                           << machineLines({"Name Server(s): a"}) + adapterLines("eth0", shown);
    };
    dhcpRow("EnableDHCP 1", "DWORD", "1", "True");
    dhcpRow("EnableDHCP 0", "DWORD", "0", "False");
    dhcpRow("EnableDHCP with the top bit only", "DWORD", "2147483648", "True");
    dhcpRow("EnableDHCP missing from the key: nobody knows", "none", "", "");
    dhcpRow("EnableDHCP empty text", "SZ", "", "False");
    dhcpRow("EnableDHCP text that is no number", "SZ", "yes", "False");
    dhcpRow("EnableDHCP decimal text", "SZ", "1", "True");
    dhcpRow("EnableDHCP hexadecimal text", "SZ", "&H10", "True");
    dhcpRow("EnableDHCP zero text", "SZ", "0", "False");
}

void tst_frmNetCheck::reportLines() {
    QFETCH(QStringList, entries);
    QFETCH(QStringList, lines);
    TestRegistry registry;
    registry.fill(entries);
    frmNetCheck window(registry.layer);
    window.Form_Load();
    press(&window, "cmdNetCheck");
    QCOMPARE(listLines(&window), lines);
    QCOMPARE(registry.layer.openHandleCount(), std::size_t{0});
}

void tst_frmNetCheck::valuesAreReadInReportOrder() {
    TestRegistry store;
    store.fill(machineEntries("a") + adapterEntries("eth0"));
    RecordingRegistry registry(store.layer);
    clsRegistryAccess access(registry);
    BuildNetworkReport(access);
    QCOMPARE(registry.queried,
             (QStringList{"Domain", "HostName", "NameServer", "NameServer", "NameServerBackup",
                          "DefaultGateway", "EnableDHCP", "IPAddress", "SubnetMask"}));

    // Without adapters nothing else is read.
    TestRegistry empty;
    empty.fill(machineEntries("a"));
    RecordingRegistry emptyRegistry(empty.layer);
    clsRegistryAccess emptyAccess(emptyRegistry);
    BuildNetworkReport(emptyAccess);
    QVERIFY(emptyRegistry.queried.isEmpty());
}

// The report's facts beside its lines: the machine's names where the list
// shows no adapter, and every address of a value whose first the line shows.
void tst_frmNetCheck::reportFactsHoldWhatTheLinesLeaveOut() {
    TestRegistry empty;
    empty.fill(machineEntries("192.0.2.53  192.0.2.54"));
    const NetworkConfiguration none = ReadNetworkConfiguration(clsRegistryAccess(empty.layer));
    QCOMPARE(none.lines, QStringList{"No network adapters found"});
    QCOMPARE(none.hostName, QString("box"));
    QCOMPARE(none.nameServers, (QStringList{"192.0.2.53", "192.0.2.54"}));

    TestRegistry one;
    one.fill(machineEntries("a") + adapterEntries("eth0"));
    const NetworkConfiguration config = ReadNetworkConfiguration(clsRegistryAccess(one.layer));
    QCOMPARE(config.lines, machineLines({"Name Server(s): a"}) + adapterLines("eth0"));
    QCOMPARE(config.adapters.at(0).ipAddresses, (QStringList{"192.0.2.20", "192.0.2.21"}));
    QCOMPARE(config.adapters.at(0).subnetMasks, (QStringList{"255.255.255.0", "255.255.0.0"}));
    QCOMPARE(config.adapters.at(0).gateways, QStringList{"192.0.2.1"});
}

void tst_frmNetCheck::pressingTwiceShowsOneReport() {
    TestRegistry registry;
    registry.fill(machineEntries("a b") + adapterEntries("eth0"));
    frmNetCheck window(registry.layer);
    window.Form_Load();
    press(&window, "cmdNetCheck");
    const QStringList first = listLines(&window);
    press(&window, "cmdNetCheck");
    QCOMPARE(listLines(&window), first);

    // A change between presses shows in the next report only.
    registry.fill({"eth0\\Parameters\\Tcpip|EnableDHCP|DWORD|1"});
    QCOMPARE(listLines(&window), first);
    press(&window, "cmdNetCheck");
    QVERIFY(listLines(&window).contains("   DHCP Enabled: True"));
}

void tst_frmNetCheck::closingReleasesAccessAndReopeningStartsEmpty() {
    TestRegistry registry;
    Forms forms;
    addReport(forms, registry);
    QSignalSpy unloaded(&forms, &Forms::unloaded);

    auto* window = forms.get<frmNetCheck>();
    QVERIFY(window && window->holdsRegistryAccess());
    forms.show<frmNetCheck>();
    QVERIFY(listLines(window).isEmpty());
    press(window, "cmdNetCheck");
    QVERIFY(!listLines(window).isEmpty());

    // "Close" unloads: the access object goes with the window.
    QPointer<frmNetCheck> old = window;
    press(window, "cmdClose");
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(!forms.isLoaded<frmNetCheck>());
    QVERIFY(!old || !old->holdsRegistryAccess());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!old);

    auto* again = static_cast<frmNetCheck*>(forms.show<frmNetCheck>());
    QVERIFY(again->holdsRegistryAccess());
    QVERIFY(listLines(again).isEmpty());
    // The close box unloads the same way.
    again->close();
    QCOMPARE(unloaded.count(), 2);
}

void tst_frmNetCheck::enterBuildsAndEscapeCloses() {
    TestRegistry registry;
    Forms forms;
    addReport(forms, registry);
    QWidget* window = forms.show<frmNetCheck>();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(QApplication::focusWidget(), window->findChild<QPushButton*>("cmdNetCheck"));

    // Enter presses the default button even while the list has the focus.
    window->findChild<QListWidget*>("List1")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(listLines(window).size(), 11);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!forms.isLoaded<frmNetCheck>());
}

QTEST_MAIN(tst_frmNetCheck)
#include "tst_frmNetCheck.moc"
