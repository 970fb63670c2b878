#include "performance_monitor/sysmon.h"

#include "FakeMachine.h"
#include "app/AppTitle.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "performance_monitor/CounterBrowser.h"
#include "performance_monitor/SystemMonitor.h"
#include "performance_monitor/SystemMonitorProperties.h"
#include "platform/MessageBoxes.h"
#include "platform/linux/counters/LinuxCounterSources.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSysInfo>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>
#include <optional>

using namespace ombrix;

namespace {

SystemMonitorProperties* visibleDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<SystemMonitorProperties*>(w); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

bool anySysmonVisible() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<sysmon*>(w) && w->isVisible())
            return true;
    return false;
}

// Records each message box together with what was on screen while it was up.
struct RecordingMessageBoxes final : platform::MessageBoxes {
    struct Shown {
        QString caption, text;
        Icon icon;
        bool windowVisible, dialogVisible;
    };
    std::vector<Shown> shown;
    void show(const QString& caption, const QString& text, Icon icon) override {
        shown.push_back({caption, text, icon, anySysmonVisible(), visibleDialog() != nullptr});
    }
};

void click(QWidget* parent, const char* name) {
    auto* button = parent->findChild<QPushButton*>(name);
    QVERIFY2(button, name);
    QVERIFY2(button->isEnabled(), name);
    QTest::mouseClick(button, Qt::LeftButton);
}

void selectRows(QListWidget* list, const QStringList& texts) {
    list->clearSelection();
    for (const QString& text : texts) {
        const auto items = list->findItems(text, Qt::MatchExactly);
        QVERIFY2(items.size() == 1, qPrintable(text));
        items.front()->setSelected(true);
        list->setCurrentItem(items.front(), QItemSelectionModel::Select);
    }
}

// "Add..." on the data tab, then the browser: object, counters, instances, "Add", "Close".
void addThroughBrowser(SystemMonitorProperties* dialog, const QString& object,
                       const QStringList& counters, const QStringList& instances) {
    dialog->findChild<QTabWidget*>("propertiesTabs")
        ->setCurrentWidget(dialog->findChild<QWidget*>("dataTab"));
    click(dialog, "addCounterButton");
    CounterBrowser* browser = dialog->counterBrowser();
    QVERIFY(browser && browser->isVisible());
    auto* objects = browser->findChild<QComboBox*>("performanceObject");
    objects->setCurrentIndex(objects->findText(object));
    selectRows(browser->findChild<QListWidget*>("counterList"), counters);
    if (!instances.isEmpty())
        selectRows(browser->findChild<QListWidget*>("instanceList"), instances);
    click(browser, "browserAddButton");
    click(browser, "browserCloseButton");
    QVERIFY(!browser->isVisible());
}

// Counter, instance, object of every legend row.
QStringList legendRows(QWidget* window) {
    QStringList rows;
    auto* legend = window->findChild<QTreeWidget*>("legend");
    for (int i = 0; i < legend->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = legend->topLevelItem(i);
        rows << item->text(2) + "|" + item->text(3) + "|" + item->text(4);
    }
    return rows;
}

} // namespace

class tst_sysmon : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstOpeningShowsMessageThenWindowAndDialog();
    void hiddenWindowReopensAsItWas();
    void propertiesOpensTheDialogAnyNumberOfTimes();
    void addingAndRemovingCountersChangesTheLegend();
    void cancelKeepsTheChart();
    void closingUnloadsCountersAndTimer();
    void dispatch_data();
    void dispatch();
    void readOnlyControlKeepsItsDialogShut();
    void valueBarShowsGapsNotNonsense();
    void machineCountersReachTheValueBar();
    void browserChoosesCountersAndInstances_data();
    void browserChoosesCountersAndInstances();
    void browserReadsTheComputerNamed();
    void browserSaysWhyAnObjectOffersNothing();
    void browserStaysOnTheScreen_data();
    void browserStaysOnTheScreen();
    void legendNamesComputersAndMarksOneThatStopsAnswering();
    void answerAskedBeforeApplyIsDropped();
    void chartStartsWhenAComputerFirstUnreachableAnswers();
    void readingThatThrowsLeavesAGapAndTheChartGoesOn();
    void browserAndChartShareOneLink();

private:
    QWidget* open(); // what the main window's "Execute" does
    // Charts the counters, with the timer running only when asked.
    SystemMonitor* chart(const std::vector<platform::CounterPath>& paths, bool timer = false);
    SystemMonitor* control() {
        return m_forms->get<sysmon>()->findChild<SystemMonitor*>("SystemMonitor1");
    }

    std::unique_ptr<FakeMachine> m_machine;             // its links end after the windows
    FakeCounterSources* m_sources = nullptr;            // the machine's
    FakePerfCounters* m_counters = nullptr;             // this computer's
    platform::CounterSources* m_active = nullptr;       // what the window is built with...
    platform::RemoteComputers* m_activeLinks = nullptr; // ...and the links it reads them over
    std::unique_ptr<RecordingMessageBoxes> m_boxes;
    std::unique_ptr<Forms> m_forms;
    std::vector<QString> m_errors;
    std::optional<ScopedErrorSink> m_sink;
};

void tst_sysmon::init() {
    m_machine = std::make_unique<FakeMachine>();
    m_sources = &m_machine->counterSources;
    m_counters = &m_sources->localCounters;
    m_active = m_sources;
    m_activeLinks = &m_machine->remoteComputers;
    m_boxes = std::make_unique<RecordingMessageBoxes>();
    m_forms = std::make_unique<Forms>();
    m_errors.clear();
    m_sink.emplace([this](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            m_errors.push_back(QString::fromUtf8(e.what()));
        }
    });
    m_forms->add<sysmon>([this] {
        auto w = std::make_unique<sysmon>(*m_active, *m_activeLinks, *m_boxes, *m_forms);
        w->Form_Load();
        return w;
    });
    m_forms->addMain<QWidget>([] { return std::make_unique<QWidget>(); });
}

void tst_sysmon::cleanup() {
    QVERIFY2(m_errors.empty(), m_errors.empty() ? "" : qPrintable(m_errors.front()));
    m_forms.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_machine.reset();
    m_sink.reset();
}

QWidget* tst_sysmon::open() {
    m_forms->get<sysmon>()->enableProperties();
    return m_forms->show<sysmon>();
}

SystemMonitor* tst_sysmon::chart(const std::vector<platform::CounterPath>& paths, bool timer) {
    QWidget* window = open();
    if (!timer)
        window->findChild<QTimer*>("sampleTimer")->stop();
    MonitorSettings settings;
    for (const auto& path : paths)
        settings.counters.push_back({path, defaultCounterColour(settings.counters.size()), 1.0});
    control()->applySettings(settings);
    return control();
}

void tst_sysmon::firstOpeningShowsMessageThenWindowAndDialog() {
    QWidget* window = open();
    QCOMPARE(m_boxes->shown.size(), 1u);
    const auto& box = m_boxes->shown.front();
    QCOMPARE(box.caption, appTitle());
    QCOMPARE(box.icon, platform::MessageBoxes::Icon::None);
    QCOMPARE(box.text, QStringLiteral("Click on the data tab, then the add button on the next "
                                      "screen & then add the information you want to be shown"));
    QVERIFY(!box.windowVisible);
    QVERIFY(!box.dialogVisible);
    QVERIFY(window->isVisible());
    QVERIFY(visibleDialog());
    QCOMPARE(control()->get(SystemMonitor::ReadOnly), QVariant(false));
}

void tst_sysmon::hiddenWindowReopensAsItWas() {
    QWidget* window = open();
    SystemMonitorProperties* dialog = visibleDialog();
    addThroughBrowser(dialog, "Memory", {"Available Bytes"}, {});
    click(dialog, "okButton");
    QVERIFY(!visibleDialog());

    window->findChild<QAction*>("Properties")->trigger();
    QVERIFY(visibleDialog());
    window->findChild<QAction*>("System")->trigger();
    QVERIFY(!window->isVisible());
    QVERIFY(m_forms->isLoaded<sysmon>());
    QVERIFY(m_forms->window<QWidget>()->isVisible());

    QCOMPARE(open(), window);
    QVERIFY(window->isVisible());
    QCOMPARE(m_boxes->shown.size(), 1u);
    QVERIFY(!visibleDialog());
    QCOMPARE(legendRows(window), QStringList{"Available Bytes|---|Memory"});
}

void tst_sysmon::propertiesOpensTheDialogAnyNumberOfTimes() {
    QWidget* window = open();
    QAction* properties = window->findChild<QAction*>("Properties");
    for (int i = 0; i < 3; ++i) {
        SystemMonitorProperties* dialog = visibleDialog();
        QVERIFY(dialog);
        click(dialog, "cancelButton");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!visibleDialog());
        properties->trigger();
    }
    // Asking while it is open brings the same dialog forward.
    SystemMonitorProperties* dialog = visibleDialog();
    properties->trigger();
    QCOMPARE(visibleDialog(), dialog);
    int dialogs = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        dialogs += qobject_cast<SystemMonitorProperties*>(w) && w->isVisible();
    QCOMPARE(dialogs, 1);
}

void tst_sysmon::addingAndRemovingCountersChangesTheLegend() {
    QWidget* window = open();
    SystemMonitorProperties* dialog = visibleDialog();
    addThroughBrowser(dialog, "Processor", {"% Processor Time", "Interrupts/sec"}, {"_Total", "1"});
    addThroughBrowser(dialog, "Processor", {"% Processor Time"}, {"1"}); // already there
    click(dialog, "applyButton");
    QCOMPARE(legendRows(window),
             (QStringList{"% Processor Time|_Total|Processor", "% Processor Time|1|Processor",
                          "Interrupts/sec|_Total|Processor", "Interrupts/sec|1|Processor"}));

    auto* list = dialog->findChild<QListWidget*>("dataCounters");
    QCOMPARE(list->count(), 4);
    list->setCurrentRow(1);
    click(dialog, "removeCounterButton");
    list->setCurrentRow(0);
    click(dialog, "removeCounterButton");
    click(dialog, "okButton");
    QCOMPARE(legendRows(window),
             (QStringList{"Interrupts/sec|_Total|Processor", "Interrupts/sec|1|Processor"}));
    QVERIFY(!visibleDialog());
}

void tst_sysmon::cancelKeepsTheChart() {
    QWidget* window = open();
    SystemMonitorProperties* dialog = visibleDialog();
    addThroughBrowser(dialog, "Memory", {"Available Bytes"}, {});
    click(dialog, "cancelButton");
    QVERIFY(legendRows(window).isEmpty());

    // Escape drops the edits too: the next opening starts from the chart.
    window->findChild<QAction*>("Properties")->trigger();
    dialog = visibleDialog();
    addThroughBrowser(dialog, "Memory", {"Available Bytes"}, {});
    QTest::keyClick(dialog, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!visibleDialog());
    window->findChild<QAction*>("Properties")->trigger();
    QCOMPARE(visibleDialog()->findChild<QListWidget*>("dataCounters")->count(), 0);
    QVERIFY(legendRows(window).isEmpty());
}

void tst_sysmon::closingUnloadsCountersAndTimer() {
    QWidget* window = open();
    SystemMonitorProperties* dialog = visibleDialog();
    addThroughBrowser(dialog, "Memory", {"Available Bytes"}, {});
    click(dialog, "okButton");
    QPointer<QTimer> timer = window->findChild<QTimer*>("sampleTimer");
    QVERIFY(timer && timer->isActive());

    QVERIFY(window->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!m_forms->isLoaded<sysmon>());
    QVERIFY(!timer);

    window = open();
    QCOMPARE(m_boxes->shown.size(), 2u);
    QVERIFY(visibleDialog());
    QVERIFY(legendRows(window).isEmpty());
}

void tst_sysmon::dispatch_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("dispid");
    QTest::newRow("reading an unknown property") << "get" << 41;
    QTest::newRow("setting an unknown property") << "put" << 23;
    QTest::newRow("calling an unknown method") << "call" << 40;
    QTest::newRow("calling a made-up id") << "call" << 9999;
}

void tst_sysmon::dispatch() {
    QFETCH(QString, kind);
    QFETCH(int, dispid);
    open();
    platform::Dispatch& d = *control();
    auto act = [&] {
        if (kind == "get")
            d.get(dispid);
        else if (kind == "put")
            d.put(dispid, false);
        else
            d.call(dispid);
    };
    QVERIFY_THROWS_EXCEPTION(platform::PlatformError, act());
}

void tst_sysmon::readOnlyControlKeepsItsDialogShut() {
    open();
    click(visibleDialog(), "cancelButton");
    platform::Dispatch& d = *control();
    d.put(SystemMonitor::ReadOnly, true);
    QCOMPARE(d.get(SystemMonitor::ReadOnly), QVariant(true));
    m_forms->get<sysmon>()->findChild<QAction*>("Properties")->trigger();
    QVERIFY(!visibleDialog());
    d.put(SystemMonitor::ReadOnly, false);
    m_forms->get<sysmon>()->findChild<QAction*>("Properties")->trigger();
    QVERIFY(visibleDialog());
}

void tst_sysmon::valueBarShowsGapsNotNonsense() {
    QWidget* window = open();
    window->findChild<QTimer*>("sampleTimer")->stop();
    const QString path = FakePerfCounters::key({"processor", "interrupts", "_Total", {}});
    m_counters->readings[path] = {1000, 0, 0};
    m_counters->seconds = 10;
    SystemMonitorProperties* dialog = visibleDialog();
    addThroughBrowser(dialog, "Processor", {"Interrupts/sec"}, {"_Total"});
    click(dialog, "okButton"); // takes the first reading: no rate yet
    auto* last = window->findChild<QLabel*>("lastValue");
    auto* maximum = window->findChild<QLabel*>("maximumValue");
    QCOMPARE(last->text(), QString());

    SystemMonitor* monitor = control();
    auto step = [&](double value, double seconds) {
        m_counters->readings[path] = {value, 0, 0};
        m_counters->seconds = seconds;
        monitor->sampleNow();
    };
    step(1400, 12); // 200 a second
    QCOMPARE(last->text(), QStringLiteral("200.000"));
    step(100, 13); // went backwards
    QCOMPARE(last->text(), QString());
    QCOMPARE(maximum->text(), QStringLiteral("200.000"));
    m_counters->readings.remove(path); // the instance is gone
    m_counters->seconds = 14;
    monitor->sampleNow();
    QCOMPARE(last->text(), QString());
    step(400, 15); // back, but no reading before it
    QCOMPARE(last->text(), QString());
    step(700, 16);
    QCOMPARE(last->text(), QStringLiteral("300.000"));
    QCOMPARE(window->findChild<QLabel*>("averageValue")->text(), QStringLiteral("250.000"));
    QCOMPARE(maximum->text(), QStringLiteral("300.000"));
}

void tst_sysmon::machineCountersReachTheValueBar() {
    platform::LinuxCounterSources machine;
    platform::RemoteComputerLinks links(machine, nullptr);
    m_active = &machine;
    m_activeLinks = &links;
    QWidget* window = open();
    SystemMonitorProperties* dialog = visibleDialog();
    addThroughBrowser(dialog, "Memory", {"Available Bytes"}, {});
    addThroughBrowser(dialog, "Processor", {"% Processor Time"}, {"_Total"});
    click(dialog, "okButton");
    QCOMPARE(legendRows(window),
             (QStringList{"Available Bytes|---|Memory", "% Processor Time|_Total|Processor"}));
    // The gauge shows at once; the processor's rate needs a second reading.
    const QString shown = window->findChild<QLabel*>("lastValue")->text();
    bool ok = false;
    const double bytes = QLocale().toDouble(shown, &ok);
    QVERIFY2(ok && bytes > 0, qPrintable(shown));
    auto* legend = window->findChild<QTreeWidget*>("legend");
    legend->setCurrentItem(legend->topLevelItem(1));
    QCOMPARE(window->findChild<QLabel*>("lastValue")->text(), QString());
    QTest::qWait(50);
    control()->sampleNow();
    const double busy = QLocale().toDouble(window->findChild<QLabel*>("lastValue")->text(), &ok);
    QVERIFY(ok && busy >= 0 && busy <= 100);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // before machine goes
}

void tst_sysmon::browserChoosesCountersAndInstances_data() {
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("counterChoice");  // "all" or one counter
    QTest::addColumn<QString>("instanceChoice"); // "all" or one instance
    QTest::addColumn<QStringList>("paths");
    QTest::newRow("one counter of one instance")
        << "Processor"
        << "Interrupts/sec"
        << "1" << QStringList{"\\Processor(1)\\Interrupts/sec"};
    QTest::newRow("all counters of the total")
        << "Processor"
        << "all"
        << "_Total"
        << QStringList{"\\Processor(_Total)\\% Processor Time",
                       "\\Processor(_Total)\\Interrupts/sec"};
    QTest::newRow("all instances: each one, not the total too")
        << "Processor"
        << "% Processor Time"
        << "all"
        << QStringList{"\\Processor(0)\\% Processor Time", "\\Processor(1)\\% Processor Time"};
    QTest::newRow("object without instances") << "Memory"
                                              << "all"
                                              << "all" << QStringList{"\\Memory\\Available Bytes"};
}

void tst_sysmon::browserChoosesCountersAndInstances() {
    QFETCH(QString, object);
    QFETCH(QString, counterChoice);
    QFETCH(QString, instanceChoice);
    QFETCH(QStringList, paths);
    CounterBrowser browser(m_machine->remoteComputers);
    browser.show();
    // Picking from the lists is where the browser starts.
    QVERIFY(browser.findChild<QRadioButton*>("selectCounters")->isChecked());
    QVERIFY(browser.findChild<QRadioButton*>("selectInstances")->isChecked());
    auto* objects = browser.findChild<QComboBox*>("performanceObject");
    objects->setCurrentIndex(objects->findText(object));
    auto choose = [&](const QString& choice, const char* all, const char* some, const char* list) {
        if (choice == "all") {
            browser.findChild<QRadioButton*>(all)->click();
        } else {
            browser.findChild<QRadioButton*>(some)->click();
            selectRows(browser.findChild<QListWidget*>(list), {choice});
        }
    };
    choose(counterChoice, "allCounters", "selectCounters", "counterList");
    if (object != "Memory")
        choose(instanceChoice, "allInstances", "selectInstances", "instanceList");
    // Each choice keeps its own answer.
    QCOMPARE(browser.findChild<QRadioButton*>("allCounters")->isChecked(), counterChoice == "all");
    QStringList chosen;
    for (const auto& path : browser.chosenPaths())
        chosen << platform::counterPathText(path, m_counters->objects());
    QCOMPARE(chosen, paths);
}

void tst_sysmon::browserReadsTheComputerNamed() {
    m_sources->remote.catalogue.pop_back(); // that computer offers the processor only
    m_sources->remote.instanceLists = {{"processor", {"_Total", "0", "1", "2", "3"}}};
    m_sources->setUnreachable({"nowhere"});
    CounterBrowser browser(m_machine->remoteComputers);
    browser.show();
    auto* local = browser.findChild<QRadioButton*>("localComputer");
    QVERIFY(local->isChecked());
    auto* objects = browser.findChild<QComboBox*>("performanceObject");
    auto* instances = browser.findChild<QListWidget*>("instanceList");
    auto* status = browser.findChild<QLabel*>("computerStatus");
    auto* name = browser.findChild<QComboBox*>("computerName");
    QCOMPARE(objects->count(), 2);

    // Typing alone connects once the text rests, with or without the leading \\.
    browser.findChild<QRadioButton*>("remoteComputer")->click();
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), "\\\\far:4000");
    QTRY_COMPARE(status->text(), QStringLiteral("Counters of \\\\far:4000"));
    QCOMPARE(m_sources->connected(), QStringList{"far:4000"});
    QCOMPARE(objects->count(), 1);
    QTRY_COMPARE(instances->count(), 5);
    QCOMPARE(platform::counterPathText(browser.chosenPaths().front(), m_counters->objects()),
             QStringLiteral("\\\\far:4000\\Processor(_Total)\\% Processor Time"));

    // A computer that cannot be reached says so in one line, and the lists
    // no longer show the one before. Enter there connects and adds nothing;
    // the keyboard's focus is on the field, which hands keys to its line edit.
    int added = 0;
    connect(&browser, &CounterBrowser::countersChosen, this, [&] { ++added; });
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), "nowhere");
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(added, 0);
    QTRY_COMPARE(status->text(),
                 QStringLiteral("Cannot reach \\\\nowhere: No route to host. No counters are "
                                "listed."));
    QCOMPARE(objects->count(), 0);
    QCOMPARE(instances->count(), 0);
    QVERIFY(browser.chosenPaths().empty());
    // A port that is none is named as such, and nothing is tried.
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), "far:99999");
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(status->text(), QStringLiteral("\\\\far:99999: \"99999\" is not a port (a port is a "
                                            "number from 1 to 65535). No counters are listed."));
    QCOMPARE(m_sources->connected(), (QStringList{"far:4000", "nowhere"}));

    // Back to this computer; the one used before is offered again.
    local->click();
    QCOMPARE(objects->count(), 2);
    QVERIFY(browser.chosenPaths().front().computer.isEmpty());
    QVERIFY(name->findText("\\\\far:4000") >= 0);
    // A browser opened later offers it too, and not the one never reached.
    CounterBrowser later(m_machine->remoteComputers);
    auto* offered = later.findChild<QComboBox*>("computerName");
    QVERIFY(offered->findText("\\\\far:4000") >= 0);
    QCOMPARE(offered->findText("\\\\nowhere"), -1);
}

void tst_sysmon::browserSaysWhyAnObjectOffersNothing() {
    // That computer keeps its processes to itself, and explains its
    // processor counters in words of its own, which it gives when asked.
    const QString why = "That computer keeps its processes to itself.";
    platform::ObjectInfo processes{"process", "Process", "Processes.", {}, true, true, why};
    m_sources->remote.catalogue.push_back(processes);
    m_sources->remote.explanations["processor|processor_time"] = "Busy share, over there.";
    CounterBrowser browser(m_machine->remoteComputers);
    browser.show();
    auto* objects = browser.findChild<QComboBox*>("performanceObject");
    auto* counters = browser.findChild<QListWidget*>("counterList");
    auto* status = browser.findChild<QLabel*>("computerStatus");
    auto* explain = browser.findChild<QLabel*>("explainText");
    browser.findChild<QRadioButton*>("remoteComputer")->click();
    auto* name = browser.findChild<QComboBox*>("computerName");
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), "far");
    QTest::keyClick(name->lineEdit(), Qt::Key_Return);
    QTRY_COMPARE(status->text(), QStringLiteral("Counters of \\\\far"));
    QTRY_COMPARE(explain->text(), QStringLiteral("Busy share, over there."));

    objects->setCurrentIndex(objects->findText("Process"));
    QCOMPARE(status->text(), why);
    QCOMPARE(counters->count(), 0);
    QVERIFY(browser.chosenPaths().empty());
    // Another computer named while it shows: what becomes of that one.
    m_sources->setUnreachable({"nowhere"});
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), "nowhere");
    QTest::keyClick(name->lineEdit(), Qt::Key_Return);
    QTRY_VERIFY(status->text().startsWith("Cannot reach \\\\nowhere"));
    objects->setCurrentIndex(objects->findText("Processor"));
    QVERIFY(status->text().startsWith("Cannot reach \\\\nowhere"));
}

void tst_sysmon::browserStaysOnTheScreen_data() {
    QTest::addColumn<int>("length");
    QTest::newRow("the longest DNS name") << 253;
    QTest::newRow("5,000 characters") << 5000;
}

void tst_sysmon::browserStaysOnTheScreen() {
    // A name that cannot be reached comes back in the status line; however
    // long, the dialog keeps within the screen and its buttons in sight.
    QFETCH(int, length);
    const QString computer = QString(length, 'w');
    m_sources->setUnreachable({computer});
    CounterBrowser browser(m_machine->remoteComputers);
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    browser.findChild<QRadioButton*>("remoteComputer")->click();
    auto* name = browser.findChild<QComboBox*>("computerName");
    name->lineEdit()->setText(computer);
    QTest::keyClick(name->lineEdit(), Qt::Key_Return);
    auto* status = browser.findChild<QLabel*>("computerStatus");
    QTRY_VERIFY(status->text().startsWith("Cannot reach"));
    QVERIFY(status->text().contains(computer)); // whole, for the tooltip and screen readers
    QTest::qWait(50);
    const QRect screen = browser.screen()->availableGeometry();
    QVERIFY2(browser.frameGeometry().width() <= screen.width(),
             qPrintable(QString::number(browser.frameGeometry().width())));
    QVERIFY(browser.frameGeometry().height() <= screen.height());
    for (const char* button : {"browserAddButton", "browserCloseButton"}) {
        auto* b = browser.findChild<QPushButton*>(button);
        QVERIFY(b->isVisible());
        const QRect at(b->mapToGlobal(QPoint(0, 0)), b->size());
        QVERIFY2(screen.contains(at), button);
        QVERIFY2(browser.rect().contains(QRect(b->mapTo(&browser, QPoint(0, 0)), b->size())),
                 button);
    }
}

void tst_sysmon::legendNamesComputersAndMarksOneThatStopsAnswering() {
    const platform::CounterPath here{"memory", "available_bytes", {}, {}};
    const platform::CounterPath there{"memory", "available_bytes", {}, "far"};
    m_counters->readings[FakePerfCounters::key(here)] = {100, 0, 0};
    m_sources->remote.readings[FakePerfCounters::key(there)] = {200, 0, 0};
    QWidget* window = open();
    window->findChild<QTimer*>("sampleTimer")->stop();
    SystemMonitor* monitor = control();
    MonitorSettings settings;
    settings.counters = {{here, Qt::red, 1.0}, {there, Qt::blue, 1.0}};
    monitor->applySettings(settings);
    auto* legend = window->findChild<QTreeWidget*>("legend");
    auto computer = [&](int row) { return legend->topLevelItem(row)->text(5); };
    auto last = [&](std::size_t line) { return monitor->chartLines()[line].history->last(); };
    QCOMPARE(computer(0), "\\\\" + QSysInfo::machineHostName());
    QCOMPARE(computer(1), QStringLiteral("\\\\far"));
    QCOMPARE(last(0), std::optional(100.0));
    QTRY_COMPARE(last(1), std::optional(200.0)); // it answers on its own thread

    *m_sources->remoteDown = true;
    monitor->sampleNow();
    QTRY_COMPARE(computer(1), QStringLiteral("\\\\far (not answering)"));
    // The verdict and the reading that found the computer silent come in
    // turn: the gap follows.
    QTRY_COMPARE(last(1), std::nullopt);
    QCOMPARE(last(0), std::optional(100.0));

    *m_sources->remoteDown = false;
    monitor->sampleNow();
    QTRY_COMPARE(last(1), std::optional(200.0));
    QCOMPARE(computer(1), QStringLiteral("\\\\far"));
}

void tst_sysmon::answerAskedBeforeApplyIsDropped() {
    // That computer has two gauges, and its readings wait at a gate.
    for (FakePerfCounters* counters : {m_counters, &m_sources->remote})
        counters->catalogue[1].counters.push_back(
            {"committed_bytes", "Committed Bytes", "In use.", platform::CounterKind::Gauge, 1, 1});
    const platform::CounterPath available{"memory", "available_bytes", {}, "far"};
    const platform::CounterPath committed{"memory", "committed_bytes", {}, "far"};
    m_sources->remote.readings[FakePerfCounters::key(available)] = {200, 0, 0};
    m_sources->remote.readings[FakePerfCounters::key(committed)] = {7, 0, 0};
    auto gate = std::make_shared<FakeGate>();
    m_sources->remote.gate = gate;
    SystemMonitor* monitor = chart({available});
    QTRY_COMPARE(gate->waiting(), 1); // the available bytes are being read

    // Apply puts another counter where that reading's value would have gone.
    MonitorSettings settings = monitor->settings();
    settings.counters.insert(settings.counters.begin(), {committed, Qt::blue, 1.0});
    monitor->applySettings(settings);
    gate->open();
    auto line = [&](std::size_t i) { return monitor->chartLines()[i].history; };
    QTRY_COMPARE(line(0)->last(), std::optional(7.0));
    QCOMPARE(line(1)->last(), std::optional(200.0));
    QCoreApplication::processEvents();
    QCOMPARE(line(0)->statistics()->maximum, 7.0); // 200 never landed there
    QCOMPARE(line(0)->statistics()->minimum, 7.0);
}

void tst_sysmon::chartStartsWhenAComputerFirstUnreachableAnswers() {
    const platform::CounterPath there{"memory", "available_bytes", {}, "far"};
    m_sources->remote.readings[FakePerfCounters::key(there)] = {200, 0, 0};
    m_sources->setUnreachable({"far"});
    SystemMonitor* monitor = chart({there}, true);
    auto* legend = monitor->findChild<QTreeWidget*>("legend");
    QTRY_COMPARE(legend->topLevelItem(0)->text(5), QStringLiteral("\\\\far (not answering)"));

    // The computer comes up; nobody touches the chart, its timer runs on.
    m_sources->setUnreachable({});
    QTRY_COMPARE_WITH_TIMEOUT(monitor->chartLines()[0].history->last(), std::optional(200.0),
                              10000);
    QCOMPARE(legend->topLevelItem(0)->text(5), QStringLiteral("\\\\far"));
    QVERIFY(m_sources->connected().size() >= 2);
}

void tst_sysmon::readingThatThrowsLeavesAGapAndTheChartGoesOn() {
    const platform::CounterPath here{"memory", "available_bytes", {}, {}};
    const platform::CounterPath there{"memory", "available_bytes", {}, "far"};
    m_counters->readings[FakePerfCounters::key(here)] = {100, 0, 0};
    m_sources->remote.readings[FakePerfCounters::key(there)] = {200, 0, 0};
    m_sources->remote.broken = std::make_shared<std::atomic<bool>>(true);
    SystemMonitor* monitor = chart({here, there});
    auto* legend = monitor->findChild<QTreeWidget*>("legend");
    QTRY_COMPARE(legend->topLevelItem(1)->text(5), QStringLiteral("\\\\far (failed: map::at)"));
    auto last = [&](std::size_t line) { return monitor->chartLines()[line].history->last(); };
    QCOMPARE(last(1), std::nullopt);
    QCOMPARE(last(0), std::optional(100.0));

    *m_sources->remote.broken = false;
    monitor->sampleNow();
    QTRY_COMPARE(last(1), std::optional(200.0));
    QCOMPARE(legend->topLevelItem(1)->text(5), QStringLiteral("\\\\far"));
}

void tst_sysmon::browserAndChartShareOneLink() {
    const platform::CounterPath there{"memory", "available_bytes", {}, "far"};
    m_sources->remote.readings[FakePerfCounters::key(there)] = {200, 0, 0};
    QWidget* window = open();
    window->findChild<QTimer*>("sampleTimer")->stop();
    SystemMonitorProperties* dialog = visibleDialog();
    click(dialog, "addCounterButton");
    CounterBrowser* browser = dialog->counterBrowser();
    browser->findChild<QRadioButton*>("remoteComputer")->click();
    auto* name = browser->findChild<QComboBox*>("computerName");
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), "far");
    QTest::keyClick(name->lineEdit(), Qt::Key_Return);
    auto* status = browser->findChild<QLabel*>("computerStatus");
    QTRY_COMPARE(status->text(), QStringLiteral("Counters of \\\\far"));
    auto* objects = browser->findChild<QComboBox*>("performanceObject");
    objects->setCurrentIndex(objects->findText("Memory"));
    click(browser, "browserAddButton");
    click(dialog, "applyButton");
    SystemMonitor* monitor = control();
    QTRY_COMPARE(monitor->chartLines()[0].history->last(), std::optional(200.0));
    QCOMPARE(m_sources->connected(), QStringList{"far"});

    // One verdict: what the chart finds, the browser says too.
    *m_sources->remoteDown = true;
    monitor->sampleNow();
    QTRY_COMPARE(status->text(),
                 QStringLiteral("Cannot reach \\\\far: The computer does not answer"));
    auto* legend = window->findChild<QTreeWidget*>("legend");
    QCOMPARE(legend->topLevelItem(0)->text(5), QStringLiteral("\\\\far (not answering)"));
    // Sampled again as the chart's timer would: while the last request is
    // unanswered a sample is a gap, with no second request behind it.
    *m_sources->remoteDown = false;
    QTRY_VERIFY((monitor->sampleNow(), status->text() == QStringLiteral("Counters of \\\\far")));
    QCOMPARE(legend->topLevelItem(0)->text(5), QStringLiteral("\\\\far"));
}

QTEST_MAIN(tst_sysmon)
#include "tst_sysmon.moc"
