#include "platform/linux/LinuxFloppyDrive.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxSystemInfo.h"
#include "platform/linux/OsRelease.h"
#include "platform/linux/network/ResolverState.h"
#include "pmda/FactSnapshot.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

using namespace ombrix;

namespace {

// What the agent answers, read through dbpmda, PCP's agent debugger, which
// starts it as pmcd does: its values and one-line help per metric name.
struct AgentAnswers {
    QString why; // empty when it answered
    QMap<QString, QString> values;
    QMap<QString, QString> help;
};

AgentAnswers askAgent(const QStringList& names) {
    AgentAnswers answers;
    const QString agent = QStringLiteral(OMBRIX_BIN_DIR "/pmdaombrix");
    QTemporaryDir dir;
    QProcess pmns;
    pmns.setStandardOutputFile(dir.filePath("pmns"));
    pmns.start(agent, {"--pmns"});
    if (!pmns.waitForFinished(20000) || pmns.exitCode() != 0) {
        answers.why = "the agent does not print its names";
        return answers;
    }
    QProcess dbpmda;
    dbpmda.setProcessChannelMode(QProcess::MergedChannels);
    dbpmda.start("dbpmda", {"-n", dir.filePath("pmns")});
    if (!dbpmda.waitForStarted(20000)) {
        answers.why = "dbpmda (from pcp) does not start";
        return answers;
    }
    dbpmda.write(
        QStringLiteral("open pipe %1 -l %2\n").arg(agent, dir.filePath("agent.log")).toUtf8());
    for (const QString& name : names)
        dbpmda.write(QStringLiteral("text %1\n").arg(name).toUtf8());
    // The first reading comes in on the agent's own thread: ask until
    // every metric has a value.
    const QRegularExpression value(
        QStringLiteral(R"(\((ombrix\.[\w.]+)\): numval: 1[^\n]*\n\s+value ("[^\n]*"|\S+))"));
    const QRegularExpression text(QStringLiteral(R"(PMID: \S+\n\[([^\n]*)\])"));
    QByteArray output;
    const QDeadlineTimer deadline(60000);
    while (answers.values.size() < names.size() && !deadline.hasExpired()) {
        dbpmda.write("fetch " + names.join(' ').toUtf8() + "\n");
        // A fetch's answer ends with its last metric's line, and its value's.
        const QByteArray last = "(" + names.last().toUtf8() + ")";
        const qsizetype asked = output.count(last);
        const auto answered = [&] {
            if (output.count(last) == asked)
                return false;
            const QByteArray after = output.mid(output.lastIndexOf(last));
            return after.contains("numval: 0") || after.count('\n') >= 2;
        };
        while (!answered() && !deadline.hasExpired())
            if (dbpmda.waitForReadyRead(1000))
                output += dbpmda.readAll();
        for (auto match = value.globalMatch(QString::fromUtf8(output)); match.hasNext();) {
            const auto found = match.next();
            QString shown = found.captured(2);
            if (shown.startsWith('"'))
                shown = shown.mid(1, shown.size() - 2);
            answers.values[found.captured(1)] = shown;
        }
    }
    int textAt = 0;
    for (auto match = text.globalMatch(QString::fromUtf8(output)); match.hasNext();)
        if (textAt < names.size())
            answers.help[names[textAt++]] = match.next().captured(1);
    dbpmda.write("quit\n");
    dbpmda.closeWriteChannel();
    if (!dbpmda.waitForFinished(20000))
        dbpmda.kill();
    if (answers.values.size() < names.size())
        answers.why = "the agent gave no values: " + QString::fromUtf8(output.right(2000));
    return answers;
}

} // namespace

class tst_CollectorAgent : public QObject {
    Q_OBJECT

    AgentAnswers m_answers;

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable("dbpmda").isEmpty())
            QSKIP("dbpmda (from pcp) is not installed");
        QStringList names;
        for (const char* name :
             {"ombrix.agent.version", "ombrix.os.name", "ombrix.os.version", "ombrix.os.build",
              "ombrix.hw.fdd_present", "ombrix.net.primary_address", "ombrix.net.dns.domain",
              "ombrix.net.dns.servers"})
            names << QString::fromLatin1(name);
        m_answers = askAgent(names);
        QVERIFY2(m_answers.why.isEmpty(), qPrintable(m_answers.why));
    }

    // Each metric tells what this computer's own readers read here, and
    // has help text.
    void servesWhatTheReadersGive_data() {
        QTest::addColumn<QString>("expected");
        const platform::LinuxSystemInfo system;
        const platform::ResolverConfig resolver = platform::ResolverState().read();
        QStringList servers;
        for (const std::string& server : resolver.nameServers)
            servers << QString::fromStdString(server);
        platform::LinuxFloppyDrive floppy;
        QTest::newRow("ombrix.agent.version") << QStringLiteral(OMBRIX_VERSION);
        QTest::newRow("ombrix.os.name") << platform::readOsRelease().prettyName;
        QTest::newRow("ombrix.os.version") << system.osVersion();
        QTest::newRow("ombrix.os.build") << QString::number(system.osBuild());
        QTest::newRow("ombrix.hw.fdd_present") << QString::number(int(floppy.selectDriveA()));
        QTest::newRow("ombrix.net.primary_address") << platform::LinuxHostInfo().ipAddress();
        QTest::newRow("ombrix.net.dns.domain") << QString::fromStdString(resolver.domain);
        QTest::newRow("ombrix.net.dns.servers") << servers.join(' ');
    }
    void servesWhatTheReadersGive() {
        QFETCH(QString, expected);
        const QString name = QString::fromUtf8(QTest::currentDataTag());
        QCOMPARE(m_answers.values.value(name), expected);
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
