#include "app/CopyAction.h"
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "drive_details/DriveReport.h"
#include "main_window/Ombrix2.h"
#include "main_window/PrinterListText.h"
#include "main_window/PrintersWindow.h"
#include "network_report/NetworkReport.h"
#include "network_report/frmNetCheck.h"
#include "platform/Registry.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"
#include "registry/clsRegistryAccess.h"
#include "report/ReportSources.h"

#include "FakeFileSystem.h"
#include "FakeMachine.h"
#include "FakePrinters.h"
#include "FakeRegistryProvider.h"

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

// Every window that offers Copy, over fakes, with the lines it must copy.
struct Windows {
    FakeMachine machine;
    Forms forms;
    registry::RegistryLayer registry;
    FakeFileSystem fileSystem;
    FakePrinters printers;
    const PrinterList printerList{true,
                                  {{"laser", true, PrinterState::Idle, "Room 1", "HP LaserJet", ""},
                                   {"ink", false, PrinterState::Stopped, "", "Epson", "Colour"}}};

    Windows() {
        auto view = std::make_shared<FakeRegistryProvider>();
        view->keys["Tcpip\\Parameters"] = {{},
                                           {{"NameServer", REG_SZ, sz("192.0.2.53 192.0.2.54")}}};
        view->keys["NetBT\\Adapters"] = {{"eth0", "wlan0"}, {}};
        view->keys["eth0\\Parameters\\Tcpip"] = {{},
                                                 {{"IPAddress", REG_MULTI_SZ, sz("192.0.2.20")}}};
        registry.setStore(HKEY_LOCAL_MACHINE, std::make_shared<registry::MemoryRegistryStore>());
        registry.mount(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", view);
        fileSystem.drives[u'C'] = {2, -17, 1048576, 80026361856ull};
        printers.answer(printerList);
    }

    // The window, shown and active, with the widget that has the focus.
    std::unique_ptr<QWidget> make(const QString& name, QStringList& expected) {
        std::unique_ptr<QWidget> window;
        if (name == "Ombrix2") {
            auto w = std::make_unique<Ombrix2>(forms, machine.services());
            w->Form_Load();
            expected = SummaryLines(ReadSummary({machine.memory, machine.version, machine.cpu,
                                                 machine.host, machine.systemInfo, machine.floppy},
                                                QLocale()));
            window = std::move(w);
        } else if (name.startsWith("frmNetCheck")) {
            auto w = std::make_unique<frmNetCheck>(registry);
            w->Form_Load();
            QTest::mouseClick(w->findChild<QPushButton*>("cmdNetCheck"), Qt::LeftButton);
            expected = BuildNetworkReport(clsRegistryAccess(registry));
            if (name.endsWith("selected")) {
                auto* list = w->findChild<QListWidget*>("List1");
                list->item(5)->setSelected(true);
                list->item(1)->setSelected(true);
                expected = QStringList{expected[1], expected[5]};
            }
            window = std::move(w);
        } else if (name == "Drive") {
            auto w = std::make_unique<Drive>(fileSystem, forms);
            w->Form_Load();
            w->show();
            QTest::keyClick(w->findChild<QLineEdit*>("Text1"), Qt::Key_C);
            expected = shownDriveLines(readDriveLines(fileSystem, "C", QLocale()));
            // The report comes from a worker.
            const QLabel* drive = w->findChild<QLabel*>("LblDrive");
            if (!QTest::qWaitFor([&] { return drive->text() == expected.first(); }))
                expected.clear();
            window = std::move(w);
        } else {
            auto w = std::make_unique<PrintersWindow>(printers);
            QSignalSpy shown(w.get(), &PrintersWindow::listShown);
            w->refresh();
            shown.wait(5000);
            std::vector<QStringList> rows;
            for (const PrintDestination& dest : printerList.destinations)
                rows.push_back(PrinterRowTexts(dest));
            expected = PrinterTableLines(rows);
            window = std::move(w);
        }
        window->show();
        QApplication::setActiveWindow(window.get());
        return window;
    }
};

} // namespace

class tst_Copy : public QObject {
    Q_OBJECT

private slots:
    void copyPutsTheWindowsReportOnTheClipboard_data();
    void copyPutsTheWindowsReportOnTheClipboard();
};

void tst_Copy::copyPutsTheWindowsReportOnTheClipboard_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("contextMenu");
    for (const char* window :
         {"Ombrix2", "frmNetCheck", "frmNetCheck selected", "Drive", "PrintersWindow"}) {
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
