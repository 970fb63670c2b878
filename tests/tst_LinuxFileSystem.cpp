#include "ProgramThreads.h"
#include "app/Background.h"
#include "app/Forms.h"
#include "drive_details/Drive.h"
#include "drive_details/DriveReport.h"
#include "platform/linux/BoundedCall.h"
#include "platform/linux/drives/BlkidProbe.h"
#include "platform/linux/drives/BlockDevices.h"
#include "platform/linux/drives/DriveTable.h"
#include "platform/linux/drives/LinuxFileSystem.h"
#include "platform/linux/drives/MountInfo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
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

// Makes a 16 MiB image with an ext4 file system of that UUID, attaches it to
// the loop device and mounts it at mount.dir; the reason when it cannot.
QString mountExt4Image(const QString& image, const QString& uuid, LoopDevice& loop,
                       const Mount& mount, unsigned long flags = 0) {
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(16 << 20))
        return QStringLiteral("cannot make ") + image;
    file.close();
    bool ok = false;
    run(QStringLiteral("mkfs.ext4"), {"-q", "-F", "-U", uuid, image}, &ok);
    if (!ok)
        return QStringLiteral("mkfs.ext4 failed");
    if (!loop.attach(image))
        return QStringLiteral("no free loop device");
    if (!QDir().mkpath(mount.dir) ||
        ::mount(QFile::encodeName(loop.node).constData(), QFile::encodeName(mount.dir).constData(),
                "ext4", flags, nullptr) != 0)
        return QStringLiteral("mounting: ") + QString::fromLocal8Bit(strerror(errno));
    return {};
}

// A mount at a path of any bytes, and the folder made for it.
struct RawMount {
    QByteArray dir;
    ~RawMount() {
        if (!dir.isEmpty()) {
            ::umount2(dir.constData(), MNT_DETACH);
            ::rmdir(dir.constData());
        }
    }
};

std::optional<DriveEntry> driveAt(const std::vector<DriveEntry>& drives,
                                  const QByteArray& mountPoint) {
    for (const DriveEntry& d : drives) {
        if (d.mount && d.mount->mountPoint == mountPoint)
            return d;
    }
    return std::nullopt;
}

std::optional<DriveEntry> driveAt(const std::vector<DriveEntry>& drives,
                                  const QString& mountPoint) {
    return driveAt(drives, QFile::encodeName(mountPoint));
}

// The program's report of the drives, run as root or as the unprivileged
// user nobody (65534), who may not open the disks.
struct ProgramRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};
ProgramRun runReport(const QStringList& args, bool asNobody, const QStringList& setEnv = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
    for (const QString& pair : setEnv)
        env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    process.setProcessEnvironment(env);
    const QString program = QStringLiteral(OMBRIX_BIN_DIR "/ombrix");
    if (asNobody)
        process.start(QStringLiteral("setpriv"),
                      QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} +
                          args);
    else
        process.start(program, args);
    process.waitForFinished(60000);
    ProgramRun run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Why this machine does not let us run a program as nobody; empty when it does.
QString whyNoUnprivilegedUser() {
    QProcess process;
    process.start(QStringLiteral("setpriv"),
                  {"--reuid=65534", "--regid=65534", "--clear-groups", "true"});
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return QStringLiteral("setpriv cannot run a program as nobody here: ") +
               QString::fromLocal8Bit(process.readAllStandardError()).trimmed() +
               process.errorString();
    return {};
}

// libblkid's cache as the machine has it (the file /etc/blkid.conf names, else
// /run/blkid/blkid.tab, and the copy libblkid keeps beside it), put back when
// this goes.
class BlkidCacheKept {
public:
    BlkidCacheKept() {
        QString path = QStringLiteral("/run/blkid/blkid.tab");
        QFile conf(QStringLiteral("/etc/blkid.conf"));
        if (conf.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : conf.readAll().split('\n')) {
                if (line.trimmed().startsWith("CACHE_FILE="))
                    path = QFile::decodeName(line.trimmed().mid(11));
            }
        }
        m_folder = QFileInfo(path).path();
        m_folderMade = !QFileInfo::exists(m_folder);
        for (const QString& name : {path, path + QStringLiteral(".old")}) {
            QFile file(name);
            m_files.emplace_back(name, file.open(QIODevice::ReadOnly)
                                           ? std::optional<QByteArray>(file.readAll())
                                           : std::nullopt);
        }
    }
    ~BlkidCacheKept() {
        for (const auto& [name, text] : m_files) {
            QFile file(name);
            if (!text)
                file.remove();
            else if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write(*text);
        }
        if (m_folderMade)
            QDir().rmdir(m_folder);
    }
    // No entry left for anyone to read, until this goes.
    void clear() {
        for (const auto& entry : m_files)
            QFile::remove(entry.first);
    }
    BlkidCacheKept(const BlkidCacheKept&) = delete;
    BlkidCacheKept& operator=(const BlkidCacheKept&) = delete;

private:
    QString m_folder;
    bool m_folderMade = false;
    std::vector<std::pair<QString, std::optional<QByteArray>>> m_files;
};

// The UUID this machine tells every user of a device: as a user's lsblk
// reads it (udev's database) or a user's blkid (libblkid's cache); empty for
// none.
QString publishedUuid(const QByteArray& node) {
    const QStringList asNobody{"--reuid=65534", "--regid=65534", "--clear-groups"};
    const QString device = QFile::decodeName(node);
    for (const QStringList& tool : {QStringList{"lsblk", "-dno", "UUID"},
                                    QStringList{"blkid", "-o", "value", "-s", "UUID"}}) {
        const QString uuid = run("setpriv", asNobody + tool + QStringList{device}).trimmed();
        if (!uuid.isEmpty())
            return uuid;
    }
    return {};
}

// The drive of that letter in a JSON report of the drives.
QJsonObject jsonDrive(const QByteArray& report, QChar letter) {
    for (const QJsonValue& drive :
         QJsonDocument::fromJson(report)[QLatin1String("drives")].toArray()) {
        if (drive[QLatin1String("letter")].toString() == QString(letter))
            return drive.toObject();
    }
    return {};
}

// The lines of one drive in a text report of the drives.
QStringList textDrive(const QByteArray& report, QChar letter) {
    QStringList block;
    for (const QString& line : QString::fromUtf8(report).split(u'\n')) {
        if (line.isEmpty() || line.startsWith(QLatin1String("== "))) {
            if (!block.isEmpty())
                break;
            continue;
        }
        if (!block.isEmpty() || line.startsWith(QStringLiteral("Unit %1: ").arg(letter)))
            block << line;
    }
    return block;
}

QStringList jsonStrings(const QJsonValue& array) {
    QStringList list;
    for (const QJsonValue& v : array.toArray())
        list << v.toString();
    return list;
}

QString tableLine(const DriveEntry& d) {
    return QStringLiteral("%1: %2 %3")
        .arg(d.letter)
        .arg(d.type)
        .arg(d.mount ? QString::fromUtf8(d.mount->mountPoint) : QStringLiteral("-"));
}

std::int32_t signedSerial(const QString& hex8) {
    return static_cast<std::int32_t>(hex8.toUInt(nullptr, 16));
}

// The reading a child process makes of a drive that never answers, and ends.
int reportAndExit(const char* letter) {
    ProgramThreads threads;
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
    // Where volumes are mounted that the unprivileged user must reach too.
    QTemporaryDir m_public;

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

    // Whether this process may mount; where not, the test is skipped, and
    // the caller returns at once.
    bool mayMount() {
        if (!m_canMount)
            QTest::qSkip(
                qPrintable(QStringLiteral("This machine forbids mounting here: ") + m_whyNot),
                __FILE__, __LINE__);
        return m_canMount;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_tmp.isValid());
        QVERIFY(m_public.isValid());
        QVERIFY(QFile::setPermissions(m_public.path(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                          QFileDevice::ExeGroup));
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
        QCOMPARE(QString::fromUtf8(unescapeMountField(field)), text);
    }

    void mountTableSkipsMalformedLines() {
        const std::vector<MountEntry> entries = parseMountInfo(fixture("mountinfo_escapes.txt"));
        QStringList points;
        for (const MountEntry& e : entries)
            points << QString::fromUtf8(e.mountPoint);
        QCOMPARE(points,
                 (QStringList{"/", "/mnt/My Stick", "/mnt/tab\tand\nnewline", "/mnt/back\\slash",
                              "/mnt/lone\\back", "/mnt/no super options", "/mnt/short\\04"}));
        QCOMPARE(entries[2].fsType, QStringLiteral("tmpfs")); // optional fields skipped
        QCOMPARE(entries[2].source, QByteArray("none"));
        QCOMPARE(entries[0].dev, (DevNum{254, 0}));
    }

    void lettersFollowTheMountTable_data() {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("withoutLetter");
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
                           "P: 4 -"}
            << 0;
        QStringList many{"A: 1 -", "C: 2 /"};
        for (int i = 0; i < 23; ++i)
            many << QStringLiteral("%1: 5 /mnt/ram disk %2").arg(QChar(u'D' + i)).arg(2 + 3 * i);
        // 200 RAM discs, each its own device; the binds and the system's
        // own mounts are no further drives.
        QTest::newRow("six hundred mounts stop at Z, and count the rest")
            << fixture("mountinfo_many.txt") << many << 200 - 23;
        QTest::newRow("empty table")
            << QByteArray() << QStringList{"A: 1 -", "D: 1 -", "E: 4 -"} << 0;
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
        const BlockNodeLookup nodes = [&](const QByteArray& source) -> std::optional<DevNum> {
            for (const BlockDevice& d : devices) {
                if (source == "/dev/" + d.name.toUtf8())
                    return d.dev;
            }
            return std::nullopt;
        };
        QStringList got;
        const DriveTable drives = assignDriveLetters(parseMountInfo(table), devices, nodes);
        for (const DriveEntry& d : drives.drives)
            got << tableLine(d);
        QCOMPARE(got, expected);
        QTEST(drives.volumesWithoutLetter, "withoutLetter");
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

    // What udev and libblkid publish of a volume, read as a user may.
    void publishedRecordsOfAVolume_data() {
        QTest::addColumn<QByteArray>("udevRecord"); // empty: none
        QTest::addColumn<QString>("link");          // a by-uuid link to: "device", "other", ""
        QTest::addColumn<QString>("mountedType");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("uuid"); // empty: nothing published
        const QString ext4 = QStringLiteral("c0ffee12-3456-4789-abcd-0123456789ab");
        QTest::newRow("udev's record")
            << QByteArray("S:disk/by-uuid/" + ext4.toLatin1() +
                          "\nE:ID_FS_TYPE=ext4\nE:ID_FS_UUID=" + ext4.toLatin1() +
                          "\nE:ID_FS_UUID_ENC=" + ext4.toLatin1() + "\n")
            << ""
            << "ext4"
            << "ext4" << ext4;
        QTest::newRow("udev's record of an NTFS volume mounted through FUSE")
            << QByteArray("E:ID_FS_UUID=0123456789ABCDEF\nE:ID_FS_TYPE=ntfs\n") << ""
            << "fuseblk"
            << "ntfs"
            << "0123456789ABCDEF";
        QTest::newRow("udev's record without a file system; a link")
            << QByteArray("E:ID_PART_TABLE_TYPE=dos\n") << "device"
            << "ext4"
            << "ext4" << ext4;
        QTest::newRow("a link; the kernel's NTFS driver") << QByteArray() << "device"
                                                          << "ntfs3"
                                                          << "ntfs"
                                                          << "0123456789ABCDEF";
        QTest::newRow("a link to another device only") << QByteArray() << "other"
                                                       << "ext4"
                                                       << ""
                                                       << "";
        QTest::newRow("nothing published") << QByteArray() << ""
                                           << "ext4"
                                           << ""
                                           << "";
    }
    void publishedRecordsOfAVolume() {
        QFETCH(QByteArray, udevRecord);
        QFETCH(QString, link);
        QFETCH(QString, mountedType);
        QFETCH(QString, type);
        QFETCH(QString, uuid);
        // Two block devices of this machine, by their nodes.
        std::vector<std::pair<QByteArray, DevNum>> nodes;
        for (const BlockDevice& device : readBlockDevices()) {
            struct stat st {};
            const QByteArray node = "/dev/" + QFile::encodeName(device.name);
            if (::stat(node.constData(), &st) == 0 && S_ISBLK(st.st_mode))
                nodes.emplace_back(node, DevNum{::major(st.st_rdev), ::minor(st.st_rdev)});
        }
        if (nodes.size() < 2)
            QSKIP("This machine shows fewer than two block devices in /dev");
        const auto& [node, dev] = nodes[0];

        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("data") && QDir(dir.path()).mkpath("by-uuid"));
        VolumeRecords records{QFile::encodeName(dir.filePath("data")),
                              QFile::encodeName(dir.filePath("by-uuid")), nullptr};
        if (!udevRecord.isEmpty()) {
            QFile data(dir.filePath(QStringLiteral("data/b%1:%2").arg(dev.major).arg(dev.minor)));
            QVERIFY(data.open(QIODevice::WriteOnly) && data.write(udevRecord) == udevRecord.size());
        }
        if (!link.isEmpty()) {
            const QByteArray target = link == QLatin1String("device") ? node : nodes[1].first;
            const QString name = uuid.isEmpty() ? QStringLiteral("5eed0b1e-0000") : uuid;
            QVERIFY(QFile::link(QFile::decodeName(target), dir.filePath("by-uuid/" + name)));
        }
        const std::optional<VolumeIdentity> got = publishedVolume(node, dev, mountedType, records);
        QCOMPARE(got.has_value(), !uuid.isEmpty());
        if (got) {
            QCOMPARE(got->type, type);
            QCOMPARE(got->uuid, uuid);
        }
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
        const QString whyNoUser = whyNoUnprivilegedUser();
        if (!whyNoUser.isEmpty())
            qInfo("serials not compared: %s", qPrintable(whyNoUser));
        LinuxFileSystem fs;
        const std::vector<DriveEntry> drives = fs.drives();
        QVERIFY(!drives.empty());
        std::unique_ptr<FileSystemObject> fso = fs.create();
        static const QStringList network = {"nfs",   "nfs4",       "cifs", "smb3",
                                            "smbfs", "fuse.sshfs", "9p"};
        for (const DriveEntry& d : drives) {
            if (!d.mount)
                continue;
            const QString mp = QString::fromUtf8(d.mount->mountPoint);
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

            // The serial is what every user may learn of the volume: the
            // UUID the machine publishes, else the file-system id.
            if (!whyNoUser.isEmpty())
                continue;
            const QString uuid = d.deviceNode.isEmpty() ? QString() : publishedUuid(d.deviceNode);
            const QString digits = QString(uuid).remove(u'-');
            if (digits.size() >= 8) {
                const QString fsTypeProbed = run("blkid", {"-p", "-o", "value", "-s", "TYPE",
                                                           QFile::decodeName(d.deviceNode)})
                                                 .trimmed();
                const QString hex = fsTypeProbed == "ntfs" ? digits.right(8) : digits.left(8);
                QCOMPARE(drive->SerialNumber(), IfReady<std::int32_t>(signedSerial(hex)));
            } else {
                // Nothing published: the file-system id, the first half of
                // what stat -f prints.
                const QString id = run("stat", {"-f", "-c", "%i", mp}).trimmed();
                QCOMPARE(drive->SerialNumber(),
                         IfReady<std::int32_t>(signedSerial(id.left(id.size() - 8).right(8))));
            }
        }
    }

    void ext4VolumeShowsItsUuidAndSizes() {
        if (!mayMount())
            return;
        LoopDevice loop;
        Mount mount{m_tmp.filePath("ext4 volume")};
        const QString failed = mountExt4Image(m_tmp.filePath("ext4.img"),
                                              "c0ffee12-3456-4789-abcd-0123456789ab", loop, mount);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        // Published, as udev would: root's blkid writes libblkid's cache.
        BlkidCacheKept cacheKept;
        bool ok = false;
        run("blkid", {loop.node}, &ok);
        QVERIFY2(ok, "blkid failed");

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

    void fatVolumeShowsItsSerial() {
        if (!mayMount())
            return;
        const QString image = m_tmp.filePath("fat.img");
        bool ok = false;
        run("mkfs.vfat", {"-C", "-i", "9ABCDEF0", image, "1440"}, &ok);
        QVERIFY2(ok, "mkfs.vfat failed");

        // This kernel has no FAT driver: the volume is described to the file
        // system by a mount table of ours that names its loop device, and
        // published by root's blkid in libblkid's cache.
        LoopDevice loop;
        QVERIFY2(loop.attach(image), "no free loop device");
        BlkidCacheKept cacheKept;
        QCOMPARE(run("blkid", {"-o", "value", "-s", "UUID", loop.node}).trimmed(),
                 QStringLiteral("9ABC-DEF0"));
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
        if (!mayMount())
            return;
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

    // Mount points of any bytes: the drive is asked through the path that
    // names it, and shown with U+FFFD for what is not UTF-8; in the window and
    // the report, for root and for a user alike.
    void oddMountPointsAreQueriedByTheirBytes_data() {
        QTest::addColumn<QByteArray>("folder"); // any bytes but "/" and zero
        QTest::addColumn<QString>("shown");
        QTest::newRow("a byte that is not UTF-8, and a tab")
            << QByteArray("c\xff\td") << QStringLiteral("c\uFFFD\td");
        QTest::newRow("Latin-1 text") << QByteArray("\xe9t\xe9") << QStringLiteral("\uFFFDt\uFFFD");
        QTest::newRow("a line break and a backslash")
            << QByteArray("new\nline\\x") << QStringLiteral("new\nline\\x");
        QTest::newRow("UTF-8 text") << QByteArray("K\xc3\xa4the") << QStringLiteral("Käthe");
    }
    void oddMountPointsAreQueriedByTheirBytes() {
        if (!mayMount())
            return;
        QFETCH(QByteArray, folder);
        QFETCH(QString, shown);
        RawMount mount{QFile::encodeName(m_public.path()) + '/' + folder};
        QCOMPARE(::mkdir(mount.dir.constData(), 0755), 0);
        QVERIFY2(::mount("ombrixodd", mount.dir.constData(), "tmpfs", 0, "size=4m") == 0,
                 strerror(errno));
        const QByteArray file = mount.dir + "/one-megabyte";
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        const QByteArray megabyte(1 << 20, 'x');
        const bool written = ::write(fd, megabyte.constData(), 1 << 20) == 1 << 20;
        ::close(fd);
        QVERIFY(written);
        // What the machine says of the folder: the file-system id is the
        // serial of a volume without a UUID.
        struct statvfs st {};
        QCOMPARE(::statvfs(mount.dir.constData(), &st), 0);
        const auto serial = static_cast<std::int32_t>(static_cast<std::uint32_t>(st.f_fsid));

        Window w(2s);
        const std::optional<DriveEntry> entry = driveAt(w.fs.drives(), mount.dir);
        QVERIFY2(entry, "the volume got no letter");
        const QChar letter = entry->letter;
        const QStringList lines{QStringLiteral("Unit %1: - RAM Disc").arg(letter),
                                QStringLiteral("Serial #: %1").arg(serial),
                                QStringLiteral("Total Size: 4.00 MB"),
                                QStringLiteral("Free Space: 3.00 MB")};
        w.type(letter);
        QCOMPARE(w.lines(), lines);
        const QString mountPoint = m_public.path() + u'/' + shown;
        QCOMPARE(w.fs.create()->GetDrive(QString(letter))->MountPoint(), mountPoint);

        const QString why = whyNoUnprivilegedUser();
        for (const bool asNobody : {false, true}) {
            if (asNobody && !why.isEmpty())
                QSKIP(qPrintable(why + QStringLiteral(" (root's report was checked)")));
            const char* who = asNobody ? "as nobody" : "as root";
            const ProgramRun text = runReport({"--report", "--section", "drives"}, asNobody);
            QVERIFY2(text.status == 0, text.err.constData());
            QVERIFY2(textDrive(text.out, letter) == lines, who);
            const ProgramRun json =
                runReport({"--report", "--format", "json", "--section", "drives"}, asNobody);
            QVERIFY2(json.status == 0, json.err.constData());
            const QJsonObject drive = jsonDrive(json.out, letter);
            QVERIFY2(drive[QLatin1String("mount_point")].toString() == mountPoint, who);
            QVERIFY2(drive[QLatin1String("total_bytes")].toInteger() == 4 << 20, who);
            QVERIFY2(drive[QLatin1String("free_bytes")].toInteger() == 3 << 20, who);
            QVERIFY2(drive[QLatin1String("serial")].toInteger() == serial, who);
            QVERIFY2(jsonStrings(drive[QLatin1String("lines")]) == lines, who);
        }
    }

    // Root and a user, who may not open the disk, see one serial: the one
    // the system published of the volume, else the file-system id; root
    // reads no more of the volume than a user may.
    void aUserSeesTheSerialRootSees_data() {
        QTest::addColumn<QString>("record");
        QTest::newRow("udev's database") << "udev";
        QTest::newRow("libblkid's cache") << "blkid";
        QTest::newRow("nothing published: the file-system id") << "none";
    }
    void aUserSeesTheSerialRootSees() {
        if (!mayMount())
            return;
        QFETCH(QString, record);
        const QString why = whyNoUnprivilegedUser();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        if (record == QLatin1String("udev") && !QFile::exists(QStringLiteral("/run/udev/control")))
            QSKIP("udev does not run on this machine: nothing publishes its record of a volume");
        LoopDevice loop;
        Mount mount{m_public.filePath("published volume")};
        const QString failed =
            mountExt4Image(m_tmp.filePath("published.img"), "5eed0b1e-4a11-4c0d-9e55-0123456789ab",
                           loop, mount, MS_RDONLY);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        bool ok = false;

        // What the machine says: root's probe of the volume.
        const QString uuid = run("blkid", {"-p", "-o", "value", "-s", "UUID", loop.node}).trimmed();
        QVERIFY2(!uuid.isEmpty(), "blkid found no UUID");
        std::int32_t serial = signedSerial(QString(uuid).remove(u'-').left(8));

        std::optional<BlkidCacheKept> cacheKept;
        if (record == QLatin1String("udev")) {
            run("udevadm", {"settle"});
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(loop.node).constData(), &st), 0);
            QFile data(QStringLiteral("/run/udev/data/b%1:%2")
                           .arg(::major(st.st_rdev))
                           .arg(::minor(st.st_rdev)));
            if (!data.open(QIODevice::ReadOnly) ||
                !data.readAll().contains("ID_FS_UUID=" + uuid.toUtf8()))
                QSKIP("udev runs, but published no UUID of the loop device");
        } else if (record == QLatin1String("blkid")) {
            // libblkid reads its cache for a user where its probe is refused;
            // root's blkid writes it. The machine's cache is put back after.
            cacheKept.emplace();
            run("blkid", {loop.node}, &ok);
            QVERIFY2(ok, "blkid failed");
        } else {
            cacheKept.emplace();
            cacheKept->clear();
            if (QFile::exists(QStringLiteral("/run/udev/control")))
                run("udevadm", {"settle"});
            if (!publishedUuid(loop.node.toUtf8()).isEmpty())
                QSKIP("udev publishes the UUID of every volume here");
            struct statvfs st {};
            QCOMPARE(::statvfs(QFile::encodeName(mount.dir).constData(), &st), 0);
            serial = static_cast<std::int32_t>(static_cast<std::uint32_t>(st.f_fsid));
        }

        Window w(2s);
        const std::optional<DriveEntry> entry = driveAt(w.fs.drives(), mount.dir);
        QVERIFY(entry);
        for (const bool asNobody : {false, true}) {
            const ProgramRun json =
                runReport({"--report", "--format", "json", "--section", "drives"}, asNobody);
            QVERIFY2(json.status == 0, json.err.constData());
            QVERIFY2(jsonDrive(json.out, entry->letter)[QLatin1String("serial")].toInteger() ==
                         serial,
                     asNobody ? "as nobody" : "as root");
        }
    }

    // A stick pulled out (and unmounted) after the drive table was read must not
    // report the figures of the folder it was mounted on.
    void aVolumeGoneSinceTheTableWasReadIsNotReady() {
        if (!mayMount())
            return;
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
        if (!mayMount())
            return;
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
    ProgramThreads threads;
    tst_LinuxFileSystem test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_LinuxFileSystem.moc"
