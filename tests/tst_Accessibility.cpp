// What a screen reader reaches through the accessibility bridge: every label's
// accessible name is the text it shows, and every button and menu entry can
// be pressed.
#include "about/frmAbout.h"
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "main_window/Ombrix2.h"
#include "network_report/frmNetCheck.h"
#include "performance_monitor/sysmon.h"
#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/RegistryLayer.h"

#include "FakeCounterSources.h"
#include "FakeFileSystem.h"
#include "FakeMachine.h"
#include "FakeMessageBoxes.h"

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

void checkLabelsAndButtons(QWidget* window) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue; // nothing shown, nothing to read
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(label);
        QVERIFY2(a, qPrintable(label->objectName()));
        // A mnemonic marker is not read out.
        QCOMPARE(a->text(QAccessible::Name), QString(label->text()).remove('&'));
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
        Forms forms;
        Ombrix2 w(forms, m.services());
        w.Form_Load();
        w.show();
        checkLabelsAndButtons(&w);

        // A press through the accessibility interface is a real click.
        auto* printers = w.findChild<QAbstractButton*>("Command2");
        QAccessible::queryAccessibleInterface(printers)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(m.printers.calls, QList<int>{5}); // an animated click

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
        QVERIFY(drive.findChild<QLabel*>("LblDrive")->text().startsWith("Unit C:"));
        checkLabelsAndButtons(&drive);

        FakeCounterSources counters;
        FakeMessageBoxes boxes;
        sysmon monitor(counters, boxes, forms);
        monitor.Form_Load();
        monitor.show();
        checkLabelsAndButtons(&monitor);
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && top->parentWidget() == &monitor)
                checkLabelsAndButtons(top); // the properties dialog
    }
};

QTEST_MAIN(tst_Accessibility)
#include "tst_Accessibility.moc"
