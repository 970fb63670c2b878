// Another computer's collector is input like a file the user opens: a pmcd of
// this test serves, through hostile_pmda.py, every metric the program reads
// with values chosen to hurt, and the counter browser and the chart stay
// whole and bounded.
#include "TestPmcd.h"
#include "performance_monitor/CounterBrowser.h"
#include "performance_monitor/SystemMonitor.h"
#include "platform/linux/LinuxCounterSources.h"
#include "platform/linux/RemoteComputerLinks.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include <cmath>
#include <csignal>

#include <unistd.h>

using namespace ombrix;
using namespace ombrix::platform;

class tst_HostileCollector : public QObject {
    Q_OBJECT
private slots:
    // libpcp keeps a lost connection from ending the program, as it leaves
    // SIGPIPE ignored where nobody handles it; here the test's crash handler
    // does, and a pmcd stopped under a request would end the test.
    void initTestCase() { signal(SIGPIPE, SIG_IGN); }
    void windowsStayWholeAndBounded_data();
    void windowsStayWholeAndBounded();

private:
    LinuxCounterSources m_sources{OMBRIX_BIN_DIR "/libombrix_pcp.so"};
    RemoteComputerLinks m_remote{m_sources, nullptr};
    int m_port = 45000 + getpid() % 2000;
};

void tst_HostileCollector::windowsStayWholeAndBounded_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("capped");    // the instance lists hold 100,000
    QTest::addColumn<bool>("backwards"); // no rate ever has a value
    QTest::addColumn<int>("values");     // some line has a value at last: 1 yes, 0 no, -1 either
    for (const char* mode : {"normal", "long", "empty", "badutf8", "control", "max", "zero",
                             "negative", "types", "repeated", "slow"})
        QTest::newRow(mode) << mode << false << false << 1;
    QTest::newRow("nan") << "nan" << false << false << 0;
    // Which type the descriptor has when the program asks depends on the fetches before.
    QTest::newRow("changing") << "changing" << false << false << -1;
    QTest::newRow("many") << "many" << true << false << 1;
    QTest::newRow("backwards") << "backwards" << false << true << 1;
}

void tst_HostileCollector::windowsStayWholeAndBounded() {
    QFETCH(QString, mode);
    QFETCH(bool, capped);
    QFETCH(bool, backwards);
    QFETCH(int, values);
    TestPmcd pmcd({"127.0.0.1"}, ++m_port, {}, TestPmcd::Agents::Hostile, {}, mode);
    if (!pmcd.why().isEmpty())
        QSKIP(qPrintable(pmcd.why()));

    CounterBrowser browser(m_sources, m_remote);
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
        QTest::qWait(200); // that computer's words on the first counter
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
    for (int tick = 0; tick < 100 && (tick < 6 || (values == 1 && !valued())); ++tick) {
        monitor.sampleNow();
        QTest::qWait(300);
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

QTEST_MAIN(tst_HostileCollector)
#include "tst_HostileCollector.moc"
