#include "app/Background.h"
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "drive_details/DriveReport.h"
#include "platform/linux/BlkidProbe.h"
#include "platform/linux/BoundedCall.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/LinuxFileSystem.h"
#include "platform/linux/MountInfo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <linux/loop.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>

using namespace ombrix::platform;
using namespace std::chrono_literals;

namespace {

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(OMBRIX_FIXTURES_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return file.readAll();
}

QString run(const QString& program, const QStringList& args, bool* ok = nullptr) {
    QProcess p;
    p.start(program, args);
    const bool finished = p.waitForFinished(30000);
    if (ok)
        *ok = finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// A loop device over an image file. Auto-clear: the kernel frees it once it
// is neither open nor mounted, so nothing is left behind even if we crash.
struct LoopDevice {
    int fd = -1;
    QString node;
    bool attach(const QString& image) {
        const int imageFd = ::open(QFile::encodeName(image).constData(), O_RDWR | O_CLOEXEC);
        if (imageFd < 0)
            return false;
        for (int attempt = 0; attempt < 5 && fd < 0; ++attempt) {
            const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
            if (control < 0)
                break;
            const int number = ::ioctl(control, LOOP_CTL_GET_FREE);
            ::close(control);
            if (number < 0)
                break;
            node = QStringLiteral("/dev/loop%1").arg(number);
            const int dev = ::open(QFile::encodeName(node).constData(), O_RDWR | O_CLOEXEC);
            if (dev < 0)
                continue;
            loop_config config{};
            config.fd = static_cast<__u32>(imageFd);
            config.info.lo_flags = LO_FLAGS_AUTOCLEAR;
            if (::ioctl(dev, LOOP_CONFIGURE, &config) == 0)
                fd = dev;
            else
                ::close(dev); // taken by someone else meanwhile
        }
        ::close(imageFd);
        return fd >= 0;
    }
    ~LoopDevice() {
        if (fd >= 0)
            ::close(fd);
    }
};

struct Mount {
    QString dir;
    ~Mount() {
        if (!dir.isEmpty())
            ::umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
    }
};

std::optional<DriveEntry> driveAt(const std::vector<DriveEntry>& drives,
                                  const QString& mountPoint) {
    for (const DriveEntry& d : drives) {
        if (d.mount && d.mount->mountPoint == mountPoint)
            return d;
    }
    return std::nullopt;
}

QString tableLine(const DriveEntry& d) {
    return QStringLiteral("%1: %2 %3")
        .arg(d.letter)
        .arg(d.type)
        .arg(d.mount ? d.mount->mountPoint : QStringLiteral("-"));
}

std::int32_t signedSerial(const QString& hex8) {
    return static_cast<std::int32_t>(hex8.toUInt(nullptr, 16));
}

// The reading a child process makes of a drive that never answers, and ends.
int reportAndExit(const char* letter) {
    LinuxFileSystem fs(200ms);
    std::unique_ptr<DriveObject> drive = fs.create()->GetDrive(QString::fromLatin1(letter));
    return drive->SerialNumber() == NotReady ? 0 : 2; // a hung drive must not answer
}

} // namespace

class tst_LinuxFileSystem : public QObject {
    Q_OBJECT

private:
    bool m_canMount = false;
    QString m_whyNot;

    QTemporaryDir m_tmp;

    struct Window {
        LinuxFileSystem fs;
        ombrix::Forms forms;
        std::unique_ptr<ombrix::Drive> drive;
        explicit Window(std::chrono::milliseconds bound,
                        QString mountInfo = QStringLiteral("/proc/self/mountinfo"))
            : fs(bound, std::move(mountInfo)) {
            drive = std::make_unique<ombrix::Drive>(fs, forms);
            drive->Form_Load();
            drive->show();
            drive->activateWindow();
            settle();
        }
        ~Window() {
            drive.reset();
            ombrix::waitForBackgroundWork(); // reports still out use fs
        }
        // Types the letter and waits for its report.
        void type(QChar letter) {
            QWidget* target = drive->findChild<QLineEdit*>(QStringLiteral("Text1"));
            QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(letter),
                                Qt::NoModifier);
            settle();
        }
        // Lets the reports started so far reach the window.
        static void settle() {
            ombrix::waitForBackgroundWork();
            QCoreApplication::sendPostedEvents();
        }
        QStringList lines() const {
            QStringList out;
            for (const char* name : {"LblDrive", "LblSN", "LblTot", "LblFree"})
                out << drive->findChild<QLabel*>(QString::fromLatin1(name))->text();
            return out;
        }
    };

    void requireMounting() {
        if (!m_canMount)
            QSKIP(qPrintable(QStringLiteral("This machine forbids mounting here: ") + m_whyNot));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_tmp.isValid());
        // Our volumes live in a mount namespace of our own: nobody else sees
        // them (a hung one cannot hold up anyone's df) and they vanish with us.
        if (::geteuid() != 0) {
            m_whyNot = QStringLiteral("not running as root");
        } else if (::unshare(CLONE_NEWNS) != 0) {
            m_whyNot =
                QStringLiteral("unshare(CLONE_NEWNS): ") + QString::fromLocal8Bit(strerror(errno));
        } else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            m_whyNot =
                QStringLiteral("making / private: ") + QString::fromLocal8Bit(strerror(errno));
        } else {
            m_canMount = true;
        }
    }

    void mountFieldsAreUnescaped_data() {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("space") << QByteArray("/media/MY\\040STICK") << "/media/MY STICK";
        QTest::newRow("tab and newline") << QByteArray("a\\011b\\012c") << "a\tb\nc";
        QTest::newRow("backslash") << QByteArray("a\\134b") << "a\\b";
        QTest::newRow("backslash without digits") << QByteArray("a\\b") << "a\\b";
        QTest::newRow("escape cut short at the end") << QByteArray("a\\04") << "a\\04";
        QTest::newRow("not octal") << QByteArray("a\\089") << "a\\089";
        QTest::newRow("UTF-8 name")
            << QByteArray("/media/K\xc3\xa4the") << QStringLiteral("/media/Käthe");
    }
    void mountFieldsAreUnescaped() {
        QFETCH(QByteArray, field);
        QFETCH(QString, text);
        QCOMPARE(unescapeMountField(field), text);
    }

    void mountTableSkipsMalformedLines() {
        const std::vector<MountEntry> entries = parseMountInfo(fixture("mountinfo_escapes.txt"));
        QStringList points;
        for (const MountEntry& e : entries)
            points << e.mountPoint;
        QCOMPARE(points,
                 (QStringList{"/", "/mnt/My Stick", "/mnt/tab\tand\nnewline", "/mnt/back\\slash",
                              "/mnt/lone\\back", "/mnt/no super options", "/mnt/short\\04"}));
        QCOMPARE(entries[2].fsType, QStringLiteral("tmpfs")); // optional fields skipped
        QCOMPARE(entries[2].source, QStringLiteral("none"));
        QCOMPARE(entries[0].dev, (DevNum{254, 0}));
    }

    void lettersFollowTheMountTable_data() {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("desktop with USB stick, shares, images and empty drives")
            << fixture("mountinfo_desktop.txt")
            << QStringList{"A: 1 -",
                           "C: 2 /",
                           "D: 2 /boot/efi",
                           "E: 2 /home",
                           "F: 1 /media/ann/MY STICK",
                           "G: 3 /mnt/nas",
                           "H: 3 /mnt/share two",
                           "I: 3 /home/ann/remote",
                           "J: 5 /mnt/ram",
                           "K: 4 /mnt/iso",
                           "L: 2 /mnt/btrfs",
                           "M: 0 /mnt/own fuse",
                           "N: 2 /mnt/ntfs",
                           "O: 1 -",
                           "P: 4 -"};
        QStringList many{"A: 1 -", "C: 2 /"};
        for (int i = 0; i < 23; ++i)
            many << QStringLiteral("%1: 5 /mnt/ram disk %2").arg(QChar(u'D' + i)).arg(2 + 3 * i);
        QTest::newRow("six hundred mounts stop at Z") << fixture("mountinfo_many.txt") << many;
        QTest::newRow("empty table") << QByteArray() << QStringList{"A: 1 -", "D: 1 -", "E: 4 -"};
    }
    void lettersFollowTheMountTable() {
        QFETCH(QByteArray, table);
        QFETCH(QStringList, expected);
        auto dev = [](const char* name, DevNum num, bool partition = false) {
            BlockDevice d;
            d.name = QString::fromLatin1(name);
            d.dev = num;
            d.partition = partition;
            return d;
        };
        std::vector<BlockDevice> devices = {
            dev("fd0", {2, 0}),
            dev("loop0", {7, 0}),
            dev("loop1", {7, 1}),
            dev("nvme0n1", {259, 0}),
            dev("nvme0n1p1", {259, 1}, true),
            dev("nvme0n1p2", {259, 2}, true),
            dev("nvme0n1p3", {259, 3}, true),
            dev("sda", {8, 0}),
            dev("sda1", {8, 1}, true),
            dev("sdb", {8, 16}),
            dev("sdc", {8, 32}),
            dev("sdc1", {8, 33}, true),
            dev("sdd", {8, 48}),
            dev("sdd1", {8, 49}, true),
            dev("sr0", {11, 0}),
            dev("zram0", {252, 0}),
        };
        for (BlockDevice& d : devices) {
            if (d.name.startsWith(QLatin1String("sda")))
                d.removable = d.usb = true;
            if (d.name == QLatin1String("sdb")) {
                d.removable = true;
                d.hasMedium = false;
            }
            if (d.name == QLatin1String("sr0")) {
                d.optical = true;
                d.hasMedium = false;
            }
            d.ram = d.name.startsWith(QLatin1String("zram"));
        }
        const BlockNodeLookup nodes = [&](const QString& source) -> std::optional<DevNum> {
            for (const BlockDevice& d : devices) {
                if (source == QStringLiteral("/dev/") + d.name)
                    return d.dev;
            }
            return std::nullopt;
        };
        QStringList got;
        for (const DriveEntry& d : assignDriveLetters(parseMountInfo(table), devices, nodes))
            got << tableLine(d);
        QCOMPARE(got, expected);
    }

    void serialsComeFromTheVolumeIdentity_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("uuid");
        QTest::addColumn<bool>("known");
        QTest::addColumn<int>("serial");
        QTest::newRow("FAT volume serial") << "vfat"
                                           << "1234-ABCD" << true << 0x1234ABCD;
        QTest::newRow("exFAT serial with the top bit set")
            << "exfat"
            << "9ABC-DEF0" << true << signedSerial("9ABCDEF0");
        QTest::newRow("NTFS: low half of the 64-bit serial")
            << "ntfs"
            << "0123456789ABCDEF" << true << signedSerial("89ABCDEF");
        QTest::newRow("ext4: first 32 bits of the UUID")
            << "ext4"
            << "c0ffee12-3456-4789-abcd-0123456789ab" << true << signedSerial("c0ffee12");
        QTest::newRow("ISO 9660 date identity")
            << "iso9660"
            << "2020-01-01-12-00-00-00" << true << signedSerial("20200101");
        QTest::newRow("too short an identity") << "squashfs"
                                               << "12ab" << false << 0;
        QTest::newRow("no identity") << "ext2"
                                     << "" << false << 0;
        QTest::newRow("not hexadecimal") << "btrfs"
                                         << "zzzzzzzz" << false << 0;
    }
    void serialsComeFromTheVolumeIdentity() {
        QFETCH(QString, type);
        QFETCH(QString, uuid);
        QFETCH(bool, known);
        QFETCH(int, serial);
        const std::optional<std::int32_t> got = serialFromIdentity({type, uuid});
        QCOMPARE(got.has_value(), known);
        if (known)
            QCOMPARE(*got, serial);
    }

    void pathsWithoutLetterNameTheCurrentDirectorysDrive() {
        LinuxFileSystem fs;
        std::unique_ptr<FileSystemObject> fso = fs.create();
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QStringLiteral("/")));
        const QString path = fso->GetAbsolutePathName(QStringLiteral("Text1:\\"));
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(path, QStringLiteral("C:\\Text1:\\"));
        QCOMPARE(fso->GetDriveName(path), QStringLiteral("C:"));
        QCOMPARE(fso->GetAbsolutePathName(QStringLiteral("c:\\")), QStringLiteral("c:\\"));
        QCOMPARE(fso->GetDrive(QStringLiteral("c:"))->DriveLetter(), QStringLiteral("C"));
        for (const QString& bad : {QString(), QStringLiteral("Text1:"), QStringLiteral("é:"),
                                   QStringLiteral("CC:"), QStringLiteral("\\\\srv\\share")}) {
            QCOMPARE(fso->GetDrive(bad), nullptr);
        }
    }

    // Compared with df, findmnt and blkid; run before any volume of ours exists.
    void thisMachineAgreesWithDfFindmntAndBlkid() {
        LinuxFileSystem fs;
        const std::vector<DriveEntry> drives = fs.drives();
        QVERIFY(!drives.empty());
        std::unique_ptr<FileSystemObject> fso = fs.create();
        static const QStringList network = {"nfs",   "nfs4",       "cifs", "smb3",
                                            "smbfs", "fuse.sshfs", "9p"};
        for (const DriveEntry& d : drives) {
            if (!d.mount)
                continue;
            const QString mp = d.mount->mountPoint;
            const std::unique_ptr<DriveObject> drive = fso->GetDrive(QString(d.letter));
            qInfo("%c: type %d at %s", d.letter.toLatin1(), drive->DriveType(), qPrintable(mp));

            bool ok = false;
            const QStringList found =
                run("findmnt", {"-n", "-r", "-o", "FSTYPE,SOURCE", "--mountpoint", mp}, &ok)
                    .split(u'\n')
                    .first()
                    .split(u' ');
            QVERIFY2(ok && found.size() == 2, qPrintable(mp));
            const QString fsType = found[0];
            const int type = drive->DriveType();
            if (fsType == "tmpfs" || fsType == "ramfs")
                QCOMPARE(type, 5);
            else if (network.contains(fsType))
                QCOMPARE(type, 3);
            else if (found[1].startsWith("/dev/"))
                QVERIFY2(type == 1 || type == 2 || type == 4, qPrintable(mp));

            // Free space moves while others write: accept ours when it lies
            // between two df readings taken around it.
            bool agreed = false;
            for (int attempt = 0; attempt < 5 && !agreed; ++attempt) {
                auto df = [&] {
                    const QStringList rows = run("df", {"-B1", "--output=size,avail", mp})
                                                 .split(u'\n', Qt::SkipEmptyParts);
                    return rows.value(1).simplified().split(u' ');
                };
                const QStringList before = df();
                const std::uint64_t total = drive->TotalSize().value();
                const std::uint64_t avail = drive->AvailableSpace().value();
                const QStringList after = df();
                QCOMPARE(QString::number(total), before.value(0));
                const std::uint64_t a = before.value(1).toULongLong();
                const std::uint64_t b = after.value(1).toULongLong();
                agreed = avail >= std::min(a, b) && avail <= std::max(a, b);
            }
            QVERIFY2(agreed, qPrintable(mp));

            QString uuid;
            if (!d.deviceNode.isEmpty())
                uuid = run("blkid", {"-p", "-o", "value", "-s", "UUID", d.deviceNode}).trimmed();
            const QString digits = QString(uuid).remove(u'-');
            if (digits.size() >= 8) {
                const QString fsTypeProbed =
                    run("blkid", {"-p", "-o", "value", "-s", "TYPE", d.deviceNode}).trimmed();
                const QString hex = fsTypeProbed == "ntfs" ? digits.right(8) : digits.left(8);
                QCOMPARE(drive->SerialNumber(), IfReady<std::int32_t>(signedSerial(hex)));
            } else {
                // blkid cannot read the volume (here: a disk we may not open):
                // the file-system id, the first half of what stat -f prints.
                const QString id = run("stat", {"-f", "-c", "%i", mp}).trimmed();
                QCOMPARE(drive->SerialNumber(),
                         IfReady<std::int32_t>(signedSerial(id.left(id.size() - 8).right(8))));
            }
        }
    }

    void ext4VolumeShowsItsUuidAndSizes() {
        requireMounting();
        const QString image = m_tmp.filePath("ext4.img");
        QFile file(image);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(16 << 20));
        file.close();
        bool ok = false;
        run("mkfs.ext4", {"-q", "-F", "-U", "c0ffee12-3456-4789-abcd-0123456789ab", image}, &ok);
        QVERIFY2(ok, "mkfs.ext4 failed");
        LoopDevice loop;
        QVERIFY2(loop.attach(image), "no free loop device");
        Mount mount{m_tmp.filePath("ext4 volume")};
        QVERIFY(QDir().mkpath(mount.dir));
        QVERIFY2(::mount(QFile::encodeName(loop.node).constData(),
                         QFile::encodeName(mount.dir).constData(), "ext4", 0, nullptr) == 0,
                 strerror(errno));

        struct statvfs st {};
        QCOMPARE(::statvfs(QFile::encodeName(mount.dir).constData(), &st), 0);
        Window w(2s);
        const std::optional<DriveEntry> entry = driveAt(w.fs.drives(), mount.dir);
        QVERIFY2(entry, "the mounted image got no letter");
        QCOMPARE(entry->type, 2);
        w.type(entry->letter.toLower());
        const QLocale locale;
        QCOMPARE(w.lines(),
                 (QStringList{
                     QStringLiteral("Unit %1: - Hard Disk").arg(entry->letter),
                     QStringLiteral("Serial #: %1").arg(signedSerial("c0ffee12")),
                     "Total Size: " + ombrix::formatDriveSize(st.f_blocks * st.f_frsize, locale),
                     "Free Space: " + ombrix::formatDriveSize(st.f_bavail * st.f_frsize, locale)}));
        const auto drive = w.fs.create()->GetDrive(QString(entry->letter));
        QCOMPARE(drive->TotalSize(), std::uint64_t(st.f_blocks) * st.f_frsize);
        QCOMPARE(drive->AvailableSpace(), std::uint64_t(st.f_bavail) * st.f_frsize);
    }

    void fatVolumeSerialIsProbed() {
        requireMounting();
        const QString image = m_tmp.filePath("fat.img");
        bool ok = false;
        run("mkfs.vfat", {"-C", "-i", "9ABCDEF0", image, "1440"}, &ok);
        QVERIFY2(ok, "mkfs.vfat failed");
        const std::optional<VolumeIdentity> identity = probeVolume(image);
        QVERIFY(identity);
        QCOMPARE(identity->type, QStringLiteral("vfat"));
        QCOMPARE(identity->uuid, QStringLiteral("9ABC-DEF0"));

        // This kernel has no FAT driver: the volume is described to the file
        // system by a mount table of ours that names its loop device.
        LoopDevice loop;
        QVERIFY2(loop.attach(image), "no free loop device");
        const QString folder = m_tmp.filePath("fat volume");
        QVERIFY(QDir().mkpath(folder));
        QFile self("/proc/self/mountinfo");
        QVERIFY(self.open(QIODevice::ReadOnly));
        QByteArray table = self.readAll();
        table += "9999 1 0:9999 / " + QString(folder).replace(" ", "\\040").toUtf8() +
                 " rw - vfat " + loop.node.toUtf8() + " rw\n";
        const QString tablePath = m_tmp.filePath("mountinfo_with_fat");
        QFile out(tablePath);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(table) == table.size());
        out.close();

        Window w(2s, tablePath);
        const std::optional<DriveEntry> entry = driveAt(w.fs.drives(), folder);
        QVERIFY(entry);
        w.type(entry->letter);
        QCOMPARE(w.lines().value(1), QStringLiteral("Serial #: %1").arg(signedSerial("9ABCDEF0")));
    }

    void tmpfsIsARamDiscOfItsExactSize() {
        requireMounting();
        Mount mount{m_tmp.filePath("ram disc")};
        QVERIFY(QDir().mkpath(mount.dir));
        QVERIFY2(::mount("ombrixram", QFile::encodeName(mount.dir).constData(), "tmpfs", 0,
                         "size=4m") == 0,
                 strerror(errno));
        QFile data(mount.dir + "/one-megabyte");
        QVERIFY(data.open(QIODevice::WriteOnly) && data.write(QByteArray(1 << 20, 'x')) == 1 << 20);
        data.close();
        Window w(2s);
        const std::optional<DriveEntry> entry = driveAt(w.fs.drives(), mount.dir);
        QVERIFY(entry);
        w.type(entry->letter);
        const QStringList lines = w.lines();
        QCOMPARE(lines[0], QStringLiteral("Unit %1: - RAM Disc").arg(entry->letter));
        QVERIFY(lines[1].startsWith(QStringLiteral("Serial #: ")));
        QCOMPARE(lines[2], QStringLiteral("Total Size: 4.00 MB"));
        QCOMPARE(lines[3], QStringLiteral("Free Space: 3.00 MB"));

        // Loaded with the current directory inside the volume, the first
        // report (for the drive text "Text1") is about that volume.
        QVERIFY(QDir().mkpath(mount.dir + "/sub folder"));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(mount.dir + "/sub folder"));
        const QString path = w.fs.create()->GetAbsolutePathName(QStringLiteral("Text1:\\"));
        Window loadedHere(2s);
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(path, QStringLiteral("%1:\\sub folder\\Text1:\\").arg(entry->letter));
        QCOMPARE(loadedHere.lines().value(0),
                 QStringLiteral("Unit %1: - RAM Disc").arg(entry->letter));
    }

    // A stick pulled out (and unmounted) after the drive table was read must not
    // report the figures of the folder it was mounted on.
    void aVolumeGoneSinceTheTableWasReadIsNotReady() {
        requireMounting();
        const QString dir = m_tmp.filePath("gone");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY2(::mount("ombrixgone", QFile::encodeName(dir).constData(), "tmpfs", 0, "size=1m") ==
                     0,
                 strerror(errno));
        LinuxFileSystem fs;
        const std::unique_ptr<FileSystemObject> fso = fs.create();
        const std::optional<DriveEntry> entry = driveAt(fs.drives(), dir);
        QVERIFY(entry);
        const std::unique_ptr<DriveObject> drive = fso->GetDrive(QString(entry->letter));
        QCOMPARE(drive->TotalSize(), IfReady<std::uint64_t>(std::uint64_t(1) << 20));
        QCOMPARE(::umount2(QFile::encodeName(dir).constData(), 0), 0);
        QCOMPARE(drive->TotalSize(), NotReady);
        QCOMPARE(drive->AvailableSpace(), NotReady);
        QCOMPARE(drive->SerialNumber(), NotReady);
    }

    void hungVolumeIsNotReadyAndHoldsNothingUp() {
        requireMounting();
        // A FUSE connection whose server never answers: every request on it
        // waits until the device is closed.
        const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
        if (fuse < 0)
            QSKIP("No /dev/fuse on this machine");
        Mount mount{m_tmp.filePath("hung")};
        QVERIFY(QDir().mkpath(mount.dir));
        const QByteArray options =
            QStringLiteral("fd=%1,rootmode=40000,user_id=0,group_id=0").arg(fuse).toLatin1();
        if (::mount("ombrixhung", QFile::encodeName(mount.dir).constData(), "fuse.ombrixhung",
                    MS_NOSUID | MS_NODEV, options.constData()) != 0) {
            ::close(fuse);
            QSKIP(qPrintable(QStringLiteral("Cannot mount FUSE: ") + strerror(errno)));
        }
        struct Unhang {
            int fd;
            ~Unhang() {
                if (fd >= 0)
                    ::close(fd);
            } // aborts the connection: stuck readers return
        } unhang{fuse};

        Window w(300ms);
        const std::optional<DriveEntry> entry = driveAt(w.fs.drives(), mount.dir);
        QVERIFY(entry);
        const QChar letter = entry->letter;
        QElapsedTimer timer;
        timer.start();
        w.type(letter);
        const qint64 first = timer.restart();
        QCOMPARE(w.lines(), (QStringList{QStringLiteral("Unit %1: - Unknow").arg(letter),
                                         QStringLiteral("Unit not ready"), QString(), QString()}));
        w.type(u'c');
        const qint64 next = timer.restart();
        QVERIFY(w.lines()[1].startsWith(QStringLiteral("Serial #: ")));
        for (int i = 0; i < 20; ++i)
            w.type(letter);
        const qint64 repeated = timer.restart();
        QCOMPARE(w.lines()[1], QStringLiteral("Unit not ready"));
        QCOMPARE(pendingBoundedTasks(), 1); // one stuck reader, however often asked
        qInfo("hung drive: first report %lld ms, next key %lld ms, 20 more reports %lld ms", first,
              next, repeated);

        // A program that gave up on the drive still ends.
        QProcess child;
        // Leak checking (sanitizer builds) would wait for the stuck thread to
        // stop, which a thread waiting in the kernel never does.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--report-and-exit"), QString(letter)});
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        ::close(unhang.fd);
        unhang.fd = -1;
        QTRY_COMPARE(pendingBoundedTasks(), 0);
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--report-and-exit") == 0)
        return reportAndExit(argv[2]);
    QApplication app(argc, argv);
    tst_LinuxFileSystem test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_LinuxFileSystem.moc"
