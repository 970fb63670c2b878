#include "drive_details/DriveReport.h"
#include "network_report/NetworkReport.h"
#include "platform/Registry.h"
#include "platform/linux/LinuxFloppyDrive.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/OsRelease.h"
#include "platform/linux/drives/LinuxFileSystem.h"
#include "platform/linux/modules/LazyPrinters.h"
#include "platform/linux/network/LiveNetworkView.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "pmda/FactSnapshot.h"
#include "registry/clsRegistryAccess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <future>
#include <mutex>

using namespace ombrix;

namespace {

const QStringList kNames = {"ombrix.agent.version",
                            "ombrix.os.name",
                            "ombrix.os.version",
                            "ombrix.os.build",
                            "ombrix.hw.fdd_present",
                            "ombrix.net.primary_address",
                            "ombrix.net.dns.domain",
                            "ombrix.net.dns.servers",
                            "ombrix.net.ipv4.adapter",
                            "ombrix.net.ipv4.address",
                            "ombrix.net.ipv4.prefix",
                            "ombrix.net.adapter.name",
                            "ombrix.net.route.gateways",
                            "ombrix.net.dhcp.enabled",
                            "ombrix.net.wins.primary",
                            "ombrix.net.wins.backup",
                            "ombrix.volume.letter",
                            "ombrix.volume.mount_point",
                            "ombrix.volume.type",
                            "ombrix.volume.serial",
                            "ombrix.volume.total_bytes",
                            "ombrix.volume.free_bytes",
                            "ombrix.printer.service_reachable",
                            "ombrix.printer.queue",
                            "ombrix.printer.state",
                            "ombrix.printer.default",
                            "ombrix.printer.location",
                            "ombrix.printer.make_and_model"};
// Free space moves while the machine runs: it counts when it lies between
// what the readers say just before and just after the agent is asked.
const QString kMoving = QStringLiteral("ombrix.volume.free_bytes");

// What the agent answers, read through dbpmda, PCP's agent debugger, which
// starts it as pmcd does: per metric name its values in instance order
// (joined by "|"), and its one-line help.
struct AgentAnswers {
    QString why; // empty when it answered
    QMap<QString, QString> values;
    QMap<QString, QString> help;
};

// The values of the metrics of one fetch's answer.
QMap<QString, QString> fetchedValues(const QString& answer) {
    static const QRegularExpression metric(QStringLiteral(R"(\((ombrix\.[\w.]+)\): )"));
    static const QRegularExpression value(QStringLiteral(R"(value ("[^\n]*"|\S+))"));
    QMap<QString, QString> values;
    QString name;
    QStringList found;
    const QStringList lines = answer.split('\n');
    for (const QString& line : lines) {
        if (const auto match = metric.match(line); match.hasMatch()) {
            if (!name.isEmpty())
                values[name] = found.join('|');
            name = match.captured(1);
            found.clear();
        } else if (const auto match = value.match(line); match.hasMatch() && !name.isEmpty()) {
            QString shown = match.captured(1);
            if (shown.startsWith('"'))
                shown = shown.mid(1, shown.size() - 2);
            found << shown;
        }
    }
    if (!name.isEmpty())
        values[name] = found.join('|');
    return values;
}

// dir: for the agent's names and log, kept from one question to the next
// (its files take space on a volume).
AgentAnswers askAgent(const QTemporaryDir& dir) {
    AgentAnswers answers;
    const QString agent = QStringLiteral(OMBRIX_BIN_DIR "/pmdaombrix");
    // Its names, under a root of their own.
    QProcess pmns;
    pmns.start(agent, {"--pmns"});
    QFile root(dir.filePath("pmns"));
    if (!pmns.waitForFinished(20000) || pmns.exitCode() != 0 || !root.open(QIODevice::WriteOnly) ||
        root.write("root {\n    ombrix\n}\n" + pmns.readAllStandardOutput()) < 0) {
        answers.why = "the agent does not print its names";
        return answers;
    }
    root.close();
    QProcess dbpmda;
    dbpmda.setProcessChannelMode(QProcess::MergedChannels);
    dbpmda.start("dbpmda", {"-n", dir.filePath("pmns")});
    if (!dbpmda.waitForStarted(20000)) {
        answers.why = "dbpmda (from pcp) does not start";
        return answers;
    }
    dbpmda.write(
        QStringLiteral("open pipe %1 -l %2\n").arg(agent, dir.filePath("agent.log")).toUtf8());
    for (const QString& name : kNames)
        dbpmda.write(QStringLiteral("text %1\n").arg(name).toUtf8());
    // The first reading comes in on the agent's own thread: ask until the
    // answer has values. One answer comes from one reading.
    QByteArray output;
    const QByteArray last = "(" + kNames.last().toUtf8() + ")";
    const QDeadlineTimer deadline(60000);
    while (!answers.values.value(kNames.first()).size() && !deadline.hasExpired()) {
        dbpmda.write("fetch " + kNames.join(' ').toUtf8() + "\n");
        // An answer ends with its last metric's line, and its values'.
        const qsizetype asked = output.count(last);
        const auto answered = [&] {
            if (output.count(last) == asked || !output.endsWith('\n'))
                return false;
            return output.mid(output.lastIndexOf(last)).contains("No values") ||
                   output.mid(output.lastIndexOf(last)).count('\n') >= 2;
        };
        while (!answered() && !deadline.hasExpired())
            if (dbpmda.waitForReadyRead(1000))
                output += dbpmda.readAll();
        const QString text = QString::fromUtf8(output);
        answers.values = fetchedValues(text.mid(text.lastIndexOf(QStringLiteral("PMID(s):"))));
    }
    static const QRegularExpression help(QStringLiteral(R"(PMID: \S+\n\[([^\n]*)\])"));
    qsizetype textAt = 0;
    for (auto match = help.globalMatch(QString::fromUtf8(output)); match.hasNext();)
        if (textAt < kNames.size())
            answers.help[kNames[textAt++]] = match.next().captured(1);
    dbpmda.write("quit\n");
    dbpmda.closeWriteChannel();
    if (!dbpmda.waitForFinished(20000))
        dbpmda.kill();
    if (answers.values.value(kNames.first()).isEmpty())
        answers.why = "the agent gave no values: " + QString::fromUtf8(output.right(2000));
    return answers;
}

unsigned prefixLength(const QString& mask) {
    in_addr address{};
    if (::inet_pton(AF_INET, mask.toLatin1().constData(), &address) != 1)
        return 0;
    return unsigned(std::popcount(ntohl(address.s_addr)));
}

// What this computer's windows show, read by the program's own readers:
// the summary's, and the network report's through the live network view.
QMap<QString, QString> readersSay() {
    QMap<QString, QString> say;
    const platform::LinuxSystemInfo system;
    platform::LinuxFloppyDrive floppy;
    say["ombrix.agent.version"] = QStringLiteral(OMBRIX_VERSION);
    say["ombrix.os.name"] = platform::readOsRelease().prettyName;
    say["ombrix.os.version"] = system.osVersion();
    say["ombrix.os.build"] = QString::number(system.osBuild());
    say["ombrix.hw.fdd_present"] = QString::number(int(floppy.selectDriveA()));
    say["ombrix.net.primary_address"] = platform::LinuxHostInfo().ipAddress();
    platform::registry::RegistryLayer layer;
    layer.setStore(platform::HKEY_LOCAL_MACHINE,
                   std::make_shared<platform::registry::MemoryRegistryStore>());
    layer.mount(platform::HKEY_LOCAL_MACHINE, std::string(platform::LiveNetworkView::kMountPath),
                std::make_shared<platform::LiveNetworkView>());
    const NetworkConfiguration network = ReadNetworkConfiguration(clsRegistryAccess(layer));
    say["ombrix.net.dns.domain"] = network.domain;
    say["ombrix.net.dns.servers"] = network.nameServers.join(' ');
    QStringList adapterOf, addresses, prefixes, names, gateways, dhcp, primary, backup;
    for (const AdapterConfiguration& adapter : network.adapters) {
        for (qsizetype i = 0; i < adapter.ipAddresses.size(); ++i) {
            adapterOf << adapter.name;
            addresses << adapter.ipAddresses[i];
            prefixes << QString::number(prefixLength(adapter.subnetMasks.value(i)));
        }
        names << adapter.name;
        gateways << adapter.gateways.join(' ');
        dhcp << QString::number(int(adapter.dhcp));
        primary << adapter.primaryWins;
        backup << adapter.backupWins;
    }
    say["ombrix.net.ipv4.adapter"] = adapterOf.join('|');
    say["ombrix.net.ipv4.address"] = addresses.join('|');
    say["ombrix.net.ipv4.prefix"] = prefixes.join('|');
    say["ombrix.net.adapter.name"] = names.join('|');
    say["ombrix.net.route.gateways"] = gateways.join('|');
    say["ombrix.net.dhcp.enabled"] = dhcp.join('|');
    say["ombrix.net.wins.primary"] = primary.join('|');
    say["ombrix.net.wins.backup"] = backup.join('|');
    QStringList letters, mountPoints, types, serials, totals, frees;
    const auto given = [](const auto& value) {
        return value ? QString::number(*value) : QString();
    };
    for (const DriveLines& drive :
         readEveryDrive(platform::LinuxFileSystem(), QLocale::c()).drives) {
        letters << drive.letter;
        mountPoints << drive.mountPoint;
        types << given(drive.type);
        serials << given(drive.serialNumber);
        totals << given(drive.totalBytes);
        frees << given(drive.freeBytes);
    }
    // Drives without a value show none: only the values there are are listed.
    const auto present = [](QStringList values) {
        values.removeAll(QString());
        return values.join('|');
    };
    say["ombrix.volume.letter"] = letters.join('|');
    say["ombrix.volume.mount_point"] = mountPoints.join('|');
    say["ombrix.volume.type"] = types.join('|');
    say["ombrix.volume.serial"] = present(serials);
    say["ombrix.volume.total_bytes"] = present(totals);
    say[kMoving] = present(frees);
    const platform::PrinterList printers = platform::LazyPrinters().query();
    say["ombrix.printer.service_reachable"] = QString::number(int(printers.serviceReachable));
    QStringList queues, states, defaults, locations, models;
    for (const platform::PrintDestination& printer : printers.destinations) {
        queues << printer.name;
        states << QString::number(int(printer.state));
        defaults << QString::number(int(printer.isDefault));
        locations << printer.location;
        models << printer.makeAndModel;
    }
    say["ombrix.printer.queue"] = queues.join('|');
    say["ombrix.printer.state"] = states.join('|');
    say["ombrix.printer.default"] = defaults.join('|');
    say["ombrix.printer.location"] = locations.join('|');
    say["ombrix.printer.make_and_model"] = models.join('|');
    return say;
}

} // namespace

class tst_CollectorAgent : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    AgentAnswers m_answers;
    QMap<QString, QString> m_before;
    QMap<QString, QString> m_expected;

    static bool between(const QString& value, const QString& one, const QString& other) {
        const QStringList values = value.split('|'), ones = one.split('|'),
                          others = other.split('|');
        if (values.size() != ones.size() || values.size() != others.size())
            return false;
        for (qsizetype i = 0; i < values.size(); ++i) {
            const qulonglong a = ones[i].toULongLong(), b = others[i].toULongLong(),
                             v = values[i].toULongLong();
            if (v < std::min(a, b) || v > std::max(a, b))
                return false;
        }
        return true;
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable("dbpmda").isEmpty())
            QSKIP("dbpmda (from pcp) is not installed");
        // Interfaces come and go and free space moves while a machine runs:
        // the answer counts once the readers say the same just before and
        // just after it, and free space lies between.
        for (int tries = 0; tries < 10; ++tries) {
            m_before = readersSay();
            m_answers = askAgent(m_dir);
            QVERIFY2(m_answers.why.isEmpty(), qPrintable(m_answers.why));
            m_expected = readersSay();
            QMap<QString, QString> before = m_before, after = m_expected;
            before.remove(kMoving);
            after.remove(kMoving);
            if (before == after && between(m_answers.values.value(kMoving), m_before.value(kMoving),
                                           m_expected.value(kMoving)))
                break;
        }
    }

    // Each metric tells what this computer's own windows show here, read by
    // their readers, and has help text.
    void servesWhatTheWindowsShow_data() {
        QTest::addColumn<QString>("name");
        for (const QString& name : kNames)
            QTest::newRow(qPrintable(name)) << name;
    }
    void servesWhatTheWindowsShow() {
        QFETCH(QString, name);
        if (name == kMoving)
            QVERIFY2(
                between(m_answers.values.value(name), m_before.value(name), m_expected.value(name)),
                qPrintable(m_answers.values.value(name) + " not between " + m_before.value(name) +
                           " and " + m_expected.value(name)));
        else
            QCOMPARE(m_answers.values.value(name), m_expected.value(name));
        QVERIFY2(!m_answers.help.value(name).isEmpty(), "no help text");
    }

    // A reading that hangs holds up the next snapshot, never a question:
    // the last reading is answered meanwhile.
    void answersWhileAReadingHangs() {
        std::mutex lock;
        std::condition_variable released;
        bool release = false;
        std::atomic<int> started{0};
        pmda::FactSnapshot snapshot(
            [&] {
                pmda::AgentFacts facts;
                facts.osBuild = ++started;
                if (facts.osBuild > 1) {
                    std::unique_lock guard(lock);
                    released.wait(guard, [&] { return release; });
                }
                return facts;
            },
            std::chrono::milliseconds(1));
        QTRY_COMPARE(started.load(), 2);
        auto asked = std::async(std::launch::async, [&] { return snapshot.current(); });
        // Bounds a hang, not a speed: the answer needs no reading.
        const bool answered = asked.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
        {
            const std::lock_guard guard(lock);
            release = true;
        }
        released.notify_all();
        QVERIFY(answered);
        const auto facts = asked.get();
        QVERIFY(facts);
        QCOMPARE(facts->osBuild, 1);
    }
};

QTEST_GUILESS_MAIN(tst_CollectorAgent)
#include "tst_CollectorAgent.moc"
