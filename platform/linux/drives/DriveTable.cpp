#include "platform/linux/drives/DriveTable.h"

#include "platform/DriveLocations.h"

#include <QFile>
#include <QSet>

#include <algorithm>

namespace ombrix::platform {
namespace {

constexpr int kUnknown = 0;
constexpr int kRemovable = 1;
constexpr int kHardDisk = 2;
constexpr int kNetwork = 3;
constexpr int kCdRom = 4;
constexpr int kRamDisc = 5;

bool isUnder(const QByteArray& path, const QByteArray& folder) {
    return path == folder || path.startsWith(folder + '/');
}

bool isRamType(const QString& fsType) {
    return fsType == QLatin1String("tmpfs") || fsType == QLatin1String("ramfs");
}

bool isFuse(const QString& fsType) {
    return fsType == QLatin1String("fuse") || fsType == QLatin1String("fuseblk") ||
           fsType.startsWith(QLatin1String("fuse."));
}

bool isNetwork(const MountEntry& mount) {
    static const QSet<QString> types = {
        QStringLiteral("nfs"),
        QStringLiteral("nfs4"),
        QStringLiteral("cifs"),
        QStringLiteral("smb3"),
        QStringLiteral("smbfs"),
        QStringLiteral("ncpfs"),
        QStringLiteral("afs"),
        QStringLiteral("ceph"),
        QStringLiteral("9p"),
        QStringLiteral("glusterfs"),
        QStringLiteral("lustre"),
        QStringLiteral("davfs"),
        QStringLiteral("coda"),
        QStringLiteral("fuse.sshfs"),
        QStringLiteral("fuse.rclone"),
        QStringLiteral("fuse.s3fs"),
        QStringLiteral("fuse.glusterfs"),
        QStringLiteral("fuse.curlftpfs"),
        QStringLiteral("fuse.smbnetfs"),
        QStringLiteral("fuse.gcsfuse"),
        QStringLiteral("fuse.davfs2"),
    };
    if (types.contains(mount.fsType))
        return true;
    // Other FUSE clients of remote stores name their source host:path or //host/share.
    if (isFuse(mount.fsType) && mount.fsType != QLatin1String("fuseblk")) {
        const qsizetype colon = mount.source.indexOf(':');
        const qsizetype slash = mount.source.indexOf('/');
        return mount.source.startsWith("//") || (colon > 0 && (slash < 0 || colon < slash));
    }
    return false;
}

// File systems that are part of the system itself even where they are mounted.
bool isSystemType(const QString& fsType) {
    static const QSet<QString> types = {
        QStringLiteral("fusectl"),         QStringLiteral("lxcfs"),
        QStringLiteral("fuse.lxcfs"),      QStringLiteral("fuse.portal"),
        QStringLiteral("fuse.gvfsd-fuse"), QStringLiteral("fuse.xdg-document-portal"),
        QStringLiteral("fuse.snapfuse"),   QStringLiteral("fuse.squashfuse"),
        QStringLiteral("autofs"),          QStringLiteral("binfmt_misc"),
        QStringLiteral("rpc_pipefs"),      QStringLiteral("nfsd"),
    };
    return types.contains(fsType);
}

const BlockDevice* findDevice(const std::vector<BlockDevice>& devices, DevNum dev) {
    auto it = std::find_if(devices.begin(), devices.end(),
                           [&](const BlockDevice& d) { return d.dev == dev; });
    return it == devices.end() ? nullptr : &*it;
}

int typeOfDevice(const BlockDevice& device) {
    if (device.optical)
        return kCdRom;
    if (device.ram)
        return kRamDisc;
    if (device.removable || device.usb)
        return kRemovable;
    return kHardDisk;
}

struct Classified {
    bool drive = false; // a volume a user would call a drive
    int type = kUnknown;
    DevNum key;
    QByteArray deviceNode;
};

Classified classify(const MountEntry& mount, const std::vector<BlockDevice>& devices,
                    const BlockNodeLookup& blockNodeOf) {
    Classified c;
    c.key = mountDeviceKey(mount, blockNodeOf);
    const BlockDevice* device = findDevice(devices, c.key);
    const bool onBlockDevice =
        device != nullptr || c.key.major != 0 || mount.fsType == QLatin1String("fuseblk");
    if (onBlockDevice) {
        if (device) {
            c.deviceNode = "/dev/" + QFile::encodeName(device->name);
            c.type = typeOfDevice(*device);
        } else {
            if (mount.source.startsWith("/dev/"))
                c.deviceNode = mount.source;
            c.type = kHardDisk;
        }
        if (mount.fsType == QLatin1String("iso9660") || mount.fsType == QLatin1String("udf"))
            c.type = kCdRom;
        c.drive = true;
    } else if (isNetwork(mount)) {
        c.type = kNetwork;
        c.drive = true;
    } else if (isRamType(mount.fsType)) {
        c.type = kRamDisc;
        c.drive = true;
    } else if (isFuse(mount.fsType)) {
        c.drive = true;
    }
    if (isSystemType(mount.fsType) || !isDriveLocation(mount.mountPoint, isRamType(mount.fsType)))
        c.drive = false;
    return c;
}

} // namespace

DevNum mountDeviceKey(const MountEntry& mount, const BlockNodeLookup& blockNodeOf) {
    if (mount.dev.major == 0 && mount.source.startsWith("/dev/") && blockNodeOf) {
        if (std::optional<DevNum> dev = blockNodeOf(mount.source))
            return *dev;
    }
    return mount.dev;
}

const MountEntry* mountOfPath(const std::vector<MountEntry>& mounts, const QByteArray& path) {
    const MountEntry* best = nullptr;
    for (const MountEntry& mount : mounts) {
        const bool holds = mount.mountPoint == "/" || isUnder(path, mount.mountPoint);
        if (holds && (!best || mount.mountPoint.size() >= best->mountPoint.size()))
            best = &mount;
    }
    return best;
}

DriveTable assignDriveLetters(const std::vector<MountEntry>& mounts,
                              const std::vector<BlockDevice>& devices,
                              const BlockNodeLookup& blockNodeOf) {
    DriveTable table;
    std::vector<DriveEntry>& drives = table.drives;
    // Every mount is looked at, and a machine may have thousands.
    QSet<quint64> taken;
    auto number = [](DevNum key) { return quint64(key.major) << 32 | key.minor; };
    auto isTaken = [&](DevNum key) { return taken.contains(number(key)); };

    // A: and B: belong to the floppy drives, mounted or not.
    const QString floppies[] = {QStringLiteral("fd0"), QStringLiteral("fd1")};
    for (int i = 0; i < 2; ++i) {
        auto it = std::find_if(devices.begin(), devices.end(),
                               [&](const BlockDevice& d) { return d.name == floppies[i]; });
        if (it == devices.end())
            continue;
        DriveEntry drive{QChar(u'A' + i), kRemovable, it->dev, std::nullopt,
                         "/dev/" + QFile::encodeName(it->name)};
        for (const MountEntry& mount : mounts) {
            if (mountDeviceKey(mount, blockNodeOf) == it->dev) {
                drive.mount = mount;
                break;
            }
        }
        taken.insert(number(it->dev));
        drives.push_back(drive);
    }

    // C: is the volume at "/"; the last such entry is the one on top.
    auto root = std::find_if(mounts.rbegin(), mounts.rend(),
                             [](const MountEntry& m) { return m.mountPoint == "/"; });
    if (root != mounts.rend()) {
        const Classified c = classify(*root, devices, blockNodeOf);
        drives.push_back(DriveEntry{QChar(u'C'), c.type, c.key, *root, c.deviceNode});
        taken.insert(number(c.key));
    }

    // Past Z: the volumes are still counted, each device once, so that the
    // drives they would have been are not lost without a word.
    char16_t next = u'D';
    for (const MountEntry& mount : mounts) {
        if (mount.mountPoint == "/")
            continue;
        const Classified c = classify(mount, devices, blockNodeOf);
        if (!c.drive || isTaken(c.key))
            continue;
        if (next > u'Z')
            ++table.volumesWithoutLetter;
        else
            drives.push_back(DriveEntry{QChar(next++), c.type, c.key, mount, c.deviceNode});
        taken.insert(number(c.key));
    }

    for (const BlockDevice& device : devices) {
        if (next > u'Z')
            break;
        const bool changeable = device.removable || device.optical || device.usb;
        if (device.partition || !changeable || device.hasMedium || isTaken(device.dev) ||
            device.name.startsWith(QLatin1String("fd")))
            continue;
        drives.push_back(DriveEntry{QChar(next++), device.optical ? kCdRom : kRemovable, device.dev,
                                    std::nullopt, "/dev/" + QFile::encodeName(device.name)});
        taken.insert(number(device.dev));
    }
    return table;
}

} // namespace ombrix::platform
