// Counters of another computer, read from a real pmcd that runs in a network
// namespace of this test, whose interfaces are not the test's own; beside it
// pmcds set up as Debian sets one up, and with fewer agents.
#include "PcpHost.h"
#include "PmcdRequests.h"
#include "TestPmcd.h"
#include "performance_monitor/CounterBrowser.h"
#include "performance_monitor/SystemMonitor.h"
#include "platform/PlatformError.h"
#include "platform/links/RemoteComputerLinks.h"
#include "platform/linux/KernelFile.h"
#include "platform/linux/counters/LinuxCounterSources.h"
#include "platform/pcp/PcpPerfCounters.h"

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

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <sys/mman.h>
#include <unistd.h>

using namespace ombrix;
using namespace ombrix::platform;

namespace {

// Interface names as /proc/net/dev lists them for this process.
QStringList ownInterfaces() {
    QStringList names;
    const auto text = platform::readKernelFile("/proc/net/dev");
    for (const QByteArray& line : QByteArray::fromStdString(text.value_or("")).split('\n'))
        if (line.contains(':'))
            names << QString::fromLatin1(line.left(line.indexOf(':')).trimmed());
    return names;
}

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

// Runs the chart's sampling as its timer would, each tick once the last has
// been charted (answered, or a gap where the computer is silent), until
// done() holds.
template <class Done> bool tickUntil(SystemMonitor& monitor, Done done) {
    QElapsedTimer clock;
    clock.start();
    const auto charted = [&] {
        std::size_t least = SIZE_MAX;
        for (const auto& line : monitor.chartLines())
            least = std::min(least, line.history->size());
        return least;
    };
    while (clock.elapsed() < 20000) {
        const std::size_t before = charted();
        monitor.sampleNow();
        if (QTest::qWaitFor([&] { return done() || charted() > before; }, 5000) && done())
            return true;
    }
    return done();
}

} // namespace

class tst_PcpCounters : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void browserListsThatComputersInterfaces();
    void browserAsksFewRequests();
    void valuesAgreeWithPminfo();
    void sampleIsOneFetch();
    void processSizesPastFourTebibytes();
    void defaultCollectorSaysWhyProcessesAreMissing();
    void collectorWithoutProcessAgent();
    void collectorWithNoCounterStillTellsFacts();
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
    CounterBrowser browser(m_remote);
    browser.show();
    pointAt(browser, "\\\\" + m_host->address() + ":44321");
    auto* status = browser.findChild<QLabel*>("computerStatus");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith("Counters of"), 10000);
    auto* objects = browser.findChild<QComboBox*>("performanceObject");
    objects->setCurrentIndex(objects->findText("Network Interface"));
    // The explanation carries that computer's own help text of the metric.
    QTRY_VERIFY(
        browser.findChild<QLabel*>("explainText")->text().contains("network.interface.in.bytes ("));
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

void tst_PcpCounters::browserAsksFewRequests() {
    // Connecting, listing the objects, the first object's instances and the
    // explanation of its first counter: a few messages, not one per metric,
    // since each costs a round trip to a computer that may be far away.
    PmcdRequests requests(m_host->address());
    const auto before = requests.read();
    QVERIFY(before);
    CounterBrowser browser(m_remote);
    browser.show();
    pointAt(browser, "\\\\" + m_host->address());
    auto* status = browser.findChild<QLabel*>("computerStatus");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith("Counters of"), 10000);
    QTRY_VERIFY(browser.findChild<QListWidget*>("instanceList")->count() > 0);
    // The explanation and anything else the browser asked are answered
    // before a question asked after them: the link answers in order.
    QObject receiver;
    bool answered = false;
    m_remote.link(m_host->address())
        ->ask<int>(
            &receiver, [](platform::PerfCounters&) { return 0; },
            [&](const platform::LinkAnswer<int>&) { answered = true; });
    QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
    const auto after = requests.read();
    QVERIFY(after);
    QVERIFY2(*after - *before <= 12, qPrintable(QString::number(*after - *before)));
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

void tst_PcpCounters::sampleIsOneFetch() {
    PcpPerfCounters counters(m_host->address().toStdString());
    const std::vector<CounterPath> paths{{"memory", "available_bytes", {}, {}},
                                         {"processor", "processor_time", "_Total", {}},
                                         {"processor", "processor_time", "0", {}},
                                         {"process", "working_set", "_Total", {}}};
    counters.sample(paths); // the first also says which instances to bring
    PmcdRequests requests(m_host->address());
    const auto before = requests.read(true);
    const auto sample = counters.sample(paths);
    const auto after = requests.read(true);
    QVERIFY(before && after);
    QCOMPARE(*after - *before, 1.0);
    for (const auto& value : sample.values)
        QVERIFY(value);
}

void tst_PcpCounters::processSizesPastFourTebibytes() {
    // This process reserves 5 TiB of address space, which a 32-bit count of
    // kilobytes cannot hold; that computer's Virtual Bytes of this process
    // are what this process's own status says.
    const std::size_t size = std::size_t{5} << 40;
    void* reserved =
        mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED)
        QSKIP("this machine does not let a process reserve 5 TiB of address space");
    const std::unique_ptr<void, std::function<void(void*)>> unmap(
        reserved, [size](void* p) { munmap(p, size); });
    PcpPerfCounters counters(m_host->address().toStdString());
    const QString self = "tst_PcpCounters#" + QString::number(getpid());
    const auto sample = counters.sample(
        {{"process", "virtual_bytes", self, {}}, {"process", "working_set", self, {}}});
    QVERIFY(sample.values[0] && sample.values[1]);
    const auto status = readKernelFile("/proc/self/status").value_or("");
    const auto at = status.find("VmSize:");
    QVERIFY(at != std::string::npos);
    const double vmSize = std::stod(status.substr(at + 7)) * 1024;
    QVERIFY(vmSize > static_cast<double>(size));
    QVERIFY2(std::abs(sample.values[0]->value - vmSize) < 0.01 * vmSize,
             qPrintable(QString::number(sample.values[0]->value)));
    QVERIFY(sample.values[1]->value > 0);
}

void tst_PcpCounters::defaultCollectorSaysWhyProcessesAreMissing() {
    // Debian's process agent answers only clients it has authenticated.
    TestPmcd debian({m_host->address()}, 44322, m_host->netns(), TestPmcd::Agents::AsDebian);
    if (!debian.why().isEmpty())
        QSKIP(qPrintable(debian.why()));
    CounterBrowser browser(m_remote);
    browser.show();
    pointAt(browser, debian.host());
    auto* status = browser.findChild<QLabel*>("computerStatus");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith("Counters of"), 10000);
    auto* objects = browser.findChild<QComboBox*>("performanceObject");
    auto* counters = browser.findChild<QListWidget*>("counterList");
    objects->setCurrentIndex(objects->findText("Process"));
    QVERIFY(objects->currentIndex() >= 0);
    // The status line says why in one sentence, and how to allow it.
    QVERIFY2(status->text().contains("-A"), qPrintable(status->text()));
    QCOMPARE(status->text().count(". "), 0);
    QCOMPARE(counters->count(), 0);
    QVERIFY(browser.chosenPaths().empty());
    // The other objects are there as ever.
    objects->setCurrentIndex(objects->findText("Processor"));
    QVERIFY(status->text().startsWith("Counters of"));
    QVERIFY(counters->count() > 0);
    QTRY_VERIFY(browser.findChild<QListWidget*>("instanceList")->count() > 1);
}

void tst_PcpCounters::collectorWithoutProcessAgent() {
    TestPmcd plain({m_host->address()}, 44323, m_host->netns(), TestPmcd::Agents::NoProcess);
    if (!plain.why().isEmpty())
        QSKIP(qPrintable(plain.why()));
    PcpPerfCounters counters(plain.host().toStdString());
    QVERIFY(!findObject(counters.objects(), "process"));
    QVERIFY(findObject(counters.objects(), "memory"));
    // Counters it does not offer, asked for anyway (a chart's saved
    // settings), have no value; the others do.
    const auto sample = counters.sample({{"process", "processor_time", "_Total", {}},
                                         {"process", "working_set", "_Total", {}},
                                         {"process", "virtual_bytes", "init#1", {}},
                                         {"memory", "available_bytes", {}, {}}});
    QVERIFY(sample.reachable);
    QVERIFY(!sample.values[0] && !sample.values[1] && !sample.values[2]);
    QVERIFY(sample.values[3]);
}

void tst_PcpCounters::collectorWithNoCounterStillTellsFacts() {
    // A collector with none of the metrics behind our counters is taken for
    // the facts it has: every object says why it offers nothing, the facts
    // come over the same connection, and the connection closes with them.
    TestPmcd bare({m_host->address()}, 44324, m_host->netns(), TestPmcd::Agents::PmcdOnly);
    if (!bare.why().isEmpty())
        QSKIP(qPrintable(bare.why()));
    const auto clients = bare.pminfo("pmcd.numclients"); // with pminfo's own
    QVERIFY(clients);
    {
        PcpPerfCounters counters(bare.host().toStdString());
        QVERIFY(!counters.objects().empty());
        for (const ObjectInfo& object : counters.objects()) {
            QVERIFY(object.counters.empty());
            QVERIFY2(object.unavailable.contains("none of the counters"),
                     qPrintable(object.unavailable));
        }
        const RemoteFacts facts = counters.facts()->read({});
        QVERIFY(facts.reachable);
        QCOMPARE(facts.address, m_host->address());
        QVERIFY(facts.summary.timeZone); // pmcd's own agent tells it
        QCOMPARE(bare.pminfo("pmcd.numclients"), std::optional(*clients + 1));
    }
    QTRY_COMPARE(bare.pminfo("pmcd.numclients"), clients);
}

void tst_PcpCounters::unreachableComputerIsReportedInOneLine_data() {
    QTest::addColumn<QString>("computer");
    QTest::addColumn<QString>("says");
    QTest::newRow("nothing listens on that port") << m_host->address() + ":1"
                                                  << "refused the connection";
    QTest::newRow("unknown name") << "no-such-computer.invalid"
                                  << "no computer of that name";
    QTest::newRow("no answer at all") << m_host->blackholed() << "did not answer";
}

void tst_PcpCounters::unreachableComputerIsReportedInOneLine() {
    QFETCH(QString, computer);
    QFETCH(QString, says);
    CounterBrowser browser(m_remote);
    browser.show();
    auto* objects = browser.findChild<QComboBox*>("performanceObject");
    const int before = objects->count();
    QElapsedTimer clock;
    clock.start();
    pointAt(browser, computer);
    auto* status = browser.findChild<QLabel*>("computerStatus");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith("Cannot reach"), 10000);
    QVERIFY2(!status->text().contains('\n'), qPrintable(status->text()));
    QVERIFY(status->text().contains(computer));
    QVERIFY2(status->text().contains(says), qPrintable(status->text()));
    QVERIFY(before > 0);
    QCOMPARE(objects->count(), 0); // no longer this computer's
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
