#include "OmbrixRun.h"
#include "app/VisibleText.h"
#include "network_report/frmNetCheck.h"
#include "platform/EscapedKeyName.h"
#include "platform/Registry.h"
#include "platform/linux/LinuxMachine.h"
#include "platform/linux/network/LiveNetworkView.h"
#include "platform/registry/RegistryNames.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace ombrix;

namespace {

using Run = OmbrixRun;

QString tool(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    process.waitForFinished(20000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A field of "Name: value" lines, as lscpu writes them.
QString field(const QString& text, const QString& name) {
    const QRegularExpression line("^" + QRegularExpression::escape(name) + ":\\s*(.*)$",
                                  QRegularExpression::MultilineOption);
    return line.match(text).captured(1).trimmed();
}

// The main window's figure of a /proc/meminfo line.
qint64 meminfoFigure(const char* key) {
    QFile file("/proc/meminfo");
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QString text = QString::fromLatin1(file.readAll());
    const QString kb = field(text, key).section(' ', 0, 0);
    return kb.isEmpty() ? -1 : std::llround(kb.toDouble() * 1024 / 1043321.0);
}

QStringList strings(const QJsonValue& array) {
    QStringList list;
    for (const QJsonValue& v : array.toArray())
        list << v.toString();
    return list;
}

// A network namespace of this thread's own, and of the programs it starts,
// for as long as it lives; ok() false (and the reason in why) where the
// machine does not allow one.
class OwnNetworkNamespace {
public:
    OwnNetworkNamespace() {
        if (geteuid() != 0) {
            why = "network namespaces need root; run the tests as root";
            return;
        }
        m_home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (m_home >= 0 && unshare(CLONE_NEWNET) == 0)
            return;
        why = "this machine does not let the test make a network namespace";
    }
    ~OwnNetworkNamespace() {
        if (m_home >= 0) {
            setns(m_home, CLONE_NEWNET);
            close(m_home);
        }
    }
    bool ok() const { return why.isEmpty(); }
    QString why;

private:
    int m_home = -1;
};

bool ip(const QString& command) {
    QProcess process;
    process.start("ip", command.split(' '));
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Gives a link a name of any bytes ("ip" takes its arguments as text), and
// brings it up.
bool renameAndRaise(const QByteArray& from, const QByteArray& to) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || from.size() >= IFNAMSIZ || to.size() >= IFNAMSIZ)
        return false;
    ifreq request{};
    std::memcpy(request.ifr_name, from.constData(), static_cast<std::size_t>(from.size()));
    std::memcpy(request.ifr_newname, to.constData(), static_cast<std::size_t>(to.size()));
    bool done = ioctl(fd, SIOCSIFNAME, &request) == 0;
    ifreq flags{};
    std::memcpy(flags.ifr_name, to.constData(), static_cast<std::size_t>(to.size()));
    done = done && ioctl(fd, SIOCGIFFLAGS, &flags) == 0;
    flags.ifr_flags = static_cast<short>(flags.ifr_flags | IFF_UP);
    done = done && ioctl(fd, SIOCSIFFLAGS, &flags) == 0;
    close(fd);
    return done;
}

QStringList windowLines(platform::Registry& registry) {
    frmNetCheck window(registry);
    window.Form_Load();
    QTest::mouseClick(window.findChild<QPushButton*>("cmdNetCheck"), Qt::LeftButton);
    const QListWidget* list = window.findChild<QListWidget*>("List1");
    QStringList shown;
    for (int row = 0; row < list->count(); ++row)
        shown << list->item(row)->text();
    return shown;
}

} // namespace

class tst_ReportCommand : public QObject {
    Q_OBJECT

private slots:
    void factsEqualWhatTheMachineSays();
    void badUsageGivesOneLineAndStatusTwo_data();
    void badUsageGivesOneLineAndStatusTwo();
    void networkLinesEqualTheWindowsList();
    void reportAnswersWhereFilesCannotBeRead_data();
    void reportAnswersWhereFilesCannotBeRead();
    void oddInterfaceNamesKeepTheirAdapters_data();
    void oddInterfaceNamesKeepTheirAdapters();
};

void tst_ReportCommand::factsEqualWhatTheMachineSays() {
    const qint64 availableBefore = meminfoFigure("MemAvailable");
    struct statvfs before {};
    QCOMPARE(statvfs("/", &before), 0);
    const Run run = runOmbrix({"--report", "--format", "json"});
    struct statvfs after {};
    QCOMPARE(statvfs("/", &after), 0);
    const qint64 availableAfter = meminfoFigure("MemAvailable");

    QJsonParseError error;
    const QJsonObject report = QJsonDocument::fromJson(run.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    // A section may fail on some machine, but then it says so, and the status too.
    QCOMPARE(run.status, report.contains("errors") ? 1 : 0);
    const QJsonObject summary = report["summary"].toObject();
    QVERIFY2(!summary.isEmpty(), run.err.constData());

    QCOMPARE(summary["computer_name"].toString(), tool("hostname", {}));
    // The source address the kernel picks for an outside destination; nothing is sent.
    const QString route = tool("ip", {"-4", "route", "get", "1.1.1.1"});
    const QString source = QRegularExpression("\\bsrc (\\S+)").match(route).captured(1);
    if (!source.isEmpty())
        QCOMPARE(summary["ip_address"].toString(), source);
    QCOMPARE(summary["total_mb"].toInteger(), meminfoFigure("MemTotal"));
    if (availableBefore >= 0) {
        // Memory in use moves while the program runs; 1 % either way.
        const qint64 available = summary["available_mb"].toInteger();
        QVERIFY(available >= std::min(availableBefore, availableAfter) * 99 / 100);
        QVERIFY(available <= std::max(availableBefore, availableAfter) * 101 / 100);
    }
    const QString lscpu = tool("lscpu", {});
    if (!field(lscpu, "Model name").isEmpty())
        QCOMPARE(summary["processor"].toString(), field(lscpu, "Model name"));
    if (!field(lscpu, "Vendor ID").isEmpty())
        QCOMPARE(summary["vendor"].toString(), field(lscpu, "Vendor ID"));
    QVERIFY(summary["speed_mhz"].toDouble() > 0);
    QVERIFY(summary["fdd_present"].isBool());

    QJsonObject driveC;
    for (const QJsonValue& drive : report["drives"].toArray()) {
        if (drive["letter"] == "C")
            driveC = drive.toObject();
    }
    QCOMPARE(driveC["mount_point"].toString(), QString("/"));
    QCOMPARE(driveC["total_bytes"].toInteger(), qint64(before.f_blocks * before.f_frsize));
    const qint64 freeBefore = qint64(before.f_bavail * before.f_frsize);
    const qint64 freeAfter = qint64(after.f_bavail * after.f_frsize);
    // Others write to the disk meanwhile; 64 MiB either way.
    QVERIFY(driveC["free_bytes"].toInteger() >= std::min(freeBefore, freeAfter) - (64 << 20));
    QVERIFY(driveC["free_bytes"].toInteger() <= std::max(freeBefore, freeAfter) + (64 << 20));
    QCOMPARE(strings(driveC["lines"]).value(0), QString("Unit C: - Hard Disk"));
}

void tst_ReportCommand::badUsageGivesOneLineAndStatusTwo_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown format") << QStringList{"--report", "--format", "xml"};
    QTest::newRow("unknown section") << QStringList{"--report", "--section", "disks"};
    QTest::newRow("format without --report") << QStringList{"--format", "json"};
    QTest::newRow("unknown option") << QStringList{"--report", "--colour"};
    QTest::newRow("an argument") << QStringList{"--report", "summary"};
    QTest::newRow("format without its value") << QStringList{"--report", "--format"};
    QTest::newRow("a computer without a name") << QStringList{"--report", "--computer", ""};
}

void tst_ReportCommand::badUsageGivesOneLineAndStatusTwo() {
    QFETCH(QStringList, args);
    const Run run = runOmbrix(args);
    QCOMPARE(run.status, 2);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY(run.err.startsWith("ombrix: "));
}

void tst_ReportCommand::networkLinesEqualTheWindowsList() {
    const OwnNetworkNamespace ns;
    if (!ns.ok())
        QSKIP(qPrintable(ns.why));
    for (const char* command :
         {"link set lo up", "link add lan\"0 type veth peer name wan\\1", "link set lan\"0 up",
          "link set wan\\1 up", "addr add 192.0.2.20/24 dev lan\"0",
          "addr add 192.0.2.21/24 dev lan\"0", "addr add 198.51.100.9/25 dev wan\\1",
          "route add default via 192.0.2.1"})
        QVERIFY2(ip(QString::fromUtf8(command)), command);

    // The machine's services, made inside the namespace as the program makes them.
    platform::LinuxMachine machine;
    const QStringList shown = windowLines(*machine.registry);
    QVERIFY(shown.contains("   IP Address: 192.0.2.20"));

    const Run run = runOmbrix({"--report", "--format", "json", "--section", "network"});
    QCOMPARE(run.status, 0);
    const QJsonObject network = QJsonDocument::fromJson(run.out)["network"].toObject();
    QCOMPARE(strings(network["lines"]), shown);
    // The adapter's addresses, every one, as the machine lists them.
    const QStringList listed =
        tool("ip", {"-4", "-o", "addr", "show", "dev", "lan\"0"})
            .split('\n', Qt::SkipEmptyParts)
            .replaceInStrings(QRegularExpression(".* inet ([^/]+)/.*"), "\\1");
    QCOMPARE(listed.size(), 2);
    const QJsonArray adapters = network["adapters"].toArray();
    const auto lan = std::find_if(adapters.begin(), adapters.end(),
                                  [](const QJsonValue& a) { return a["name"] == "lan\"0"; });
    QVERIFY(lan != adapters.end());
    QCOMPARE(strings((*lan).toObject().value("ip_addresses")), listed);
}

void tst_ReportCommand::reportAnswersWhereFilesCannotBeRead_data() {
    QTest::addColumn<QString>("change"); // shell commands inside a mount namespace; $1 a folder
    QTest::addColumn<QString>("section");
    QTest::addColumn<QStringList>("unread"); // summary facts that must be null
    const QString fifoOver = QStringLiteral("mkfifo $1/f && mount --bind $1/f ");
    // A FIFO at the path: bound over the file where there is one, else made
    // in a layer over the nearest folder there is, so the machine keeps its own.
    const auto fifoAt = [](const char* path) {
        return QStringLiteral(
                   "fifo_at() { if [ -e \"$2\" ]; then mount --bind \"$1/f\" \"$2\"; else "
                   "p=$(dirname \"$2\"); while [ ! -d \"$p\" ]; do p=$(dirname \"$p\"); done; "
                   "o=\"$1/layer$(echo \"$p\" | tr / _)\"; mkdir -p \"$o/up\" \"$o/work\" && "
                   "mount -t overlay ombrix -o \"lowerdir=$p,upperdir=$o/up,workdir=$o/work\" "
                   "\"$p\" && mkdir -p \"$(dirname \"$2\")\" && mkfifo \"$2\"; fi; }; "
                   "mkfifo $1/f && fifo_at $1 ") +
               QLatin1String(path);
    };
    const QStringList memory{"total_mb", "available_mb"};
    QTest::newRow("/proc an empty tmpfs") << "mount -t tmpfs none /proc"
                                          << "summary" << memory;
    // The program finds its own modules without /proc.
    QTest::newRow("/proc an empty tmpfs, the network") << "mount -t tmpfs none /proc"
                                                       << "network" << QStringList();
    QTest::newRow("/proc an empty tmpfs, the printers") << "mount -t tmpfs none /proc"
                                                        << "printers" << QStringList();
    QTest::newRow("a FIFO in place of os-release")
        << fifoOver + "/etc/os-release && "
                      "{ ! test -e /usr/lib/os-release || mount --bind $1/f /usr/lib/os-release; }"
        << "summary" << QStringList();
    QTest::newRow("a FIFO in place of /proc/meminfo") << fifoOver + "/proc/meminfo"
                                                      << "summary" << memory;
    QTest::newRow("a FIFO in place of /proc/cpuinfo") << fifoOver + "/proc/cpuinfo"
                                                      << "summary" << QStringList();
    QTest::newRow("a FIFO in place of resolv.conf") << fifoOver + "/etc/resolv.conf"
                                                    << "network" << QStringList();
    QTest::newRow("a FIFO in place of host.conf")
        << fifoAt("/etc/host.conf") << "network" << QStringList();
    QTest::newRow("a FIFO in place of the user's CUPS client.conf")
        << "mkdir -p $1/home/.cups && mkfifo $1/home/.cups/client.conf && export HOME=$1/home"
        << "printers" << QStringList();
    QTest::newRow("a FIFO in place of the system's CUPS client.conf")
        << fifoAt("/etc/cups/client.conf") << "printers" << QStringList();
    QTest::newRow("a FIFO in place of blkid.conf")
        << fifoAt("/etc/blkid.conf") << "drives" << QStringList();
    QTest::newRow("a FIFO in place of libblkid's cache")
        << fifoAt("/run/blkid/blkid.tab") << "drives" << QStringList();
}

// The real program in a mount namespace where files it or its libraries read
// are missing or would wait forever: it answers in a few seconds, the facts
// it can read stand, and the ones it cannot are null and named under
// "errors".
void tst_ReportCommand::reportAnswersWhereFilesCannotBeRead() {
    QFETCH(QString, change);
    QFETCH(QString, section);
    QFETCH(QStringList, unread);
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's runtime reads /proc for the bounds of the stack; without
    // it, it reports errors of its own.
    if (QByteArray(QTest::currentDataTag()).startsWith("/proc an empty tmpfs"))
        QSKIP("AddressSanitizer needs /proc for itself");
#endif
    QTemporaryDir dir;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    process.setProcessEnvironment(env);
    // A user other than root maps itself to root in a user namespace of its own.
    const QStringList unshare = geteuid() == 0 ? QStringList{"-m"} : QStringList{"-r", "-m"};
    process.start("unshare",
                  unshare + QStringList{"sh", "-c", change + " || exit 97; shift; exec \"$@\"",
                                        "sh", dir.path(), OMBRIX_BIN_DIR "/ombrix", "--report",
                                        "--format", "json", "--section", section});
    // A file that would wait costs a question's bound (a few seconds), never more.
    QVERIFY2(process.waitForFinished(20000), "the report did not end within 20 s");
    const QByteArray err = process.readAllStandardError();
    if (process.exitCode() == 97 || err.startsWith("unshare:"))
        QSKIP(qPrintable("this machine does not let the test change its mounts: " + err));

    const QJsonObject report = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    const QJsonObject errors = report["errors"].toObject();
    if (change.contains("client.conf")) {
        // A print service whose settings would not open could not be read:
        // no list rather than an empty one, and named as such.
        QVERIFY2(report["printers"].isNull(), err.constData());
        QCOMPARE(report["print_service_reachable"], QJsonValue(false));
        QVERIFY(errors["printers"].isString());
    } else {
        QVERIFY2(report[section].isObject() || report[section].isArray(), err.constData());
    }
    if (section == "drives") {
        // The sizes stand; a serial number that could not be read is named.
        for (const QJsonValue& drive : report["drives"].toArray()) {
            const QString letter = drive["letter"].toString();
            if (letter == "C")
                QVERIFY(drive["total_bytes"].isDouble());
            if (drive["total_bytes"].isDouble() && drive["serial"].isNull())
                QVERIFY2(errors["drives"].toString().contains(letter + ":"), qPrintable(letter));
        }
    }
    if (section == "summary") {
        const QJsonObject summary = report["summary"].toObject();
        QCOMPARE(summary["computer_name"].toString(), tool("hostname", {}));
        QVERIFY(!summary["os_platform"].toString().isEmpty());
        for (const QString& key : unread)
            QVERIFY2(summary[key].isNull(), qPrintable(key));
        if (!unread.isEmpty())
            QVERIFY(report["errors"]["summary"].isString());
    }
    // Whatever else this machine cannot tell is named too, and the status says so.
    QCOMPARE(process.exitCode(), report.contains("errors") ? 1 : 0);
}

void tst_ReportCommand::oddInterfaceNamesKeepTheirAdapters_data() {
    QTest::addColumn<QByteArrayList>("names"); // in the order they are made
    QTest::addColumn<QStringList>("shown");    // as the window and the report show them
    QTest::newRow("two names that are not UTF-8, the second with the default route")
        << QByteArrayList{"\xc3\x28", "\xe9t\xe9"}
        << QStringList{QStringLiteral("\uFFFD("), QStringLiteral("\uFFFDt\uFFFD")};
    QTest::newRow("a backslash") << QByteArrayList{"x\\y"} << QStringList{"x\\y"};
    QTest::newRow("a backslash and a byte that is not UTF-8")
        << QByteArrayList{"b\\\xff", "\xff"}
        << QStringList{QStringLiteral("b\\\uFFFD"), QStringLiteral("\uFFFD")};
    QTest::newRow("plain and UTF-8 names")
        << QByteArrayList{"eth-plain", "wl\xc3\xa4n0"} << QStringList{"eth-plain", "wlän0"};
    QTest::newRow("names that differ in case only")
        << QByteArrayList{"lan0", "LAN0"} << QStringList{"lan0", "LAN0"};
    QTest::newRow("a control character") << QByteArrayList{"c\x01"
                                                           "d"}
                                         << QStringList{QStringLiteral("c\x01"
                                                                       "d")};
}

// Every interface is one adapter with its own facts, whatever bytes its name
// holds: in the live network view, the window, and the report as text and
// as JSON.
void tst_ReportCommand::oddInterfaceNamesKeepTheirAdapters() {
    QFETCH(QByteArrayList, names);
    QFETCH(QStringList, shown);
    const OwnNetworkNamespace ns;
    if (!ns.ok())
        QSKIP(qPrintable(ns.why));
    // Interface i holds 10.8.i.1/24; the last one the default route.
    QStringList addresses;
    for (int i = 0; i < names.size(); ++i) {
        const QString made = QStringLiteral("made%1").arg(i);
        addresses << QStringLiteral("10.8.%1.1").arg(i);
        QVERIFY(ip("link add " + made + " type bridge"));
        QVERIFY(ip("addr add " + addresses[i] + "/24 dev " + made));
        QVERIFY2(renameAndRaise(made.toUtf8(), names[i]), strerror(errno));
    }
    const QString gateway = QStringLiteral("10.8.%1.254").arg(names.size() - 1);
    QVERIFY(ip("route add default via " + gateway));

    // The view: one key level each, that reads back as the interface's name.
    const platform::LiveNetworkView view;
    const auto adapters = view.openKey("NetBT\\Adapters");
    QVERIFY(adapters);
    QCOMPARE(adapters->subkeys.size(), std::size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const std::string& key = adapters->subkeys[std::size_t(i)];
        platform::registry::KeyPath path;
        QCOMPARE(platform::registry::parseKeyPath(key.c_str(), path), platform::ERROR_SUCCESS);
        QCOMPARE(path.size(), std::size_t{1});
        QCOMPARE(QByteArray::fromStdString(platform::unescapedKeyName(key)), names[i]);
        QVERIFY(view.openKey(key + "\\Parameters\\Tcpip"));
    }

    // The window: each adapter once, with its address, and the gateway on
    // the last.
    platform::LinuxMachine machine;
    const QStringList lines = windowLines(*machine.registry);
    QCOMPARE(lines.filter(QRegularExpression("^Adapter Name: ")).size(), names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        const qsizetype at = lines.indexOf("Adapter Name: " + shown[i]);
        QVERIFY2(at >= 0, qPrintable(shown[i]));
        QCOMPARE(lines.value(at + 3),
                 "   Default Gateway(s): " + (i + 1 == names.size() ? gateway : QString()));
        QCOMPARE(lines.value(at + 5), "   IP Address: " + addresses[i]);
    }

    // The text report: the window's lines, control characters made visible.
    const Run text = runOmbrix({"--report", "--section", "network"});
    QCOMPARE(text.status, 0);
    QStringList expected{"== Network =="};
    for (const QString& line : lines)
        expected << VisibleText(line);
    QCOMPARE(QString::fromUtf8(text.out).split('\n', Qt::SkipEmptyParts), expected);

    const Run json = runOmbrix({"--report", "--format", "json", "--section", "network"});
    QCOMPARE(json.status, 0);
    const QJsonObject network = QJsonDocument::fromJson(json.out)["network"].toObject();
    QCOMPARE(strings(network["lines"]), lines);
    const QJsonArray listed = network["adapters"].toArray();
    QCOMPARE(listed.size(), names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        QCOMPARE(listed[i]["name"].toString(), shown[i]);
        QCOMPARE(strings(listed[i]["ip_addresses"]), QStringList{addresses[i]});
        QCOMPARE(strings(listed[i]["gateways"]),
                 i + 1 == names.size() ? QStringList{gateway} : QStringList());
    }
}

QTEST_MAIN(tst_ReportCommand)
#include "tst_ReportCommand.moc"
