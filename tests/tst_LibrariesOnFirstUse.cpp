// The program as main() makes it, on this machine: once the main window is
// up, no library that only another window needs is mapped, nor any image
// plugin, the icon being PNG; the registry and the drives bring theirs with
// their first use.
#include "app/Application.h"
#include "app/Forms.h"
#include "main_window/PrinterInstallControl.h"
#include "platform/PlatformError.h"
#include "platform/linux/LinuxMachine.h"
#include "platform/linux/drives/VolumeProbe.h"
#include "platform/linux/modules/LazyRegistryStore.h"
#include "program/Program.h"
#include "program/WindowIcon.h"

#include "ProgramApplication.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace ombrix;

namespace {

// The files mapped into this process whose path holds `part`.
QStringList mappedFiles(const QString& part) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("<cannot read /proc/self/maps>")};
    QStringList found;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const qsizetype slash = line.indexOf('/');
        const QString path = QString::fromLocal8Bit(slash < 0 ? QByteArray() : line.mid(slash));
        if (path.contains(part) && !found.contains(path))
            found << path;
    }
    return found;
}

struct Program {
    program::Program program;
    PrinterInstallControl printerInstall{program.machine().printers};
    Forms forms;

    Program() {
        registerWindows(forms, program.windowServices(printerInstall, [] {}));
    }
};

} // namespace

class tst_LibrariesOnFirstUse : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Reading the user's store makes nothing, but it is ours alone here.
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path()));
        m_program = std::make_unique<Program>();
        const QIcon icon = program::windowIcon();
        QVERIFY(!icon.availableSizes().isEmpty());
        for (const QSize size : icon.availableSizes())
            QCOMPARE(icon.pixmap(size).size(), size);
        Application::setWindowIcon(icon);
        QWidget* main = m_program->forms.showMain();
        QVERIFY(main);
        QVERIFY(QTest::qWaitForWindowExposed(main));
        QTest::qWait(100); // its first paints
    }
    void cleanupTestCase() { m_program.reset(); }

    void mainWindowMapsOnlyWhatItUses_data() {
        QTest::addColumn<QString>("part");
        QTest::newRow("SQLite") << "/libsqlite3.so";
        QTest::newRow("libblkid") << "/libblkid.so";
        QTest::newRow("an image plugin") << "/imageformats/";
    }
    void mainWindowMapsOnlyWhatItUses() {
        QFETCH(QString, part);
        const QStringList found = mappedFiles(part);
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u' ')));
    }

    // After the test above: the rows run in order, and a library once
    // loaded stays.
    void firstUseMapsTheLibrary_data() {
        QTest::addColumn<QString>("use");
        QTest::addColumn<QString>("part");
        QTest::newRow("the registry read, SQLite") << "registry"
                                                   << "/libsqlite3.so";
        QTest::newRow("a drive's serial asked, libblkid") << "drive"
                                                          << "/libblkid.so";
    }
    void firstUseMapsTheLibrary() {
        QFETCH(QString, use);
        QFETCH(QString, part);
        platform::LinuxMachine& m = m_program->program.local();
        if (use == "registry") {
            platform::HKEY key = 0;
            const platform::LONG status = m.registry->RegOpenKeyExA(
                platform::HKEY_CURRENT_USER, "Software", 0, platform::KEY_READ, &key);
            QCOMPARE(status, platform::ERROR_FILE_NOT_FOUND); // no store file yet
        } else {
            const std::vector<platform::DriveEntry> drives = m.fileSystem.drives();
            const auto probed = std::find_if(drives.begin(), drives.end(), [](const auto& d) {
                return d.mount && !d.deviceNode.isEmpty();
            });
            if (probed == drives.end())
                QSKIP("no drive here is mounted from a block device");
            const std::unique_ptr<platform::FileSystemObject> files = m.fileSystem.create();
            QVERIFY(files);
            const std::unique_ptr<platform::DriveObject> drive =
                files->GetDrive(QString(probed->letter));
            QVERIFY(drive);
            drive->SerialNumber();
        }
        QVERIFY2(!mappedFiles(part).isEmpty(), qPrintable(part));
    }

    // A module missing from the installation is named, not taken for an
    // empty store or a volume without a file system.
    void missingModuleIsNamed_data() {
        QTest::addColumn<QString>("use");
        QTest::newRow("the registry's store") << "registry";
        QTest::newRow("the volume probe") << "drive";
    }
    void missingModuleIsNamed() {
        QFETCH(QString, use);
        const std::string module = "libombrix_no_such_module.so";
        QString error;
        try {
            if (use == "registry") {
                platform::LazyRegistryStore store(m_home.filePath("registry.db").toStdString(),
                                                  platform::LazyRegistryStore::Writers::Owner,
                                                  module);
                store.keyExists({});
            } else {
                platform::VolumeProbe(module).load();
            }
        } catch (const platform::PlatformError& e) {
            error = QString::fromUtf8(e.what());
        }
        QVERIFY2(error.contains(QString::fromStdString(module)), qPrintable(error));
    }

private:
    QTemporaryDir m_home;
    std::unique_ptr<Program> m_program;
};

int main(int argc, char** argv) {
    return runWithProgramApplication<tst_LibrariesOnFirstUse>(argc, argv);
}

#include "tst_LibrariesOnFirstUse.moc"
