// What a screen reader reaches through the accessibility bridge: every label's
// accessible name is the text it shows, empty or not, and every button and
// menu entry can be pressed.
#include "about/frmAbout.h"
#include "app/Background.h"
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "main_window/Ombrix2.h"
#include "main_window/PrinterInstallControl.h"
#include "main_window/PrintersWindow.h"
#include "network_report/frmNetCheck.h"
#include "performance_monitor/sysmon.h"
#include "platform/Printers.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"

#include "FakeFileSystem.h"
#include "FakeMachine.h"
#include "FakeMessageBoxes.h"
#include "ProgramApplication.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace ombrix;

namespace {

struct NoPrinters final : platform::Printers {
    platform::PrinterList query() const override { return {}; }
};

void checkLabelsAndButtons(QWidget* window) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(label);
        QVERIFY2(a, qPrintable(label->objectName()));
        // An empty label reads as empty, never as its frame's title; a
        // mnemonic marker is not read out.
        const QString shown = label->buddy() ? QString(label->text()).remove('&') : label->text();
        QVERIFY2(a->text(QAccessible::Name) == shown,
                 qPrintable(label->objectName() + " reads " + a->text(QAccessible::Name)));
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(window))
            continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(button);
        QVERIFY(a && a->actionInterface());
        const QStringList actions = a->actionInterface()->actionNames();
        QVERIFY2(actions.contains(QAccessibleActionInterface::pressAction()) ||
                     actions.contains(QAccessibleActionInterface::toggleAction()),
                 qPrintable(button->objectName()));
        QCOMPARE(a->text(QAccessible::Name).remove('&'), button->text().remove('&'));
    }
}

} // namespace

class tst_Accessibility : public QObject {
    Q_OBJECT
private slots:
    void mainWindowValuesAndCommandsReachAScreenReader() {
        FakeMachine m;
        m.host.ip.clear(); // no address: an empty label in its frame, as Label9 without drive A:
        Forms forms;
        Ombrix2 w(forms, m.services());
        w.Form_Load();
        w.show();
        checkLabelsAndButtons(&w);

        // A press through the accessibility interface is a real click.
        auto* printers = w.findChild<QAbstractButton*>("Command2");
        QAccessible::queryAccessibleInterface(printers)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(m.printerInstall.calls, QList<int>{5}); // an animated click
        QCOMPARE(w.findChild<QLabel*>("Label9")->text(), QString());

        // Menu entries are reachable and pressable from the menu bar.
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(w.menuBar());
        QStringList entries;
        for (int i = 0; i < bar->childCount(); ++i) {
            QAccessibleInterface* entry = bar->child(i);
            entries << entry->text(QAccessible::Name).remove('&');
            QVERIFY(entry->actionInterface());
        }
        QCOMPARE(entries, (QStringList{"File", "System Monitor"}));
    }

    void aboutBoxReachesAScreenReader() {
        frmAbout about;
        about.Form_Load();
        about.show();
        checkLabelsAndButtons(&about);
    }

    void otherWindowsReachAScreenReader() {
        Forms forms;
        platform::registry::RegistryLayer registry;
        registry.setStore(platform::HKEY_LOCAL_MACHINE,
                          std::make_shared<platform::registry::MemoryRegistryStore>());
        frmNetCheck net(registry);
        net.Form_Load();
        net.show();
        net.findChild<QPushButton*>("cmdNetCheck")->click();
        checkLabelsAndButtons(&net);

        FakeFileSystem files;
        files.drives.insert(u'C', FakeDriveFacts{2, 1234, 1048576, 2097152});
        Drive drive(files, forms);
        drive.Form_Load();
        drive.show();
        QTest::keyClick(&drive, Qt::Key_C);
        ombrix::waitForBackgroundWork();
        QCoreApplication::sendPostedEvents();
        QVERIFY(drive.findChild<QLabel*>("LblDrive")->text().startsWith("Unit C:"));
        checkLabelsAndButtons(&drive);

        FakeMachine m;
        FakeMessageBoxes boxes;
        sysmon monitor(m.counterSources, m.remoteComputers, boxes, forms);
        monitor.Form_Load();
        monitor.show();
        checkLabelsAndButtons(&monitor);
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && top->parentWidget() == &monitor)
                checkLabelsAndButtons(top); // the properties dialog

        NoPrinters none;
        PrinterInstallControl printers(none);
        printers.call(PrinterInstallControl::ShowPrinters);
        checkLabelsAndButtons(printers.window());
        // The window's question to the printers may still be out: it must end
        // before the fake it asks goes.
        ombrix::waitForBackgroundWork();
    }
};

// With the program's own application object, which sets up how labels read.
int main(int argc, char** argv) {
    return runWithProgramApplication<tst_Accessibility>(argc, argv);
}

#include "tst_Accessibility.moc"
