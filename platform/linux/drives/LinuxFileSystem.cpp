#include "platform/linux/drives/LinuxFileSystem.h"

#include "platform/PlatformError.h"
#include "platform/linux/BoundedCall.h"
#include "platform/linux/KernelFile.h"
#include "platform/linux/drives/BlockDevices.h"
#include "platform/linux/drives/MountInfo.h"
#include "platform/linux/drives/VolumeProbe.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace ombrix::platform {
namespace {

// A machine with thousands of mounts has a mount table of megabytes.
std::optional<std::vector<MountEntry>> readMountTable(const QString& path) {
    const std::optional<std::string> text =
        readKernelFile(QFile::encodeName(path).toStdString(), std::size_t{64} << 20);
    if (!text)
        return std::nullopt;
    return parseMountInfo(QByteArrayView(text->data(), qsizetype(text->size())));
}

std::optional<DevNum> blockNodeOf(const QByteArray& source) {
    struct stat st {};
    if (::stat(source.constData(), &st) != 0 || !S_ISBLK(st.st_mode))
        return std::nullopt;
    return DevNum{::major(st.st_rdev), ::minor(st.st_rdev)};
}

// The current folder's path as the kernel has it.
QByteArray currentFolder() {
    QByteArray path(PATH_MAX, Qt::Uninitialized);
    while (::getcwd(path.data(), static_cast<std::size_t>(path.size())) == nullptr) {
        if (errno != ERANGE)
            return QFile::encodeName(QDir::currentPath());
        path.resize(path.size() * 2);
    }
    path.truncate(static_cast<qsizetype>(std::strlen(path.constData())));
    return path;
}

bool hasDriveLetter(const QString& path) {
    return path.size() >= 2 && path[0].isLetter() && path[0].unicode() < 128 && path[1] == u':';
}

struct Space {
    std::uint64_t available = 0;
    std::uint64_t total = 0;
    std::int32_t fsid = 0;
};

// Runs on a worker: may block as long as the volume does not answer.
std::optional<Space> readSpace(const MountEntry& mount, const QString& mountInfoPath) {
    struct statvfs st {};
    if (::statvfs(mount.mountPoint.constData(), &st) != 0)
        return std::nullopt;
    // A volume unmounted since the table was read would leave us the figures
    // of the folder underneath.
    const std::optional<std::vector<MountEntry>> now = readMountTable(mountInfoPath);
    if (!now || std::none_of(now->begin(), now->end(), [&](const MountEntry& m) {
            return m.id == mount.id && m.mountPoint == mount.mountPoint;
        }))
        return std::nullopt;
    Space space;
    space.available = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    space.total = static_cast<std::uint64_t>(st.f_blocks) * st.f_frsize;
    space.fsid = static_cast<std::int32_t>(static_cast<std::uint32_t>(st.f_fsid));
    return space;
}

class LinuxDrive final : public DriveObject {
public:
    LinuxDrive(DriveEntry entry, std::chrono::milliseconds bound, QString mountInfoPath,
               std::shared_ptr<VolumeProbe> volumes)
        : m_entry(std::move(entry)), m_bound(bound), m_mountInfoPath(std::move(mountInfoPath)),
          m_volumes(std::move(volumes)) {}

    int DriveType() const override { return m_entry.type; }
    QString DriveLetter() const override { return QString(m_entry.letter); }

    IfReady<std::int32_t> SerialNumber() const override {
        const std::optional<Space> space = this->space();
        if (!space)
            return NotReady;
        const QByteArray node = m_entry.deviceNode;
        if (node.isEmpty())
            return space->fsid;
        // Loaded here, so that a missing module is reported like any other
        // failure of the question.
        const VolumeReaders readers = m_volumes->load();
        const DevNum dev = m_entry.key;
        const QString type = m_entry.mount->fsType;
        // The identity is read apart from the volume's sizes: the files it
        // comes from may hang while the volume answers. What does not answer
        // fails the serial number alone, and the sizes stand.
        const auto deadline = std::chrono::steady_clock::now() + m_bound;
        const auto left = [deadline] {
            return std::max(std::chrono::milliseconds(0),
                            std::chrono::duration_cast<std::chrono::milliseconds>(
                                deadline - std::chrono::steady_clock::now()));
        };
        using Serial = std::optional<std::int32_t>;
        // What the system published of the volume to every user (udev's
        // records), then libblkid's cache, else the file-system id every user
        // is told: never the volume itself, which only root may read, so that
        // a volume has one serial whoever asks.
        const std::optional<Serial> fromVolume = runBounded<Serial>(
            QStringLiteral("identity of ") + QString::fromUtf8(node), left(), [node, dev, type] {
                Serial serial;
                if (const std::optional<VolumeIdentity> published =
                        publishedVolume(node, dev, type))
                    serial = serialFromIdentity(*published);
                return std::optional<Serial>(serial);
            });
        if (!fromVolume)
            throw PlatformError(notReadWithin("the volume's identity"));
        if (*fromVolume)
            return **fromVolume;
        // Then what libblkid's cache holds: one file for every volume, so
        // one question to it at a time.
        const std::optional<Serial> fromCache =
            runBounded<Serial>(QStringLiteral("libblkid's cache"), left(), [node, type, readers] {
                VolumeIdentity identity{type, {}};
                return std::optional<Serial>(
                    readers.cached(node, identity) ? serialFromIdentity(identity) : Serial());
            });
        if (!fromCache)
            throw PlatformError(notReadWithin("libblkid's cache"));
        return fromCache->value_or(space->fsid);
    }

    IfReady<std::uint64_t> AvailableSpace() const override {
        const std::optional<Space> s = space();
        return s ? IfReady<std::uint64_t>(s->available) : NotReady;
    }
    IfReady<std::uint64_t> TotalSize() const override {
        const std::optional<Space> s = space();
        return s ? IfReady<std::uint64_t>(s->total) : NotReady;
    }
    QString MountPoint() const override {
        return m_entry.mount ? QString::fromUtf8(m_entry.mount->mountPoint) : QString();
    }

private:
    std::string notReadWithin(const char* what) const {
        return QStringLiteral("%1 was not read within %2 s")
            .arg(QLatin1String(what))
            .arg(static_cast<double>(m_bound.count()) / 1000.0)
            .toStdString();
    }

    // One outstanding query per mount: a hung volume is not asked again until
    // it has answered the last question.
    QString queryKey() const {
        return QString::number(m_entry.mount->id) + QLatin1Char(' ') +
               QString::fromLatin1(m_entry.mount->mountPoint);
    }

    std::optional<Space> space() const {
        if (!m_entry.mount)
            return std::nullopt;
        const MountEntry mount = *m_entry.mount;
        const QString table = m_mountInfoPath;
        return runBounded<Space>(queryKey(), m_bound,
                                 [mount, table] { return readSpace(mount, table); });
    }

    DriveEntry m_entry;
    std::chrono::milliseconds m_bound;
    QString m_mountInfoPath;
    std::shared_ptr<VolumeProbe> m_volumes;
};

class LinuxFileSystemObject final : public FileSystemObject {
public:
    LinuxFileSystemObject(std::vector<MountEntry> mounts, DriveTable table,
                          std::chrono::milliseconds bound, QString mountInfoPath,
                          std::shared_ptr<VolumeProbe> volumes)
        : m_mounts(std::move(mounts)), m_drives(std::move(table.drives)),
          m_withoutLetter(table.volumesWithoutLetter), m_bound(bound),
          m_mountInfoPath(std::move(mountInfoPath)), m_volumes(std::move(volumes)) {}

    QString GetAbsolutePathName(const QString& path) const override {
        if (hasDriveLetter(path))
            return path;
        // getcwd asks the kernel only, never the volume, so it cannot hang.
        const QByteArray cwd = currentFolder();
        const MountEntry* mount = mountOfPath(m_mounts, cwd);
        const DriveEntry* drive = nullptr;
        if (mount) {
            const DevNum key = mountDeviceKey(*mount, blockNodeOf);
            for (const DriveEntry& d : m_drives) {
                if (d.key == key && d.mount)
                    drive = &d;
            }
        }
        if (!drive)
            return QDir(QString::fromUtf8(cwd)).filePath(path);
        QString inside =
            QString::fromUtf8(mount->mountPoint == "/" ? cwd : cwd.mid(mount->mountPoint.size()));
        inside.replace(u'/', u'\\');
        if (!inside.endsWith(u'\\'))
            inside.append(u'\\');
        QString tail = path;
        if (tail.startsWith(u'\\') || tail.startsWith(u'/'))
            return QString(drive->letter) + QLatin1Char(':') + tail.replace(u'/', u'\\');
        return QString(drive->letter) + QLatin1Char(':') + inside + tail;
    }

    QString GetDriveName(const QString& path) const override {
        return hasDriveLetter(path) ? path.left(2) : QString();
    }

    std::unique_ptr<DriveObject> GetDrive(const QString& driveName) const override {
        const bool plain = driveName.size() == 1 ||
                           (driveName.size() == 2 && driveName[1] == u':') ||
                           (driveName.size() == 3 && driveName[1] == u':' &&
                            (driveName[2] == u'\\' || driveName[2] == u'/'));
        if (plain && driveName[0].unicode() < 128) {
            const QChar letter = driveName[0].toUpper();
            for (const DriveEntry& drive : m_drives) {
                if (drive.letter == letter)
                    return std::make_unique<LinuxDrive>(drive, m_bound, m_mountInfoPath, m_volumes);
            }
        }
        return nullptr;
    }

    QStringList DriveLetters() const override {
        QStringList letters;
        for (const DriveEntry& drive : m_drives)
            letters << QString(drive.letter);
        letters.sort();
        return letters;
    }

    int VolumesWithoutLetter() const override { return m_withoutLetter; }

private:
    std::vector<MountEntry> m_mounts;
    std::vector<DriveEntry> m_drives;
    int m_withoutLetter = 0;
    std::chrono::milliseconds m_bound;
    QString m_mountInfoPath;
    std::shared_ptr<VolumeProbe> m_volumes;
};

} // namespace

LinuxFileSystem::LinuxFileSystem(std::chrono::milliseconds bound, QString mountInfoPath,
                                 QString sysRoot, std::string volumeModule)
    : m_bound(bound), m_mountInfoPath(std::move(mountInfoPath)), m_sysRoot(std::move(sysRoot)),
      m_volumes(std::make_shared<VolumeProbe>(std::move(volumeModule))) {}

std::vector<DriveEntry> LinuxFileSystem::drives() const {
    const std::optional<std::vector<MountEntry>> mounts = readMountTable(m_mountInfoPath);
    if (!mounts)
        return {};
    return assignDriveLetters(*mounts, readBlockDevices(m_sysRoot), blockNodeOf).drives;
}

std::unique_ptr<FileSystemObject> LinuxFileSystem::create() const {
    std::optional<std::vector<MountEntry>> mounts = readMountTable(m_mountInfoPath);
    if (!mounts)
        return nullptr;
    DriveTable table = assignDriveLetters(*mounts, readBlockDevices(m_sysRoot), blockNodeOf);
    return std::make_unique<LinuxFileSystemObject>(std::move(*mounts), std::move(table), m_bound,
                                                   m_mountInfoPath, m_volumes);
}

} // namespace ombrix::platform
