#include "app/Background.h"
#include "main_window/PrinterInstallControl.h"
#include "main_window/PrintersWindow.h"

#include "FakePrinters.h"
#include "ProgramThreads.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

using ombrix::PrinterInstallControl;
using ombrix::PrintersWindow;

// The printers window against a print service of our own making, one that
// may stop answering.
class tst_PrintersWindow : public QObject {
    Q_OBJECT
    ProgramThreads m_threads;

    static QStringList listed(PrintersWindow* window) {
        QStringList names;
        auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("treePrinters"));
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            names << tree->topLevelItem(i)->text(0);
        return names;
    }
    static void close(PrintersWindow* window) {
        window->findChild<QPushButton*>(QStringLiteral("cmdClose"))->click();
    }

private slots:
    void cleanup() { ombrix::waitForBackgroundWork(); }

    void aStoppedServiceHoldsNothingUp() {
        FakePrinters printers;
        printers.answer({QStringLiteral("q1")});
        auto gate = printers.stuck = std::make_shared<FakeGate>();
        auto control = std::make_unique<PrinterInstallControl>(printers);
        control->call(PrinterInstallControl::ShowPrinters);
        PrintersWindow* window = control->window();
        QVERIFY(window->isVisible());
        // The question waits off the user-interface thread, which goes on.
        QTRY_COMPARE(gate->waiting(), 1);
        // "Refresh" meanwhile asks once more after the answer, not at once.
        window->findChild<QPushButton*>(QStringLiteral("cmdRefresh"))->click();
        QCOMPARE(printers.calls.load(), 1);
        printers.answer({QStringLiteral("q1"), QStringLiteral("q2")});
        gate->open();
        QSignalSpy shown(window, &PrintersWindow::listShown);
        QVERIFY(shown.wait());
        QCOMPARE(printers.calls.load(), 2);
        QCOMPARE(listed(window), (QStringList{"q1", "q2"}));

        // Gone while a question is out: the late answer finds no window.
        printers.stuck = std::make_shared<FakeGate>();
        window->findChild<QPushButton*>(QStringLiteral("cmdRefresh"))->click();
        QTRY_COMPARE(printers.stuck->waiting(), 1);
        control.reset();
        printers.stuck->open();
        ombrix::waitForBackgroundWork();
        QCoreApplication::sendPostedEvents();
    }

    void reopeningAsksAgain_data() {
        QTest::addColumn<bool>("closedBeforeTheAnswer");
        QTest::newRow("closed after the answer") << false;
        QTest::newRow("closed while the question is out") << true;
    }
    void reopeningAsksAgain() {
        QFETCH(bool, closedBeforeTheAnswer);
        FakePrinters printers;
        printers.answer({QStringLiteral("old")});
        auto gate = std::make_shared<FakeGate>();
        if (closedBeforeTheAnswer)
            printers.stuck = gate;
        PrinterInstallControl control(printers);
        control.call(PrinterInstallControl::ShowPrinters);
        PrintersWindow* window = control.window();
        QSignalSpy shown(window, &PrintersWindow::listShown);
        if (closedBeforeTheAnswer)
            QTRY_COMPARE(gate->waiting(), 1);
        else
            QVERIFY(shown.wait());
        close(window);
        printers.answer({QStringLiteral("new")});
        control.call(PrinterInstallControl::ShowPrinters);
        gate->open();
        QTRY_COMPARE(listed(window), QStringList{"new"});
        QCOMPARE(printers.calls.load(), 2);
    }
};

QTEST_MAIN(tst_PrintersWindow)
#include "tst_PrintersWindow.moc"
