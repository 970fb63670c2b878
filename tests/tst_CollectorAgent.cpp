#include "HostFurniture.h"
#include "PcpHost.h"
#include "drive_details/DriveReport.h"
#include "network_report/NetworkReport.h"
#include "platform/Registry.h"
#include "platform/linux/BoundedCall.h"
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
#include <QElapsedTimer>
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
#include <optional>

using namespace ombrix;

namespace {

// Free space moves while the machine runs: it counts when it lies between
// what the readers say just before and just after the agent is asked.
const QString kMoving = QStringLiteral("ombrix.volume.free_bytes");

// What the agent answers, read through dbpmda, PCP's agent debugger, which
// starts it as pmcd does: per metric name (every name it prints) its values
// in instance order, joined by "|", and its one-line help.
struct AgentAnswers {
    QString why; // empty when it answered
    QStringList names;
    QMap<QString, QString> values;
    QMap<QString, QString> help;
};

// dir: for the agent's names and log, kept from one question to the next
// (its files take space on a volume).
AgentAnswers askAgent(const QTemporaryDir& dir) {
    AgentAnswers answers;
    const QString agent = QStringLiteral(OMBRIX_BIN_DIR "/pmdaombrix");
    QProcess pmns;
    pmns.start(agent, {"--pmns"});
    QFile root(dir.filePath("pmns"));
    if (!pmns.waitForFinished(20000) || pmns.exitCode() != 0 || !root.open(QIODevice::WriteOnly)) {
        answers.why = "the agent does not print its names";
        return answers;
    }
    const QString names = QString::fromUtf8(pmns.readAllStandardOutput());
    root.write("root {\n    ombrix\n}\n" + names.toUtf8()); // under a root of their own
    root.close();
    static const QRegularExpression node(QStringLiteral(R"(([\w.]+) \{\n((?:[^}]*\n)*?)\})"));
    static const QRegularExpression leaf(QStringLiteral(R"((\w+)\t\d+:\d+:\d+)"));
    for (auto nodes = node.globalMatch(names); nodes.hasNext();) {
        const auto found = nodes.next();
        for (auto leaves = leaf.globalMatch(found.captured(2)); leaves.hasNext();)
            answers.names << found.captured(1) + '.' + leaves.next().captured(1);
    }
    QProcess dbpmda;
    dbpmda.setProcessChannelMode(QProcess::MergedChannels);
    dbpmda.start("dbpmda", {"-n", dir.filePath("pmns")});
    dbpmda.write(
        QStringLiteral("open pipe %1 -l %2\n").arg(agent, dir.filePath("agent.log")).toUtf8());
    for (const QString& name : answers.names)
        dbpmda.write(QStringLiteral("text %1\n").arg(name).toUtf8());
    // The first reading comes in on the agent's own thread: ask until an
    // answer has values; one answer comes from one reading. The description
    // asked after it shows where it ends.
    static const QRegularExpression metric(QStringLiteral(R"(\((ombrix\.[\w.]+)\): )"));
    static const QRegularExpression value(
        QStringLiteral(R"re(^\s+(?:inst \[.*\] )?value (?:"(.*)"|(\S+)))re"));
    QByteArray output;
    const QDeadlineTimer deadline(60000);
    while (answers.values.value(answers.names.value(0)).isEmpty() && !deadline.hasExpired()) {
        const qsizetype from = output.size();
        dbpmda.write("fetch " + answers.names.join(' ').toUtf8() + "\ndesc " +
                     answers.names.value(0).toUtf8() + "\n");
        while (!QRegularExpression("Units:.*\n").match(output.mid(from)).hasMatch() &&
               !deadline.hasExpired())
            if (dbpmda.waitForReadyRead(1000))
                output += dbpmda.readAll();
        QMap<QString, QStringList> found;
        QString name;
        const QStringList lines = QString::fromUtf8(output.mid(from)).split('\n');
        for (const QString& line : lines) {
            if (const auto match = metric.match(line); match.hasMatch())
                found[name = match.captured(1)];
            else if (const auto match = value.match(line); match.hasMatch() && !name.isEmpty())
                found[name] << match.captured(match.hasCaptured(1) ? 1 : 2);
        }
        for (auto it = found.begin(); it != found.end(); ++it)
            answers.values[it.key()] = it.value().join('|');
    }
    static const QRegularExpression help(QStringLiteral(R"(PMID: \S+\n\[([^\n]*)\])"));
    qsizetype textAt = 0;
    for (auto match = help.globalMatch(QString::fromUtf8(output)); match.hasNext();)
        answers.help[answers.names.value(textAt++)] = match.next().captured(1);
    dbpmda.closeWriteChannel();
    if (!dbpmda.waitForFinished(20000))
        dbpmda.kill();
    if (answers.values.value(answers.names.value(0)).isEmpty())
        answers.why = "the agent gave no values: " + QString::fromUtf8(output.right(2000));
    return answers;
}

// One value per item, joined as the answers are.
template <class Items, class Field> QString column(const Items& items, Field field) {
    QStringList values;
    for (const auto& item : items)
        if (const std::optional<QString> value = field(item))
            values << *value; // an item without the value has none in the answer
    return values.join('|');
}

QString number(auto value) {
    return QString::number(qlonglong(value));
}

template <class T> std::optional<QString> given(const std::optional<T>& value) {
    return value ? std::optional(number(*value)) : std::nullopt;
}

unsigned prefixLength(const QString& mask) {
    in_addr address{};
    if (::inet_pton(AF_INET, mask.toLatin1().constData(), &address) != 1)
        return 0;
    return unsigned(std::popcount(ntohl(address.s_addr)));
}

// What this computer's windows show, read by the program's own readers:
// the summary's, the network report's through the live network view, the
// drive window's and the printers window's.
QMap<QString, QString> readersSay() {
    QMap<QString, QString> say;
    const platform::LinuxSystemInfo system;
    platform::LinuxFloppyDrive floppy;
    say["ombrix.agent.version"] = QStringLiteral(OMBRIX_VERSION);
    say["ombrix.os.name"] = platform::readOsRelease().prettyName;
    say["ombrix.os.version"] = system.osVersion();
    say["ombrix.os.build"] = number(system.osBuild());
    say["ombrix.hw.fdd_present"] = number(floppy.selectDriveA());
    say["ombrix.net.primary_address"] = platform::LinuxHostInfo().ipAddress();
    platform::registry::RegistryLayer layer;
    layer.setStore(platform::HKEY_LOCAL_MACHINE,
                   std::make_shared<platform::registry::MemoryRegistryStore>());
    layer.mount(platform::HKEY_LOCAL_MACHINE, std::string(platform::LiveNetworkView::kMountPath),
                std::make_shared<platform::LiveNetworkView>());
    const NetworkConfiguration network = ReadNetworkConfiguration(clsRegistryAccess(layer));
    say["ombrix.net.dns.domain"] = network.domain;
    say["ombrix.net.dns.servers"] = network.nameServers.join(' ');
    struct Address {
        QString adapter, address, mask;
    };
    std::vector<Address> addresses;
    for (const AdapterConfiguration& adapter : network.adapters)
        for (qsizetype i = 0; i < adapter.ipAddresses.size(); ++i)
            addresses.push_back(
                {adapter.name, adapter.ipAddresses[i], adapter.subnetMasks.value(i)});
    using Adapter = AdapterConfiguration;
    say["ombrix.net.ipv4.adapter"] = column(addresses, [](auto& a) { return a.adapter; });
    say["ombrix.net.ipv4.address"] = column(addresses, [](auto& a) { return a.address; });
    say["ombrix.net.ipv4.prefix"] =
        column(addresses, [](auto& a) { return number(prefixLength(a.mask)); });
    const auto& adapters = network.adapters;
    say["ombrix.net.adapter.name"] = column(adapters, [](const Adapter& a) { return a.name; });
    say["ombrix.net.route.gateways"] =
        column(adapters, [](const Adapter& a) { return a.gateways.join(' '); });
    say["ombrix.net.dhcp.enabled"] =
        column(adapters, [](const Adapter& a) { return given(a.dhcp); });
    say["ombrix.net.wins.primary"] =
        column(adapters, [](const Adapter& a) { return a.primaryWins; });
    say["ombrix.net.wins.backup"] = column(adapters, [](const Adapter& a) { return a.backupWins; });
    const auto drives = readEveryDrive(platform::LinuxFileSystem(), QLocale::c()).drives;
    say["ombrix.volume.letter"] = column(drives, [](const DriveLines& d) { return d.letter; });
    say["ombrix.volume.mount_point"] =
        column(drives, [](const DriveLines& d) { return d.mountPoint; });
    say["ombrix.volume.type"] = column(drives, [](const DriveLines& d) { return given(d.type); });
    say["ombrix.volume.serial"] =
        column(drives, [](const DriveLines& d) { return given(d.serialNumber); });
    say["ombrix.volume.total_bytes"] =
        column(drives, [](const DriveLines& d) { return given(d.totalBytes); });
    say[kMoving] = column(drives, [](const DriveLines& d) { return given(d.freeBytes); });
    const platform::PrinterList printers = platform::LazyPrinters().query();
    using Printer = platform::PrintDestination;
    const auto& queues = printers.destinations;
    say["ombrix.printer.service_reachable"] = number(printers.serviceReachable);
    say["ombrix.printer.queue"] = column(queues, [](const Printer& p) { return p.name; });
    say["ombrix.printer.state"] = column(queues, [](const Printer& p) { return number(p.state); });
    say["ombrix.printer.default"] =
        column(queues, [](const Printer& p) { return number(p.isDefault); });
    say["ombrix.printer.location"] = column(queues, [](const Printer& p) { return p.location; });
    say["ombrix.printer.make_and_model"] =
        column(queues, [](const Printer& p) { return p.makeAndModel; });
    say["ombrix.printer.description"] = column(queues, [](const Printer& p) { return p.info; });
    return say;
}

} // namespace

class tst_CollectorAgent : public QObject {
    Q_OBJECT

    platform::BoundedWorkers m_workers{std::chrono::seconds(2)}; // read volumes here too
    QTemporaryDir m_dir;
    AgentAnswers m_answers;
    QMap<QString, QString> m_before;
    QMap<QString, QString> m_expected;

    // Free space is not only taken while a machine runs: a build writes and
    // deletes files of hundreds of megabytes between two readings. A value
    // counts as the same reading when it lies between the two, give or take
    // what such files take (a wrong volume, unit or block size lies further).
    static bool between(const QString& value, const QString& one, const QString& other) {
        const QStringList values = value.split('|'), ones = one.split('|'),
                          others = other.split('|');
        if (values.size() != ones.size() || values.size() != others.size())
            return false;
        for (qsizetype i = 0; i < values.size(); ++i) {
            const qulonglong a = ones[i].toULongLong(), b = others[i].toULongLong(),
                             v = values[i].toULongLong();
            const qulonglong slack = std::max(1ull << 30, std::max(a, b) / 50);
            if (v + slack < std::min(a, b) || v > std::max(a, b) + slack)
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
        for (const QString& name : m_answers.names)
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
            QCOMPARE(m_answers.values.value(name), m_expected.value(name, "(not read here)"));
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

    // A machine made to hurt the agent, asked through pmcd: interfaces and a
    // mount point with odd names, os-release a FIFO nobody writes, a mount
    // whose file system never answers, a print service that stopped. Every
    // fetch is answered, at once, from the last reading; odd names come back
    // whole.
    void answersEveryFetchOnAHostileMachine() {
        PcpHost host(QString(), 243, PcpHostOptions{false, std::nullopt});
        if (!host.why().isEmpty())
            QSKIP(qPrintable("Skipping the hostile machine: " + host.why()));
        if (!QFile::exists("/dev/fuse"))
            QSKIP("Skipping the hostile machine: no /dev/fuse for a mount that never answers");
        // Interface names may hold neither blanks nor ":", else any byte.
        const QByteArrayList odd{"x-y.z", "abcdefghijklmno", "n\xc3\xa9t", "b\xff\xfe"};
        int peer = 0;
        for (const QByteArray& name : odd) {
            int code = 0;
            pcp_host::run("sh",
                          {"-c",
                           "ip -n \"$0\" link add \"$(printf \"$1\")\" type veth peer name "
                           "\"$2\"",
                           host.netns(), QString::fromLatin1(escaped(name)),
                           "opk" + QString::number(++peer)},
                          &code);
            QVERIFY2(code == 0, name.constData());
        }
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFile::Permissions(0x7755));
        const QByteArray mountPoint = QFile::encodeName(dir.path()) + "/sp ace\nline\tt\xc3\xa9";
        const StoppedService cups;
        // The FUSE connection stays open in pmcd, which never reads it.
        const QString prelude =
            QStringLiteral(
                "set -e; cd '%1'; [ -p fifo ] || mkfifo fifo\n"
                "for f in /etc/os-release /usr/lib/os-release; do\n"
                "  if [ -f \"$f\" ] && [ ! -L \"$f\" ]; then mount --bind fifo \"$f\"; fi\n"
                "done\n"
                "d=\"$(printf '%2')\"; mkdir -p \"$d\" hung; mount -t tmpfs odd \"$d\"\n"
                "exec 3<>/dev/fuse\n"
                "mount -i -t fuse -o fd=3,rootmode=40000,user_id=0,group_id=0,allow_other "
                "ombrix-hung hung")
                .arg(dir.path(), QString::fromLatin1(escaped(mountPoint)));
        // Tried once in a mount namespace that goes at once.
        if (QProcess::execute("unshare", {"-m", "--propagation", "private", "sh", "-c", prelude}) !=
            0)
            QSKIP("Skipping the hostile machine: it does not let the test mount a FIFO, a FUSE "
                  "file system or tmpfs");
        QVERIFY2(host.startPmcd(TestPmcd::Agents::Collector,
                                {{"CUPS_SERVER=" + cups.socketPath()}, prelude}),
                 qPrintable(host.why()));
        QList<qint64> times;
        QByteArray answer;
        // Until the first reading is in, the answers are empty; then they
        // come from it, or from a later one, while readings hang (each waits
        // on the hung mount, every few seconds): asked over two intervals.
        const QDeadlineTimer first(60000);
        QDeadlineTimer span = QDeadlineTimer::Forever;
        while (!span.hasExpired() && !first.hasExpired()) {
            QProcess pminfo;
            QElapsedTimer took;
            took.start();
            pminfo.start("pminfo", {"-h", host.pmcd().host(), "-f", "ombrix"});
            // Bounds a hang, not a speed.
            QVERIFY2(pminfo.waitForFinished(5000), "a fetch was not answered within 5 s");
            answer = pminfo.readAllStandardOutput() + pminfo.readAllStandardError();
            QCOMPARE(pminfo.exitCode(), 0);
            QVERIFY2(!answer.contains("rror"), answer.constData());
            if (answer.contains("ombrix.net.adapter.name\n    inst")) {
                times << took.elapsed();
                if (span.isForever())
                    span = QDeadlineTimer(12000);
            }
        }
        QVERIFY2(!times.isEmpty(), answer.constData());
        std::sort(times.begin(), times.end());
        qInfo("pminfo -f ombrix: median %lld ms, worst %lld ms over %lld fetches",
              times[times.size() / 2], times.last(), qlonglong(times.size()));
        const QByteArray hung = QFile::encodeName(dir.path()) + "/hung"; // listed, not ready
        for (const QByteArray& name : odd + QByteArrayList{mountPoint, hung})
            QVERIFY2(
                QString::fromUtf8(answer).contains("value \"" + QString::fromUtf8(name) + "\""),
                name.constData());
        QVERIFY(answer.contains("ombrix.printer.service_reachable\n    value 0"));
        QVERIFY(answer.contains("ombrix.os.name\n    value \"Linux\""));
    }

private:
    // The bytes as printf writes them back from its octal escapes.
    static QByteArray escaped(const QByteArray& bytes) {
        QByteArray text;
        for (const char c : bytes)
            text += QByteArray("\\") + QByteArray::number(uchar(c), 8).rightJustified(3, '0');
        return text;
    }
};

QTEST_GUILESS_MAIN(tst_CollectorAgent)
#include "tst_CollectorAgent.moc"
