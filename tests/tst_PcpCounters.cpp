// Counters of another computer, read from a real pmcd that runs in a network
// namespace of this test, whose interfaces are not the test's own.
#include "TestPmcd.h"
#include "performance_monitor/CounterBrowser.h"
#include "performance_monitor/SystemMonitor.h"
#include "platform/PlatformError.h"
#include "platform/linux/KernelFile.h"
#include "platform/linux/LinuxCounterSources.h"
#include "platform/linux/PcpPerfCounters.h"
#include "platform/linux/RemoteComputerLinks.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cmath>
#include <optional>

#include <unistd.h>

using namespace ombrix;
using namespace ombrix::platform;

namespace {

QString run(const QString& program, const QStringList& args, int* code = nullptr,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    process.waitForFinished(20000);
    if (code)
        *code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Interface names as /proc/net/dev lists them for this process.
QStringList ownInterfaces() {
    QStringList names;
    const auto text = platform::readKernelFile("/proc/net/dev");
    for (const QByteArray& line : QByteArray::fromStdString(text.value_or("")).split('\n'))
        if (line.contains(':'))
            names << QString::fromLatin1(line.left(line.indexOf(':')).trimmed());
    return names;
}

// A network namespace joined to this one by a veth pair, with a further
// interface pair of its own and a pmcd listening on its address. Everything
// goes when the object does.
class PcpHost {
public:
    PcpHost() : m_tag(QString::number(getpid() % 100000)) {
        m_namespace = "ombrix-pcp-" + m_tag;
        m_outside = "opo" + m_tag;
        m_inside = "opi" + m_tag;
        m_extra = "opx" + m_tag;
        const int net = getpid() % 250 + 1;
        m_address = QStringLiteral("10.251.%1.2").arg(net);
        const QString outsideAddress = QStringLiteral("10.251.%1.1/30").arg(net);
        if (getuid() != 0) {
            m_why = "needs root to make a network namespace";
            return;
        }
        int code = 0;
        run("ip", {"netns", "add", m_namespace}, &code);
        if (code != 0) {
            m_why = "this machine does not let \"ip netns add\" make a network namespace";
            return;
        }
        m_madeNamespace = true;
        const QStringList steps[] = {
            {"link", "add", m_outside, "type", "veth", "peer", "name", m_inside, "netns",
             m_namespace},
            {"addr", "add", outsideAddress, "dev", m_outside},
            {"link", "set", m_outside, "up"},
            {"-n", m_namespace, "addr", "add", m_address + "/30", "dev", m_inside},
            {"-n", m_namespace, "link", "set", m_inside, "up"},
            {"-n", m_namespace, "link", "set", "lo", "up"},
            {"-n", m_namespace, "link", "add", m_extra, "type", "veth", "peer", "name",
             m_extra + "p"},
        };
        for (const QStringList& step : steps) {
            run("ip", step, &code);
            if (code != 0) {
                m_why = "ip " + step.join(' ') + " failed";
                return;
            }
        }
        m_pmcd.emplace(QStringList{m_address}, 44321, m_namespace);
        m_why = m_pmcd->why();
    }
    ~PcpHost() {
        m_pmcd.reset();
        if (m_madeNamespace) {
            run("ip", {"link", "del", m_outside});
            run("ip", {"netns", "del", m_namespace});
        }
    }
    const QString& why() const { return m_why; }
    const QString& address() const { return m_address; }
    const QString& extraInterface() const { return m_extra; }
    TestPmcd& pmcd() { return *m_pmcd; }

    // The namespace's interfaces, as the namespace itself lists them.
    QStringList interfaces() const {
        const QString text = run("ip", {"netns", "exec", m_namespace, "cat", "/proc/net/dev"});
        QStringList names;
        for (const QString& line : text.split('\n'))
            if (line.contains(':'))
                names << line.left(line.indexOf(':')).trimmed();
        return names;
    }

private:
    QString m_tag, m_namespace, m_outside, m_inside, m_extra, m_address, m_why;
    bool m_madeNamespace = false;
    std::optional<TestPmcd> m_pmcd;
};

QStringList items(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// Names the computer in the browser the way a user does: type, then Enter.
void pointAt(CounterBrowser& browser, const QString& computer) {
    browser.findChild<QRadioButton*>("remoteComputer")->click();
    auto* name = browser.findChild<QComboBox*>("computerName");
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), computer);
    QTest::keyClick(name->lineEdit(), Qt::Key_Return);
}

// Runs the chart's sampling as its timer would, a little faster, until done() holds.
template <class Done> bool tickUntil(SystemMonitor& monitor, Done done) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000) {
        monitor.sampleNow();
        QTest::qWait(250);
        if (done())
            return true;
    }
    return false;
}

} // namespace

class tst_PcpCounters : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void browserListsThatComputersInterfaces();
    void valuesAgreeWithPminfo();
    void unreachableComputerIsReportedInOneLine_data();
    void unreachableComputerIsReportedInOneLine();
    void chartOutlivesPmcdStoppedAndStarted();

private:
    std::unique_ptr<PcpHost> m_host;
    LinuxCounterSources m_sources{OMBRIX_BIN_DIR "/libombrix_pcp.so"};
    RemoteComputerLinks m_remote{m_sources, nullptr};
};

void tst_PcpCounters::initTestCase() {
    m_host = std::make_unique<PcpHost>();
    if (!m_host->why().isEmpty())
        QSKIP(qPrintable("Skipping the pmcd tests: " + m_host->why()));
}

void tst_PcpCounters::cleanupTestCase() {
    m_host.reset();
}

void tst_PcpCounters::browserListsThatComputersInterfaces() {
    const QStringList expected = m_host->interfaces();
    QVERIFY(expected.contains(m_host->extraInterface()));
    QVERIFY(!ownInterfaces().contains(m_host->extraInterface()));
    CounterBrowser browser(m_sources, m_remote);
    browser.show();
    pointAt(browser, "\\\\" + m_host->address() + ":44321");
    auto* status = browser.findChild<QLabel*>("computerStatus");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith("Counters of"), 10000);
    auto* objects = browser.findChild<QComboBox*>("performanceObject");
    objects->setCurrentIndex(objects->findText("Network Interface"));
    // The explanation carries that computer's own help text of the metric.
    QVERIFY(
        browser.findChild<QLabel*>("explainText")->text().contains("network.interface.in.bytes: "));
    auto* instances = browser.findChild<QListWidget*>("instanceList");
    QTRY_VERIFY(instances->count() > 0);
    QStringList shown = items(instances);
    QStringList wanted = expected;
    shown.sort();
    wanted.sort();
    QCOMPARE(shown, wanted);
    // What is chosen there names that computer.
    instances->setCurrentRow(
        instances->row(instances->findItems(m_host->extraInterface(), Qt::MatchExactly).front()));
    const auto paths = browser.chosenPaths();
    QVERIFY(!paths.empty());
    QCOMPARE(counterPathText(paths.front(), m_sources.local().objects()),
             "\\\\" + m_host->address() + ":44321\\Network Interface(" + m_host->extraInterface() +
                 ")\\Bytes Received/sec");
}

void tst_PcpCounters::valuesAgreeWithPminfo() {
    PcpPerfCounters counters(m_host->address().toStdString());
    // Values that do not move: one instance per processor, and the process id.
    const auto cpus = m_host->pmcd().pminfo("hinv.ncpu");
    QVERIFY(cpus);
    QCOMPARE(counters.instances("processor").size(), static_cast<int>(*cpus) + 1); // and _Total
    const auto sample =
        counters.sample({{"memory", "available_bytes", {}, {}},
                         {"system", "up_time", {}, {}},
                         {"network_interface", "bytes_received", m_host->extraInterface(), {}},
                         {"processor", "processor_time", "_Total", {}}});
    QVERIFY(sample.reachable);
    QCOMPARE(sample.values.size(), 4u);
    for (const auto& value : sample.values)
        QVERIFY(value);
    // Values that move a little between the two reads.
    const auto available = m_host->pmcd().pminfo("mem.util.available"); // Kbyte
    QVERIFY(available);
    QVERIFY2(std::abs(sample.values[0]->value - *available * 1024) < 0.05 * *available * 1024,
             qPrintable(QString::number(sample.values[0]->value)));
    const auto uptime = m_host->pmcd().pminfo("kernel.all.uptime");
    QVERIFY(uptime);
    QVERIFY(std::abs(sample.values[1]->value - *uptime) < 30);
    QCOMPARE(sample.values[2]->value, 0.0); // the extra pair is down: nothing received
    // The processor's busy time is part of its whole.
    QVERIFY(sample.values[3]->value <= sample.values[3]->base);
    QVERIFY(sample.values[3]->base > 0);
}

void tst_PcpCounters::unreachableComputerIsReportedInOneLine_data() {
    QTest::addColumn<QString>("computer");
    QTest::newRow("nothing listens on that port") << m_host->address() + ":1";
    QTest::newRow("unknown name") << "no-such-computer.invalid";
}

void tst_PcpCounters::unreachableComputerIsReportedInOneLine() {
    QFETCH(QString, computer);
    CounterBrowser browser(m_sources, m_remote);
    browser.show();
    auto* objects = browser.findChild<QComboBox*>("performanceObject");
    const int before = objects->count();
    QElapsedTimer clock;
    clock.start();
    pointAt(browser, computer);
    auto* status = browser.findChild<QLabel*>("computerStatus");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith("Cannot reach"), 5000);
    QVERIFY2(!status->text().contains('\n'), qPrintable(status->text()));
    QVERIFY(status->text().contains(computer));
    QCOMPARE(objects->count(), before); // the lists stay as they were
}

void tst_PcpCounters::chartOutlivesPmcdStoppedAndStarted() {
    SystemMonitor monitor(m_sources, m_remote);
    MonitorSettings settings;
    const QString computer = m_host->address();
    settings.counters = {{{"memory", "available_bytes", {}, {}}, Qt::red, 1.0},
                         {{"memory", "available_bytes", {}, computer}, Qt::blue, 1.0}};
    monitor.applySettings(settings);
    auto* legend = monitor.findChild<QTreeWidget*>("legend");
    auto lastOf = [&](std::size_t line) { return monitor.chartLines()[line].history->last(); };
    auto computerShown = [&] { return legend->topLevelItem(1)->text(5); };
    QCOMPARE(computerShown(), "\\\\" + computer);
    QTRY_VERIFY_WITH_TIMEOUT(lastOf(1).has_value(), 10000);

    m_host->pmcd().stop();
    // Each tick the computer does not answer leaves a gap; the legend says so.
    QVERIFY(tickUntil(monitor, [&] { return computerShown().contains("not answering"); }));
    QVERIFY(!lastOf(1));
    QVERIFY(lastOf(0)); // this computer's line goes on

    QVERIFY(m_host->pmcd().start());
    QVERIFY(tickUntil(monitor, [&] { return lastOf(1).has_value(); }));
    QCOMPARE(computerShown(), "\\\\" + computer);
}

QTEST_MAIN(tst_PcpCounters)
#include "tst_PcpCounters.moc"
