#include "network_report/frmNetCheck.h"
#include "platform/linux/LinuxMachine.h"

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
#include <fcntl.h>
#include <sched.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace ombrix;

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The program as cron or ssh starts it: no display of any kind.
Run runOmbrix(const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(OMBRIX_BIN_DIR "/ombrix"), args);
    process.waitForFinished(60000);
    Run run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

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
    if (geteuid() != 0)
        QSKIP("network namespaces need root; run the tests as root");
    // A namespace of our own for this thread, and the programs it starts.
    const int home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    QVERIFY(home >= 0);
    if (unshare(CLONE_NEWNET) != 0) {
        close(home);
        QSKIP("this machine does not let the test make a network namespace");
    }
    struct GoHome {
        int fd;
        ~GoHome() {
            setns(fd, CLONE_NEWNET);
            close(fd);
        }
    } goHome{home};
    for (const char* command :
         {"link set lo up", "link add lan\"0 type veth peer name wan\\1", "link set lan\"0 up",
          "link set wan\\1 up", "addr add 192.0.2.20/24 dev lan\"0",
          "addr add 198.51.100.9/25 dev wan\\1", "route add default via 192.0.2.1"}) {
        QProcess ip;
        ip.start("ip", QString::fromUtf8(command).split(' '));
        QVERIFY(ip.waitForFinished(10000));
        QVERIFY2(ip.exitCode() == 0, command);
    }

    // The machine's services, made inside the namespace as the program makes them.
    platform::LinuxMachine machine;
    frmNetCheck window(*machine.registry);
    window.Form_Load();
    QTest::mouseClick(window.findChild<QPushButton*>("cmdNetCheck"), Qt::LeftButton);
    const QListWidget* list = window.findChild<QListWidget*>("List1");
    QStringList shown;
    for (int row = 0; row < list->count(); ++row)
        shown << list->item(row)->text();
    QVERIFY(shown.contains("   IP Address: 192.0.2.20"));

    const Run run = runOmbrix({"--report", "--format", "json", "--section", "network"});
    QCOMPARE(run.status, 0);
    const QJsonObject network = QJsonDocument::fromJson(run.out)["network"].toObject();
    QCOMPARE(strings(network["lines"]), shown);
}

void tst_ReportCommand::reportAnswersWhereFilesCannotBeRead_data() {
    QTest::addColumn<QString>("change"); // shell commands inside a mount namespace; $1 a folder
    QTest::addColumn<QString>("section");
    QTest::addColumn<QStringList>("unread"); // summary facts that must be null
    const QString fifoOver = QStringLiteral("mkfifo $1/f && mount --bind $1/f ");
    const QStringList memory{"total_mb", "available_mb"};
    QTest::newRow("/proc an empty tmpfs") << "mount -t tmpfs none /proc"
                                          << "summary" << memory;
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
}

// The real program in a mount namespace where files it reads are missing or
// would wait forever: it answers, the facts it can read stand, and the ones
// it cannot are null and named under "errors".
void tst_ReportCommand::reportAnswersWhereFilesCannotBeRead() {
    QFETCH(QString, change);
    QFETCH(QString, section);
    QFETCH(QStringList, unread);
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
    QVERIFY(process.waitForFinished(60000));
    const QByteArray err = process.readAllStandardError();
    if (process.exitCode() == 97 || err.startsWith("unshare:"))
        QSKIP(qPrintable("this machine does not let the test change its mounts: " + err));

    const QJsonObject report = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    QVERIFY2(report[section].isObject() || report[section].isArray(), err.constData());
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

QTEST_MAIN(tst_ReportCommand)
#include "tst_ReportCommand.moc"
