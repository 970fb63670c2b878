// Another computer's collector is input like a file the user opens: a pmcd of
// this test serves, through hostile_pmda.py, every metric the program reads
// with values chosen to hurt, and the counter browser, the chart and the
// program's report of that computer stay whole and bounded.
#include "OmbrixRun.h"
#include "TestPmcd.h"
#include "performance_monitor/CounterBrowser.h"
#include "performance_monitor/SystemMonitor.h"
#include "platform/ComputerFacts.h"
#include "platform/links/RemoteComputerLinks.h"
#include "platform/linux/counters/LinuxCounterSources.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <future>
#include <map>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ombrix;
using namespace ombrix::platform;

namespace {

const QStringList kModes{"normal",   "long",     "empty", "badutf8",  "control", "max",
                         "zero",     "negative", "types", "repeated", "slow",    "nan",
                         "changing", "many",     "wide",  "backwards"};

// No control character, nor a line or paragraph separator.
bool printable(const QString& text) {
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
               c.category() == QChar::Separator_Paragraph;
    });
}

// Every string in value, with the key it is under.
QList<std::pair<QString, QString>> allStrings(const QJsonValue& value, const QString& key = {}) {
    if (value.isString())
        return {{key, value.toString()}};
    QList<std::pair<QString, QString>> all;
    for (const QJsonValue& item : value.toArray())
        all += allStrings(item, key);
    const QJsonObject object = value.toObject();
    for (auto at = object.begin(); at != object.end(); ++at)
        all += allStrings(*at, at.key());
    return all;
}

// A collector that takes connections and never says a word: a listening
// socket whose connections the kernel takes and nobody reads.
struct SilentListener {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ~SilentListener() { close(fd); }
    // The port it listens at (port, or any where 0), or 0 when it cannot.
    in_port_t listenAt(const char* address, in_port_t port) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(port);
        socklen_t size = sizeof at;
        const bool listening = inet_pton(AF_INET, address, &at.sin_addr) == 1 &&
                               bind(fd, reinterpret_cast<sockaddr*>(&at), size) == 0 &&
                               listen(fd, 16) == 0 &&
                               getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size) == 0;
        return listening ? ntohs(at.sin_port) : 0;
    }
};

} // namespace

class tst_HostileCollector : public QObject {
    Q_OBJECT
private slots:
    // libpcp keeps a lost connection from ending the program, as it leaves
    // SIGPIPE ignored where nobody handles it; here the test's crash handler
    // does, and a pmcd stopped under a request would end the test.
    void initTestCase();
    void windowsStayWholeAndBounded_data();
    void windowsStayWholeAndBounded();
    void reportStaysWholeAndBounded_data();
    void reportStaysWholeAndBounded();
    void silentCollectorIsGivenUpAfterOneWait_data();
    void silentCollectorIsGivenUpAfterOneWait();

private:
    // Once the link has answered every question asked before: it answers in order.
    bool answeredAll(const QString& computer) {
        auto answered = std::make_shared<bool>(false);
        m_remote.link(computer)->ask<bool>(
            this, [](PerfCounters&) { return true; }, [answered](auto) { *answered = true; });
        return QTest::qWaitFor([&] { return *answered; }, 15000);
    }

    LinuxCounterSources m_sources{OMBRIX_BIN_DIR "/libombrix_pcp.so"};
    RemoteComputerLinks m_remote{m_sources, nullptr};
    std::map<QString, std::unique_ptr<TestPmcd>> m_pmcds; // one a mode, for both tests
};

void tst_HostileCollector::initTestCase() {
    signal(SIGPIPE, SIG_IGN);
    // Every mode's collector starts at once.
    int port = 45000 + getpid() % 2000;
    for (const QString& mode : kModes)
        m_pmcds[mode] =
            std::make_unique<TestPmcd>(QStringList{"127.0.0.1"}, ++port, QString(),
                                       TestPmcd::Agents::Hostile, QString(), mode, false);
    for (auto& [mode, pmcd] : m_pmcds)
        pmcd->waitUntilAnswers();
}

void tst_HostileCollector::windowsStayWholeAndBounded_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("capped");    // the instance lists hold 100,000
    QTest::addColumn<bool>("backwards"); // no rate ever has a value
    QTest::addColumn<int>("values");     // some line has a value at last: 1 yes, 0 no, -1 either
    for (const QString& mode : kModes) {
        // Which type the descriptor has when the program asks depends on the fetches before.
        const int values = mode == "nan" ? 0 : mode == "changing" ? -1 : 1;
        QTest::newRow(qPrintable(mode))
            << mode << (mode == "many") << (mode == "backwards") << values;
    }
}

void tst_HostileCollector::windowsStayWholeAndBounded() {
    QFETCH(QString, mode);
    QFETCH(bool, capped);
    QFETCH(bool, backwards);
    QFETCH(int, values);
    TestPmcd& pmcd = *m_pmcds.at(mode);
    if (!pmcd.why().isEmpty())
        QSKIP(qPrintable(pmcd.why()));

    CounterBrowser browser(m_remote);
    browser.show();
    browser.findChild<QRadioButton*>("remoteComputer")->click();
    auto* name = browser.findChild<QComboBox*>("computerName");
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), pmcd.host());
    QTest::keyClick(name->lineEdit(), Qt::Key_Return);
    auto* status = browser.findChild<QLabel*>("computerStatus");
    QTRY_VERIFY2_WITH_TIMEOUT(status->text().startsWith("Counters of"), qPrintable(status->text()),
                              15000);

    // Every object's instances: bounded in number and length, one line each.
    auto* objects = browser.findChild<QComboBox*>("performanceObject");
    auto* instances = browser.findChild<QListWidget*>("instanceList");
    auto* explanation = browser.findChild<QLabel*>("explainText");
    std::vector<CounterPath> paths;
    for (int i = 0; i < objects->count(); ++i) {
        objects->setCurrentIndex(i);
        const bool listed = browser.findChild<QRadioButton*>("allInstances")->isEnabled();
        if (listed)
            QTRY_VERIFY_WITH_TIMEOUT(instances->count() > 0, 15000);
        QVERIFY(instances->count() <= kMaxInstances + 1);
        for (int row = 0; row < instances->count(); ++row) {
            const QString text = instances->item(row)->text();
            QVERIFY2(text.size() <= kMaxTextLength + 8, qPrintable(objects->currentText())); // #pid
            QVERIFY(!text.contains('\n') && !text.contains(QChar(0x2028)));
        }
        QCOMPARE(status->text().contains(QString::number(kMaxInstances)), capped && listed);
        QCOMPARE(status->text().contains("100000"), capped && listed);
        QVERIFY(answeredAll(pmcd.host())); // that computer's words on the first counter
        QVERIFY(explanation->text().size() < 1000);
        // A counter of each object: of its _Total and of its last instance.
        instances->clearSelection();
        for (int row : {0, instances->count() - 1})
            if (QListWidgetItem* item = instances->item(row))
                item->setSelected(true);
        for (const CounterPath& path : browser.chosenPaths())
            paths.push_back(path);
    }
    QVERIFY(!paths.empty());

    // The chart of them: each value a number or a gap; a counter that fell
    // leaves a gap, never a spike; and the chart goes on after a request that
    // took longer than the program waits.
    SystemMonitor monitor(m_sources, m_remote);
    MonitorSettings settings;
    for (const CounterPath& path : paths)
        settings.counters.push_back({path, Qt::red, 1.0});
    monitor.applySettings(settings);
    const auto lines = monitor.chartLines();
    auto valued = [&] {
        for (const auto& line : lines)
            for (std::size_t i = 0; i < line.history->size(); ++i)
                if (!std::isnan(line.history->at(i)))
                    return true;
        return false;
    };
    // Each step once that computer has answered the one before.
    for (int tick = 0; tick < 40 && (tick < 6 || (values == 1 && !valued())); ++tick) {
        const std::size_t before = lines.front().history->size();
        QVERIFY(QTest::qWaitFor([&] { return lines.front().history->size() > before; }, 15000));
        monitor.sampleNow();
    }
    bool anyRate = false;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const CounterInfo* info = findCounter(m_sources.local().objects(), paths[k]);
        for (std::size_t i = 0; i < lines[k].history->size(); ++i) {
            const double value = lines[k].history->at(i);
            QVERIFY(std::isnan(value) || std::isfinite(value));
            anyRate = anyRate || (info->kind != CounterKind::Gauge && !std::isnan(value));
        }
    }
    QCOMPARE(anyRate && backwards, false);
    if (values >= 0)
        QCOMPARE(valued(), values == 1);
}

void tst_HostileCollector::reportStaysWholeAndBounded_data() {
    QTest::addColumn<QString>("mode");
    for (const QString& mode : kModes)
        QTest::newRow(qPrintable(mode)) << mode;
}

// The program's report of that computer ends by itself, in either format,
// with every text cut and cleaned, every list capped, and a list it cut
// named under the section's errors.
void tst_HostileCollector::reportStaysWholeAndBounded() {
    QFETCH(QString, mode);
    TestPmcd& pmcd = *m_pmcds.at(mode);
    if (!pmcd.why().isEmpty())
        QSKIP(qPrintable(pmcd.why()));
    if (mode == "slow") { // slow once: afresh after the chart's
        pmcd.stop();
        QVERIFY(pmcd.start());
    }
    // Both formats at once: a collector that does not answer is waited for once.
    const QStringList args{"--report", "--computer", pmcd.host(), "--format"};
    auto asText =
        std::async(std::launch::async, [&] { return runOmbrix(args + QStringList{"text"}); });
    const OmbrixRun json = runOmbrix(args + QStringList{"json"});
    const OmbrixRun text = asText.get();
    for (const OmbrixRun* run : {&json, &text}) {
        QVERIFY2(run->status == 0 || run->status == 1, run->err.constData());
        QVERIFY(run->out.size() < 2'000'000);
    }

    QJsonParseError error;
    const QJsonArray computers = QJsonDocument::fromJson(json.out, &error)["computers"].toArray();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QCOMPARE(computers.size(), 1);
    const QJsonObject far = computers[0].toObject();
    QCOMPARE(far["computer"].toString(), pmcd.host());
    for (const QString list : {"network.adapters", "drives"})
        for (const QJsonValue& items : valuesAt(far, list.split('.')))
            QVERIFY(items.toArray().size() <= qsizetype(kMostFactItems));
    // A line as the windows show it: a label before the fact.
    for (const auto& [key, string] : allStrings(far))
        QVERIFY2(string.size() <= kMaxTextLength + (key == "lines" ? 32 : 0) && printable(string),
                 qPrintable(key + ": " + string.left(300)));
    // The collector lists 1,500 adapters and volumes; with 100,000 it is too slow.
    // The changing one answers each run differently.
    for (const char* section : {"network", "drives"}) {
        QString why = far["errors"][section].toString();
        QCOMPARE(why.contains(QString::number(kMostFactItems)), mode == "wide");
        if (mode != "changing")
            QVERIFY(text.out.contains(why.replace('\\', "\\\\").toUtf8()));
    }
    // Its addresses are words: no adapter shows them, and the network's errors say so.
    const QJsonArray adapters = far["network"]["adapters"].toArray();
    for (const QJsonValue& addresses : valuesAt(adapters, {"ip_addresses"}))
        QCOMPARE(addresses.toArray().size(), 0);
    QCOMPARE(far["errors"]["network"].toString().contains("is none"), !adapters.isEmpty());

    // Text: a line holds a label and a collector's text whose backslashes
    // are doubled, or the list of facts the collector does not carry.
    for (const QByteArray& line : text.out.split('\n')) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString decoded = utf8(line);
        QVERIFY2(!utf8.hasError() && printable(decoded), line.constData());
        QVERIFY2(decoded.size() <= 4 * kMaxTextLength, line.constData());
    }
}

void tst_HostileCollector::silentCollectorIsGivenUpAfterOneWait_data() {
    QTest::addColumn<QStringList>("run"); // the program's arguments, before the computer
    QTest::addColumn<int>("addresses");   // of the computer's name, each silent
    for (const int addresses : {1, 2}) {
        QTest::addRow("report, %d address(es)", addresses)
            << QStringList{"--report", "--section", "summary", "--computer"} << addresses;
        QTest::addRow("windows, %d address(es)", addresses)
            << QStringList{"-platform", "offscreen", "--computer"} << addresses;
    }
}

// A collector that takes the connection and never says a word is given up
// after one wait (5 s at most, libpcp's for a connection), however many
// addresses its name has: not after libpcp's 10 s for a greeting, nor once
// per address.
void tst_HostileCollector::silentCollectorIsGivenUpAfterOneWait() {
    QFETCH(QStringList, run);
    QFETCH(int, addresses);
    SilentListener first, second;
    const in_port_t port = first.listenAt("127.0.0.5", 0);
    QVERIFY(port != 0);
    QStringList program{OMBRIX_BIN_DIR "/ombrix"};
    QString computer = "127.0.0.5:" + QString::number(port);
    QTemporaryFile hosts;
    if (addresses == 2) {
        // The name's two addresses in a mount namespace of its own.
        if (QProcess::execute("unshare", {"-m", "true"}) != 0)
            QSKIP("this machine does not let the test make a mount namespace");
        if (second.listenAt("127.0.0.6", port) == 0)
            QSKIP("the port is taken at the second address");
        QVERIFY(hosts.open() && hosts.write("127.0.0.5 ombrix-twin\n127.0.0.6 ombrix-twin\n") > 0);
        hosts.flush();
        program =
            QStringList{
                "unshare",       "-m", "sh", "-c", "mount --bind \"$0\" /etc/hosts && exec \"$@\"",
                hosts.fileName()} +
            program;
        computer = "ombrix-twin:" + QString::number(port);
    }
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(program.front(), program.mid(1) + run + QStringList{computer});
    QVERIFY(process.waitForFinished(60000));
    const qint64 took = clock.elapsed();
    const QByteArray err = process.readAllStandardError();
    qInfo("given up after %lld ms", took);
    // It was reached, and its silence named.
    QVERIFY2(process.exitCode() == 1 && err.contains("stopped answering"), err.constData());
    QVERIFY2(took < 7000, qPrintable(QString::number(took)));
}

QTEST_MAIN(tst_HostileCollector)
#include "tst_HostileCollector.moc"
