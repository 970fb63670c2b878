// The windows of another computer, as "--computer" opens them: over a pmcd
// of the test's own that runs in a network namespace, under a host name of
// its own, which the test stops and starts again while the windows are open.
#include "FakeMachine.h"
#include "FakeMessageBoxes.h"
#include "FakePrinters.h"
#include "PcpHost.h"
#include "ProgramThreads.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "drive_details/Drive.h"
#include "main_window/Ombrix2.h"
#include "main_window/PrinterInstallControl.h"
#include "main_window/PrintersWindow.h"
#include "network_report/frmNetCheck.h"
#include "performance_monitor/CounterBrowser.h"
#include "performance_monitor/SystemMonitor.h"
#include "performance_monitor/SystemMonitorProperties.h"
#include "performance_monitor/sysmon.h"
#include "platform/remote/RemoteMachine.h"
#include "program/Program.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

using namespace ombrix;

class tst_RemoteWindows : public QObject {
    Q_OBJECT
    ProgramThreads m_threads;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void windowsReadThatComputer();
    void silentComputerKeepsItsLastReadings();
    void readingsKeepTheLastWhileSilent();
    void collectorWithoutCountersKeepsAnswering();
    void counterChoiceStartsOnThatComputer();
    void drivesReadWhileFreshFactsArrive();
    void computerOpensBesideTheOthers();

private:
    // The program as main() builds it for "--computer", with its message
    // boxes recorded.
    struct Program {
        program::Program parts{sendToErrorSink};
        std::optional<PrinterInstallControl> printerInstall;
        FakeMessageBoxes boxes;
        Forms forms;
        explicit Program(const QString& computer) {
            parts.showComputer(computer);
            printerInstall.emplace(parts.machine().printers, parts.notCarried());
            WindowServices s = parts.windowServices(*printerInstall, [] {});
            registerWindows(forms, {s.machine, s.printerInstall, s.endProgram, s.counterSources,
                                    s.remoteComputers, boxes, nullptr, nullptr, s.notCarried});
        }
        ~Program() { forms.destroyAll(); }
        Ombrix2* main() { return qobject_cast<Ombrix2*>(forms.showMain()); }
        platform::RemoteComputerLinks& links() { return parts.local().remoteComputers; }
    };

    QString m_name; // the host name the collector's computer gives itself
    std::unique_ptr<PcpHost> m_host;
};

void tst_RemoteWindows::initTestCase() {
    m_name = QStringLiteral("ombrix-far-%1").arg(getpid());
    m_host = std::make_unique<PcpHost>(m_name, 247);
}

// Skips a test where this machine will not run the test's collector.
#define REQUIRE_COLLECTOR()                                                                        \
    if (!m_host->why().isEmpty())                                                                  \
    QSKIP(qPrintable("needs a collector of the test's own: " + m_host->why()))

void tst_RemoteWindows::cleanupTestCase() {
    m_host.reset();
}

namespace {

// The line under a window's facts that names what cannot be known of that
// computer, as its label shows it to every user; empty where there is none.
QString notCarriedLine(const QWidget* window) {
    const auto* label = window->findChild<QLabel*>("notCarried");
    if (!label || !label->isVisible())
        return {};
    return label->accessibleName() == label->text() ? label->text() : "not its accessible name";
}

} // namespace

// The main window names the collector's computer, and the network report
// lists that computer's interfaces, which this one does not have. Each
// window says in a line what cannot be known of that computer.
void tst_RemoteWindows::windowsReadThatComputer() {
    REQUIRE_COLLECTOR();
    Program program(m_host->address());
    Ombrix2* main = program.main();
    QVERIFY(main);
    QVERIFY2(main->windowTitle().endsWith(" " + m_name), qPrintable(main->windowTitle()));
    QCOMPARE(main->findChild<QLabel*>("Label20")->text(), m_name);
    QCOMPARE(main->findChild<QLabel*>("Label11")->text(), m_host->address());
    for (const char* value : {"lblRamTotal", "lblRamAvail", "LblOS"})
        QVERIFY2(!main->findChild<QLabel*>(value)->text().isEmpty(), value);

    main->findChild<QAbstractButton*>("Command3")->click();
    auto* report = program.forms.get<frmNetCheck>();
    QVERIFY(report && report->isVisible());
    report->findChild<QAbstractButton*>("cmdNetCheck")->click();
    QStringList lines;
    const auto* list = report->findChild<QListWidget*>("List1");
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    QVERIFY2(lines.contains("Adapter Name: " + m_host->extraInterface()),
             qPrintable(lines.join('|')));
    QVERIFY2(lines.contains("Host Name: " + m_name), qPrintable(lines.join('|')));
    // Whether an address was leased nobody there tells: no "False".
    QVERIFY2(lines.contains("   DHCP Enabled: "), qPrintable(lines.join('|')));
    const QStringList notCarried = program.parts.notCarried()();
    QCOMPARE(notCarriedLine(main), NotCarriedLine(notCarried, "summary"));
    QVERIFY(!notCarriedLine(main).isEmpty()); // no collector tells of a floppy drive
    QCOMPARE(notCarriedLine(report), NotCarriedLine(notCarried, "network"));
    QVERIFY(!notCarriedLine(report).isEmpty());

    // A disc of that computer is at "/": the drive window shows its size.
    main->findChild<QAbstractButton*>("Command4")->click();
    auto* drive = program.forms.get<Drive>();
    QVERIFY(drive && drive->isVisible());
    QTRY_VERIFY(!drive->findChild<QLabel*>("LblTot")->text().isEmpty());
    QCOMPARE(notCarriedLine(drive), NotCarriedLine(notCarried, "drives"));
    QVERIFY(!notCarriedLine(drive).isEmpty()); // nor of serial numbers

    // Its print scheduler cannot be reached from here (nothing of the
    // test's listens there): that is named, not shown as no printers.
    main->findChild<QAbstractButton*>("Command2")->click();
    PrintersWindow* printers = program.printerInstall->window();
    QVERIFY(printers);
    QTRY_VERIFY(!notCarriedLine(printers).isEmpty());
    QVERIFY(program.parts.notCarried()().contains("printers"));
    QCOMPARE(notCarriedLine(printers), NotCarriedLine(program.parts.notCarried()(), "printers"));
}

// A computer that stops answering keeps its readings on show and says so
// after the caption, until it answers again.
void tst_RemoteWindows::silentComputerKeepsItsLastReadings() {
    REQUIRE_COLLECTOR();
    Program program(m_host->address());
    Ombrix2* main = program.main();
    const QString caption = main->windowTitle();
    auto* total = main->findChild<QLabel*>("lblRamTotal");
    auto* available = main->findChild<QLabel*>("lblRamAvail");
    auto refreshed = [&](auto until) {
        main->Timer2_Timer();
        return until();
    };
    auto reached = [&] { return program.links().reached().contains(m_host->address()); };
    QTRY_VERIFY_WITH_TIMEOUT(refreshed(reached), 20000);
    QTRY_VERIFY(!available->text().isEmpty());

    // A collector stopped for good, whatever happens to the test.
    const auto restart = qScopeGuard([&] {
        if (!m_host->pmcd().running())
            m_host->pmcd().start();
    });
    m_host->pmcd().stop();
    QTRY_VERIFY_WITH_TIMEOUT(refreshed([&] { return main->windowTitle() != caption; }), 20000);
    QCOMPARE(main->windowTitle(), caption + " (not answering)");
    // The readings taken before stay through further refreshes; one that
    // answered just before the stop may have renewed them once.
    const QString lastTotal = total->text();
    const QString lastAvailable = available->text();
    QVERIFY(!lastAvailable.isEmpty());
    // Each refresh is over once a question asked after it on the same link
    // has its answer: the link answers in order.
    QObject receiver;
    int answered = 0;
    for (int i = 1; i <= 3; ++i) {
        main->Timer2_Timer();
        program.links()
            .link(m_host->address())
            ->ask<int>(
                &receiver, [](platform::PerfCounters&) { return 0; },
                [&](const platform::LinkAnswer<int>&) { ++answered; });
        QTRY_COMPARE_WITH_TIMEOUT(answered, i, 20000);
    }
    QCOMPARE(total->text(), lastTotal);
    QCOMPARE(available->text(), lastAvailable);

    QVERIFY2(m_host->pmcd().start(), "pmcd did not start again");
    QTRY_VERIFY_WITH_TIMEOUT(refreshed([&] { return main->windowTitle() == caption; }), 40000);
    QVERIFY(!total->text().isEmpty());
}

// Readings over a link the test sets: each fresh one reaches the services;
// while the computer does not answer they keep the last, and the watcher
// hears of each change of verdict.
void tst_RemoteWindows::readingsKeepTheLastWhileSilent() {
    FakeMachine fake;
    auto facts = std::make_shared<FakeComputerFacts>();
    facts->down = fake.counterSources.remoteDown;
    fake.counterSources.remote.computerFacts = facts;
    platform::RemoteFacts read;
    read.summary.nodeName = "far";
    read.summary.totalMemory = 512ull << 20;
    read.summary.availableMemory = 100ull << 20;
    facts->set(read);
    platform::RemoteMachine remote("far", read, fakePrintersAt, fake.remoteComputers.link("far"));
    platform::ComputerReadings& readings = remote.readings;
    QObject receiver;
    int changes = 0;
    readings.watch(&receiver, [&] { ++changes; });
    const auto available = [&] { return remote.memory.query()->availPhysBytes; };
    const auto refreshed = [&](auto until) {
        readings.refresh(&receiver, [] {});
        return until();
    };
    read.summary.availableMemory = 300ull << 20;
    facts->set(read);
    QTRY_VERIFY(refreshed([&] { return available() == 300ull << 20; }));
    QVERIFY(readings.answering());

    *fake.counterSources.remoteDown = true;
    read.summary.availableMemory = 200ull << 20;
    facts->set(read);
    QTRY_VERIFY(refreshed([&] { return !readings.answering(); }));
    const int silentChanges = changes;
    QVERIFY(silentChanges > 0);
    QCOMPARE(available(), 300ull << 20);

    *fake.counterSources.remoteDown = false;
    QTRY_VERIFY(refreshed([&] { return readings.answering() && available() == 200ull << 20; }));
    QVERIFY(changes > silentChanges);
}

// A collector that runs only pmcd's own agent offers none of the counters
// yet answers: the windows of its computer read it over its link and never
// say it does not answer.
void tst_RemoteWindows::collectorWithoutCountersKeepsAnswering() {
    REQUIRE_COLLECTOR();
    TestPmcd bare({m_host->address()}, 44326, m_host->netns(), TestPmcd::Agents::PmcdOnly);
    if (!bare.why().isEmpty())
        QSKIP(qPrintable(bare.why()));
    Program program(bare.host());
    Ombrix2* main = program.main();
    const QString caption = main->windowTitle();
    QVERIFY(!caption.endsWith(" (not answering)"));
    auto reached = [&] {
        main->Timer2_Timer();
        return program.links().reached().contains(bare.host());
    };
    QTRY_VERIFY_WITH_TIMEOUT(reached(), 20000);
    // Readings keep coming, as the window's refreshes ask them.
    const auto link = program.links().link(bare.host());
    int read = 0;
    for (int i = 0; i < 3; ++i)
        link->readFacts(this, {}, [&](platform::LinkAnswer<platform::RemoteFacts> answer) {
            read += answer.value && answer.value->reachable;
        });
    QTRY_COMPARE(read, 3);
    QVERIFY(link->answering());
    QCOMPARE(main->windowTitle(), caption);
}

// The performance monitor's choice of counters starts on that computer's;
// the windows, their readings and the counters share one connection.
void tst_RemoteWindows::counterChoiceStartsOnThatComputer() {
    REQUIRE_COLLECTOR();
    const auto clients = m_host->pmcd().pminfo("pmcd.numclients"); // pminfo's own
    QVERIFY(clients);
    Program program(m_host->address());
    program.main()->Timer2_Timer(); // asked before the counters
    program.main()->Execute_Click();
    auto* monitor = program.forms.get<sysmon>();
    auto* control = monitor->findChild<SystemMonitor*>("SystemMonitor1");
    QVERIFY(control && control->propertiesDialog());
    control->propertiesDialog()->findChild<QAbstractButton*>("addCounterButton")->click();
    CounterBrowser* browser = control->propertiesDialog()->counterBrowser();
    QVERIFY(browser);
    QVERIFY(browser->findChild<QRadioButton*>("remoteComputer")->isChecked());
    QCOMPARE(browser->findChild<QComboBox*>("computerName")->currentText(),
             "\\\\" + m_host->address());
    // The paths chosen name that computer once its catalogue is in.
    QTRY_VERIFY_WITH_TIMEOUT(!browser->chosenPaths().empty() &&
                                 browser->chosenPaths().front().computer == m_host->address(),
                             20000);
    QTRY_COMPARE(m_host->pmcd().pminfo("pmcd.numclients"), std::optional(*clients + 1));
}

// The drive window asks the drives off the user-interface thread while fresh
// facts replace the ones it reads: it reads whole facts, old or new.
void tst_RemoteWindows::drivesReadWhileFreshFactsArrive() {
    platform::RemoteFacts facts;
    facts.volumes.emplace();
    for (int i = 0; i < 20; ++i)
        facts.volumes->push_back({"/dev/sd" + QString(QChar('a' + i)),
                                  i ? "/m" + QString::number(i) : "/", false, 1000u * (i + 1),
                                  10u * (i + 1)});
    platform::RemoteMachine remote("far", facts, fakePrintersAt);
    std::atomic<bool> done = false;
    std::atomic<int> wrong = 0;
    std::thread reader([&] {
        while (!done) {
            const auto files = remote.fileSystem.create();
            if (!files || files->DriveLetters().size() != 20)
                ++wrong;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        platform::RemoteFacts fresh = facts;
        fresh.volumes->front().availableBytes = i;
        remote.snapshot.update(std::move(fresh));
        platform::RemoteFacts summaryOnly;
        summaryOnly.summary.nodeName = "far";
        remote.snapshot.update(std::move(summaryOnly)); // keeps the volumes
    }
    done = true;
    reader.join();
    QCOMPARE(wrong.load(), 0);
    QCOMPARE(remote.fileSystem.create()->DriveLetters().size(), 20);
}

// A computer opened from the Computers window gets its own main window,
// read without waiting, from which its other windows open as with
// --computer; opened again, the same windows show.
void tst_RemoteWindows::computerOpensBesideTheOthers() {
    REQUIRE_COLLECTOR();
    program::Program parts(sendToErrorSink);
    const QString notYet = QStringLiteral("not yet");
    QString why = notYet;
    const auto done = [&why](const QString& w) { why = w; };
    parts.openComputer(m_host->address(), done);
    QTRY_COMPARE_WITH_TIMEOUT(why, QString(), 15000);
    Forms* forms = parts.formsOf(m_host->address());
    QVERIFY(forms);
    auto* main = forms->get<Ombrix2>();
    QVERIFY(main && main->isVisible());
    QVERIFY2(main->windowTitle().endsWith(" " + m_name), qPrintable(main->windowTitle()));
    main->findChild<QAbstractButton*>("Command3")->click();
    QVERIFY(forms->get<frmNetCheck>()->isVisible());
    why = notYet;
    parts.openComputer(m_host->address(), done);
    QCOMPARE(why, QString());
    QCOMPARE(parts.openedComputers(), std::size_t{1});
    // One that cannot be reached says why, and opens nothing.
    parts.openComputer(QStringLiteral("127.0.0.1:1"), done);
    QTRY_VERIFY_WITH_TIMEOUT(!why.isEmpty() && why != notYet, 15000);
    QCOMPARE(parts.openedComputers(), std::size_t{1});
}

QTEST_MAIN(tst_RemoteWindows)
#include "tst_RemoteWindows.moc"
