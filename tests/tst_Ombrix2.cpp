#include "about/frmAbout.h"
#include "app/Forms.h"
#include "app/Handler.h"
#include "drive_details/Drive.h"
#include "main_window/Ombrix2.h"
#include "network_report/frmNetCheck.h"
#include "performance_monitor/sysmon.h"
#include "platform/PlatformError.h"

#include "FakeMachine.h"
#include "FakeMessageBoxes.h"
#include "ProgramThreads.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace ombrix;

namespace {

// Another window of the program, as the commands reach it.
struct OtherForm : QWidget {
    OtherForm(int& loads, int& unloads) : unloads(unloads) { ++loads; }
    void closeEvent(QCloseEvent* e) override {
        ++unloads;
        e->accept();
    }
    int& unloads;
};

struct Program {
    FakeMachine machine;
    FakeMessageBoxes boxes;
    Forms forms;
    int otherLoads = 0;
    int otherUnloads = 0;
    Program() {
        forms.addMain<Ombrix2>([this] {
            auto w = std::make_unique<Ombrix2>(forms, machine.services());
            w->Form_Load();
            return w;
        });
        auto other = [this] { return std::make_unique<OtherForm>(otherLoads, otherUnloads); };
        forms.add<frmNetCheck>(other);
        forms.add<Drive>(other);
        forms.add<frmAbout>(other);
        // The monitor itself: "Execute" enables its Properties entry.
        forms.add<sysmon>([this] {
            ++otherLoads;
            return std::make_unique<sysmon>(machine.counterSources, machine.remoteComputers, boxes,
                                            forms);
        });
    }
    Ombrix2* main() { return forms.get<Ombrix2>(); }
    QWidget* other(const QString& name) {
        if (name == "frmNetCheck")
            return forms.window<frmNetCheck>();
        if (name == "Drive")
            return forms.window<Drive>();
        if (name == "frmAbout")
            return forms.window<frmAbout>();
        return forms.window<sysmon>();
    }
    QString text(const char* label) { return main()->findChild<QLabel*>(label)->text(); }
    QStringList allLabelTexts() {
        QStringList texts;
        for (QLabel* l : main()->findChildren<QLabel*>())
            texts << l->objectName() + "=" + l->text();
        return texts;
    }
};

} // namespace

class tst_Ombrix2 : public QObject {
    Q_OBJECT
    ProgramThreads m_threads;
private slots:
    void loadStepFillsTheSummary() {
        Program p;
        p.forms.showMain();
        QCOMPARE(p.main()->windowTitle(), QString("Ombrix for PC1"));
        QCOMPARE(p.text("Label20"), QString("PC1"));
        QCOMPARE(p.text("Label11"), QString("192.0.2.20"));
        QCOMPARE(p.text("lblRamTotal"), QString("257"));
        QCOMPARE(p.text("lblRamAvail"), QString("515"));
        QCOMPARE(p.text("lblProcessor"), QString("AMD EPYC"));
        QCOMPARE(p.text("lblVendor"), QString("AuthenticAMD"));
        QCOMPARE(p.text("LblNormSpeed"), QString("2596"));
        QCOMPARE(p.text("LblOS"), QString("Debian GNU/Linux 12 (bookworm) 6.1 Build 115"));
        QCOMPARE(p.text("Label3"), QString("12"));
        QCOMPARE(p.text("Label5"), QString("115"));
        QCOMPARE(p.machine.cpu.processorCalls, 1);
        QCOMPARE(p.machine.cpu.rawSpeedCalls, 1);
        QCOMPARE(p.machine.version.lastSizeField, 148u);
    }

    void floppyPresenceShowsYes_data() {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no drive A: leaves the label empty") << false << "";
        QTest::newRow("drive A: present") << true << "Yes";
    }
    void floppyPresenceShowsYes() {
        QFETCH(bool, present);
        QFETCH(QString, shown);
        Program p;
        p.machine.floppy.present = present;
        bool errorReported = false;
        {
            const ScopedErrorSink sink([&](std::exception_ptr) { errorReported = true; });
            handle([&] { p.forms.showMain(); });
        }
        QVERIFY(!errorReported);
        QCOMPARE(p.text("Label9"), shown);
    }

    void failedVersionQueryLeavesTheRecordZero() {
        Program p;
        p.machine.version.next.reset();
        p.forms.showMain();
        QCOMPARE(p.text("LblOS"), QString("0.0 Build 0"));
    }

    void missingProcessorLibraryFailsTheLoadStep() {
        Program p;
        p.machine.cpu.failure = "libgetcpu.so: cannot open shared object file";
        QVERIFY_THROWS_EXCEPTION(platform::PlatformError, p.forms.showMain());
        QVERIFY(!p.forms.isLoaded<Ombrix2>());
    }

    void clockShowsTheTimeAndWakesAtTheNextSecond_data() {
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("nextTickIn");
        QTest::newRow("afternoon") << QTime(14, 5, 9, 250) << "14:05:09" << 750;
        QTest::newRow("morning on the second") << QTime(9, 0, 0, 0) << "09:00:00" << 1000;
        QTest::newRow("just before the next second") << QTime(23, 59, 59, 999) << "23:59:59" << 1;
    }
    void clockShowsTheTimeAndWakesAtTheNextSecond() {
        QFETCH(QTime, now);
        QFETCH(QString, shown);
        QFETCH(int, nextTickIn);
        Program p;
        p.forms.showMain();
        p.machine.clock.current = QDateTime(QDate(2026, 12, 7), now);
        p.main()->Timer1_Timer();
        QCOMPARE(p.text("Label1"), shown);
        auto* timer1 = p.main()->findChild<QTimer*>("Timer1");
        QVERIFY(timer1->isActive());
        QVERIFY(timer1->isSingleShot());
        QCOMPARE(timer1->interval(), nextTickIn);
    }

    void memoryRefreshShowsTheNewFigure() {
        Program p;
        p.forms.showMain();
        QCOMPARE(p.main()->findChild<QTimer*>("Timer2")->interval(), 5000);
        p.machine.memory.next = platform::MemoryStatus{8589934592ull, 268435456ull};
        p.machine.cpu.normSpeed = "3100";
        p.main()->Timer2_Timer();
        QCOMPARE(p.text("lblRamAvail"), QString("257"));
        QCOMPARE(p.text("lblRamTotal"), QString("8233"));
        QCOMPARE(p.text("LblNormSpeed"), QString("3100"));
        QCOMPARE(p.machine.cpu.processorCalls, 1); // model and vendor are not re-read
    }

    // Readings that come later, as another computer's over its link: the
    // window shows them once they are in, not before; the caption says
    // whether the computer answers, and a silent one's services keep the
    // last figures.
    void readingsShowOnceInAndTheCaptionSaysWhetherTheComputerAnswers_data() {
        QTest::addColumn<bool>("answering");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("available");
        QTest::addColumn<QString>("speed");
        QTest::newRow("silent: the last readings stay") << false << "Ombrix for PC1 (not answering)"
                                                        << "515"
                                                        << "2596";
        QTest::newRow("answering again: fresh readings") << true << "Ombrix for PC1"
                                                         << "257"
                                                         << "3100";
    }
    void readingsShowOnceInAndTheCaptionSaysWhetherTheComputerAnswers() {
        QFETCH(bool, answering);
        QFETCH(QString, caption);
        QFETCH(QString, available);
        QFETCH(QString, speed);
        Program p;
        FakeReadings& readings = p.machine.readings;
        readings.held = true;
        p.forms.showMain();
        readings.setAnswering(false);
        readings.setAnswering(answering);
        QCOMPARE(p.main()->windowTitle(), caption);
        if (answering) {
            p.machine.memory.next = platform::MemoryStatus{8589934592ull, 268435456ull};
            p.machine.cpu.normSpeed = "3100";
        }
        p.main()->Timer2_Timer();
        QCOMPARE(readings.refreshes, 1);
        QCOMPARE(p.text("lblRamAvail"), QString("515")); // not before they are in
        QCOMPARE(p.text("LblNormSpeed"), QString("2596"));
        QVERIFY(readings.finish());
        QCOMPARE(p.text("lblRamAvail"), available);
        QCOMPARE(p.text("LblNormSpeed"), speed);
        QCOMPARE(p.main()->windowTitle(), caption);
    }

    void unreadableMemoryIsNeverShownAsZero() {
        Program p;
        p.machine.memory.next.reset();
        p.forms.showMain();
        QCOMPARE(p.text("lblRamTotal"), QString()); // no reading yet: empty
        p.machine.memory.next = platform::MemoryStatus{8589934592ull, 268435456ull};
        p.main()->Timer2_Timer();
        p.machine.memory.next.reset();
        p.main()->Timer2_Timer();
        QCOMPARE(p.text("lblRamTotal"), QString("8233")); // the last reading stays
        QCOMPARE(p.text("lblRamAvail"), QString("257"));
    }

    void refreshChangesOnlyVersionAndBuild() {
        Program p;
        p.forms.showMain();
        QStringList before = p.allLabelTexts();
        p.machine.systemInfo.version = "12.8";
        p.machine.systemInfo.build = 120;
        p.machine.memory.next = platform::MemoryStatus{1, 1};
        p.machine.host.host = "elsewhere";
        p.machine.cpu.model = "Other";
        QTest::mouseClick(p.main()->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QStringList after = p.allLabelTexts();
        QStringList changed;
        for (int i = 0; i < before.size(); ++i)
            if (before[i] != after[i])
                changed << after[i];
        QCOMPARE(changed, (QStringList{"Label3=12.8", "Label5=120"}));
    }

    void printersButtonCallsTheControl() {
        Program p;
        p.forms.showMain();
        QTest::mouseClick(p.main()->findChild<QPushButton*>("Command2"), Qt::LeftButton);
        QCOMPARE(p.machine.printerInstall.calls, QList<int>{5});
    }

    void openingCommandsKeepOneWindow_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("form");
        QTest::newRow("Check Network Info") << "Command3"
                                            << "frmNetCheck";
        QTest::newRow("Click For Hard-Drive Info") << "Command4"
                                                   << "Drive";
        QTest::newRow("About") << "About"
                               << "frmAbout";
        QTest::newRow("Execute") << "Execute"
                                 << "sysmon";
    }
    void openingCommandsKeepOneWindow() {
        QFETCH(QString, command);
        QFETCH(QString, form);
        Program p;
        p.forms.showMain();
        auto press = [&] {
            if (auto* b = p.main()->findChild<QPushButton*>(command))
                QTest::mouseClick(b, Qt::LeftButton);
            else
                p.main()->findChild<QAction*>(command)->trigger();
        };
        press();
        press();
        QWidget* w = p.other(form);
        QVERIFY(w->isVisible());
        QCOMPARE(p.otherLoads, 1);
        w->hide();
        press();
        QVERIFY(w->isVisible());
        QCOMPARE(p.otherLoads, 1); // a hidden window is shown as it was
        QVERIFY(w->close());
        press();
        QCOMPARE(p.otherLoads, 2); // closed: the next opening loads afresh
        QVERIFY(p.main()->isVisible());
    }

    void executeEnablesPropertiesBeforeShowing() {
        Program p;
        p.forms.showMain();
        p.main()->findChild<QAction*>("Execute")->trigger();
        QWidget* monitor = p.forms.get<sysmon>();
        QVERIFY(monitor->findChild<QAction*>("Properties")->isEnabled());
        QVERIFY(monitor->isVisible());
    }

    void shortcutsOpenAboutAndExit() {
        Program p;
        QWidget* w = p.forms.showMain();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(p.forms.isLoaded<frmAbout>());
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w, Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(p.machine.ends, 1);
    }

    void exitEndsAtOnceWithoutUnloading() {
        Program p;
        Forms& forms = p.forms;
        p.forms.addMain<Ombrix2>([&] {
            auto services = p.machine.services();
            services.endProgram = [] { QCoreApplication::exit(0); };
            auto w = std::make_unique<Ombrix2>(forms, services);
            w->Form_Load();
            return w;
        });
        forms.showMain();
        forms.show<frmNetCheck>();
        forms.show<Drive>()->hide();
        QTimer::singleShot(0, [&] { p.main()->findChild<QAction*>("Exit")->trigger(); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); }); // a guard, not a measurement
        QCOMPARE(QCoreApplication::exec(), 0);
        forms.destroyAll();
        QCOMPARE(p.otherUnloads, 0);
    }
};

QTEST_MAIN(tst_Ombrix2)
#include "tst_Ombrix2.moc"
