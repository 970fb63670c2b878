// The program's run, with its own application object and the real windows:
// it ends when the last visible window closes, whatever kind of window that
// is, and it ends plainly where there is no display at all.
#include "about/frmAbout.h"
#include "app/Application.h"
#include "app/DisplayCheck.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "drive_details/Drive.h"
#include "main_window/Ombrix2.h"
#include "main_window/PrinterInstallControl.h"
#include "network_report/frmNetCheck.h"
#include "performance_monitor/sysmon.h"
#include "program/Windows.h"

#include "FakeMachine.h"
#include "FakeMessageBoxes.h"
#include "ProgramApplication.h"
#include "ProgramThreads.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace ombrix;

namespace {
FakeMessageBoxes* g_boxes = nullptr;

// The program as main() builds it, over fakes of the machine.
struct Program {
    FakeMachine machine;
    PrinterInstallControl printerInstall{machine.printers};
    Forms forms;

    Program() {
        FakeMachine& m = machine;
        registerWindows(forms, {m.machine(), printerInstall, [] { QCoreApplication::exit(0); },
                                m.counterSources, m.remoteComputers, *g_boxes});
    }

    void press(const QString& command) {
        QWidget* main = forms.get<Ombrix2>();
        if (auto* button = main->findChild<QAbstractButton*>(command))
            button->click();
        else
            main->findChild<QAction*>(command)->trigger();
    }

    // The one visible window besides the main window; a dialog another
    // window owns (the monitor's properties) goes with its owner.
    QWidget* other() {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && !top->parentWidget() && top->objectName() != "Ombrix2" &&
                top->windowType() != Qt::Popup && top->windowType() != Qt::ToolTip)
                return top;
        return nullptr;
    }
};

// The program run to its end ("Exit") with something stuck for an hour: the
// print service holding the printers' question ("question"), or a worker
// reading a volume that never answers ("worker"); run as a process of its own.
int exitWhileStuck(int argc, char** argv) {
    const bool worker = qstrcmp(argv[2], "worker") == 0;
    FakeMessageBoxes boxes;
    g_boxes = &boxes;
    Application app(argc, argv, boxes);
    ProgramThreads threads;
    Program p;
    const auto gate = std::make_shared<FakeGate>();
    p.machine.printers.stuck = gate;
    p.machine.printers.stuckFor = std::chrono::hours(1);
    QTimer::singleShot(0, &app, [&] {
        if (worker)
            platform::runBoundedTask("a volume that hangs", std::chrono::milliseconds(0),
                                     [gate] { gate->pass(std::chrono::hours(1)); });
        else
            p.press("Command2");
        p.press("Exit");
    });
    return runProgram(app, p.forms);
}

int threadsOfThisProcess() {
    QFile status("/proc/self/status");
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("Threads:"))
                return line.mid(8).trimmed().toInt();
    return -1;
}

} // namespace

class tst_Startup : public QObject {
    Q_OBJECT
private slots:
    void programEndsWithTheLastVisibleWindow_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("network report, a tool window") << "Command3" << false;
        QTest::newRow("drive details") << "Command4" << false;
        QTest::newRow("performance monitor") << "Execute" << false;
        QTest::newRow("About box") << "About" << false;
        QTest::newRow("printers") << "Command2" << false;
        QTest::newRow("a hidden window keeps nothing running") << "Command4" << true;
    }
    void programEndsWithTheLastVisibleWindow() {
        QFETCH(QString, command);
        QFETCH(bool, hidden);
        auto* app = static_cast<Application*>(qApp);
        Program p;
        QObject scope; // cancels this row's timers when it ends
        QPointer<QWidget> other;
        bool runningAfterMainClosed = false;
        bool otherShownAfterMainClosed = false;
        QTimer::singleShot(0, &scope, [&] {
            p.press(command);
            other = p.other();
            QVERIFY(other);
            if (hidden)
                other->hide();
            QVERIFY(p.forms.get<Ombrix2>()->close());
            QTimer::singleShot(200, &scope, [&] {
                runningAfterMainClosed = true;
                otherShownAfterMainClosed = other && other->isVisible();
                if (other)
                    other->close();
            });
        });
        QTimer::singleShot(10000, &scope, [] { QCoreApplication::exit(99); }); // a guard
        QCOMPARE(runProgram(*app, p.forms), 0);
        QCOMPARE(runningAfterMainClosed, !hidden);
        QCOMPARE(otherShownAfterMainClosed, !hidden);
        QVERIFY(!p.forms.isLoaded<Ombrix2>());
        QVERIFY(!p.forms.isLoaded<frmNetCheck>());
        QVERIFY(!p.forms.isLoaded<Drive>());
        QVERIFY(!p.forms.isLoaded<sysmon>());
        QVERIFY(!p.forms.isLoaded<frmAbout>());
    }

    // A question a service never answers does not keep the program: it
    // ends, where it used to wait for the answer.
    void exitDoesNotWaitForAHungService_data() {
        QTest::addColumn<QString>("stuck");
        QTest::newRow("a question of a window") << "question";
        QTest::newRow("a worker reading a volume") << "worker";
    }
    void exitDoesNotWaitForAHungService() {
        QFETCH(QString, stuck);
        QProcess program;
        program.start(QCoreApplication::applicationFilePath(), {"--exit-while-stuck", stuck});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

    // The threads of work that has finished end, while their owner lives and
    // keeps taking work.
    void finishedThreadsEnd_data() {
        QTest::addColumn<bool>("bounded");
        QTest::newRow("questions in the background") << false;
        QTest::newRow("workers of bounded calls") << true;
    }
    void finishedThreadsEnd() {
        QFETCH(bool, bounded);
        constexpr int kTasks = 3;
        const auto gate = std::make_shared<FakeGate>();
        const auto task = [gate] { gate->pass(std::chrono::hours(1)); };
        platform::BoundedWorkers workers(kMostExitWait);
        BackgroundThreads background;
        const int before = threadsOfThisProcess();
        for (int i = 0; i < kTasks; ++i) {
            if (bounded)
                QVERIFY(!workers.run(QString::number(i), std::chrono::milliseconds(0), task,
                                     platform::kVolumeQueries));
            else
                background.start(task);
        }
        QTRY_COMPARE(gate->waiting(), kTasks);
        QVERIFY(threadsOfThisProcess() >= before + kTasks);
        gate->open();
        QTRY_VERIFY(threadsOfThisProcess() <= before);
        QCOMPARE(bounded ? workers.pending() : background.running(), 0);
    }

    // The built program itself, where no display can be opened.
    void withoutADisplayOneLineAndStatusOne_data() {
        QTest::addColumn<QString>("display");
        QTest::newRow("none named") << QString();
        QTest::newRow("one nobody serves") << ":4093";
    }
    void withoutADisplayOneLineAndStatusOne() {
        QFETCH(QString, display);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        if (!display.isNull())
            env.insert("DISPLAY", display);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(OMBRIX_BIN_DIR "/ombrix", {});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        QCOMPARE(program.readAllStandardError(), QByteArray(kNoDisplayLine) + '\n');
    }

    // The built program started with descriptors closed, as some launchers
    // start a desktop program: each is open on /dev/null once the program
    // runs, so nothing it opened took its place.
    void closedStandardStreamsAreHeldOnDevNull_data() {
        QTest::addColumn<QString>("closing"); // shell redirections
        QTest::addColumn<QList<int>>("closed");
        QTest::newRow("standard input") << "<&-" << QList<int>{0};
        QTest::newRow("standard output") << ">&-" << QList<int>{1};
        QTest::newRow("standard error") << "2>&-" << QList<int>{2};
        QTest::newRow("all three") << "<&- >&- 2>&-" << QList<int>{0, 1, 2};
    }
    void closedStandardStreamsAreHeldOnDevNull() {
        QFETCH(QString, closing);
        QFETCH(QList<int>, closed);
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_DATA_HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path());
        QProcess program;
        program.setProcessEnvironment(env);
        program.start("/bin/sh", {"-c", "exec \"$0\" " + closing, OMBRIX_BIN_DIR "/ombrix"});
        QVERIFY(program.waitForStarted());
        const QString fds = QStringLiteral("/proc/%1/fd/").arg(program.processId());
        // The event loop's eventfd comes with the application object, well
        // after the program's first steps.
        const bool running = QTest::qWaitFor(
            [&] {
                for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System))
                    if (QFileInfo(fds + fd).symLinkTarget().contains("eventfd"))
                        return true;
                return false;
            },
            30000);
        QStringList held;
        for (int fd : closed)
            held << QFileInfo(fds + QString::number(fd)).symLinkTarget();
        program.kill();
        program.waitForFinished();
        QVERIFY(running);
        QCOMPARE(held, QStringList(closed.size(), "/dev/null"));
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--exit-while-stuck") == 0)
        return exitWhileStuck(argc, argv);
    return runWithProgramApplication<tst_Startup>(argc, argv, &g_boxes);
}

#include "tst_Startup.moc"
