#include "app/CopyAction.h"
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "main_window/Ombrix2.h"
#include "main_window/PrintersWindow.h"
#include "network_report/frmNetCheck.h"
#include "platform/Registry.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "report/Report.h"
#include "report/ReportOutput.h"

#include "FakeFileSystem.h"
#include "FakeMachine.h"
#include "FakePrinters.h"
#include "FakeRegistryProvider.h"
#include "FakeReportSources.h"
#include "ProgramThreads.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace ombrix;
using namespace ombrix::platform;

namespace {

std::vector<unsigned char> sz(const std::string& text) {
    std::vector<unsigned char> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

// Every window that offers Copy, over fakes that hold texts with line breaks,
// tabs and backslashes, with the lines it must copy.
struct Windows {
    FakeMachine machine;
    Forms forms;
    registry::RegistryLayer registry;
    FakeFileSystem fileSystem;
    FakePrinters printers;
    const PrinterList printerList{
        true,
        {{"laser", true, PrinterState::Idle, "Room 1\nfloor 2", "HP LaserJet", ""},
         {"ink", false, PrinterState::Stopped, "", "Epson\tC:\\n", "Colour"}}};

    Windows() {
        machine.cpu.model = "AMD\nEPYC \\n";
        auto view = std::make_shared<FakeRegistryProvider>();
        view->keys["Tcpip\\Parameters"] = {{},
                                           {{"NameServer", REG_SZ, sz("192.0.2.53 192.0.2.54")},
                                            {"Domain", REG_SZ, sz("corp\\lan\tb")}}};
        view->keys["NetBT\\Adapters"] = {{"eth0", "wlan0"}, {}};
        view->keys["eth0\\Parameters\\Tcpip"] = {{},
                                                 {{"IPAddress", REG_MULTI_SZ, sz("192.0.2.20")}}};
        registry.setStore(HKEY_LOCAL_MACHINE, std::make_shared<registry::MemoryRegistryStore>());
        registry.mount(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", view);
        fileSystem.drives[u'C'] = {2, -17, 1048576, 80026361856ull};
        printers.answer(printerList);
    }

    // The lines the report writes for a section, heading left out.
    QStringList reportLines(ReportSection section) {
        const QString text = QString::fromUtf8(ReportText(BuildReport(
            {section}, fakeReportSources(machine, registry, fileSystem, printers, QLocale()))));
        return text.split(u'\n').mid(1, text.count(u'\n') - 1);
    }

    // The window, shown and active, with the widget that has the focus.
    std::unique_ptr<QWidget> make(const QString& name, QStringList& expected) {
        std::unique_ptr<QWidget> window;
        if (name == "Ombrix2") {
            auto w = std::make_unique<Ombrix2>(forms, machine.services());
            w->Form_Load();
            expected = reportLines(ReportSection::Summary);
            window = std::move(w);
        } else if (name.startsWith("frmNetCheck")) {
            auto w = std::make_unique<frmNetCheck>(registry);
            w->Form_Load();
            QTest::mouseClick(w->findChild<QPushButton*>("cmdNetCheck"), Qt::LeftButton);
            expected = reportLines(ReportSection::Network);
            if (name.endsWith("selected")) {
                auto* list = w->findChild<QListWidget*>("List1");
                list->item(5)->setSelected(true);
                list->item(0)->setSelected(true);
                expected = QStringList{expected[0], expected[5]};
            }
            window = std::move(w);
        } else if (name == "Drive") {
            auto w = std::make_unique<Drive>(fileSystem, forms);
            w->Form_Load();
            w->show();
            QTest::keyClick(w->findChild<QLineEdit*>("Text1"), Qt::Key_C);
            expected = reportLines(ReportSection::Drives);
            // The report comes from a worker.
            const QLabel* drive = w->findChild<QLabel*>("LblDrive");
            if (!QTest::qWaitFor([&] { return drive->text() == expected.first(); }))
                expected.clear();
            window = std::move(w);
        } else {
            if (name.endsWith("no print service"))
                printers.answer(PrinterList{false, {}});
            else if (name.endsWith("no printers"))
                printers.answer(PrinterList{true, {}});
            auto w = std::make_unique<PrintersWindow>(printers);
            QSignalSpy shown(w.get(), &PrintersWindow::listShown);
            w->refresh();
            shown.wait(5000);
            expected = reportLines(ReportSection::Printers);
            window = std::move(w);
        }
        window->show();
        QApplication::setActiveWindow(window.get());
        return window;
    }
};

} // namespace

// Copy gives the window's whole text as the report writes that section.
class tst_Copy : public QObject {
    Q_OBJECT
    ProgramThreads m_threads;

private slots:
    void copyPutsTheWindowsReportOnTheClipboard_data();
    void copyPutsTheWindowsReportOnTheClipboard();
};

void tst_Copy::copyPutsTheWindowsReportOnTheClipboard_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("contextMenu");
    for (const char* window :
         {"Ombrix2", "frmNetCheck", "frmNetCheck selected", "Drive", "PrintersWindow",
          "PrintersWindow, no print service", "PrintersWindow, no printers"}) {
        QTest::addRow("%s, Ctrl+C", window) << window << false;
        QTest::addRow("%s, context menu", window) << window << true;
    }
}

void tst_Copy::copyPutsTheWindowsReportOnTheClipboard() {
    QFETCH(QString, window);
    QFETCH(bool, contextMenu);
    Windows windows;
    QStringList expected;
    const std::unique_ptr<QWidget> w = windows.make(window, expected);
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QVERIFY(!expected.isEmpty());
    QApplication::clipboard()->clear();

    if (contextMenu) {
        bool found = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* action : menu ? menu->actions() : QList<QAction*>()) {
                if (action->text() == "Copy") {
                    found = true;
                    action->trigger();
                }
            }
            if (menu)
                menu->close();
        });
        QWidget* target = w->childAt(w->rect().center());
        QContextMenuEvent event(QContextMenuEvent::Mouse, target->rect().center(),
                                target->mapToGlobal(target->rect().center()));
        QApplication::sendEvent(target, &event);
        QVERIFY(found);
    } else {
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
        QTest::keyClick(focus, Qt::Key_C, Qt::ControlModifier);
    }
    QCOMPARE(QApplication::clipboard()->text(), clipboardText(expected));
}

QTEST_MAIN(tst_Copy)
#include "tst_Copy.moc"
