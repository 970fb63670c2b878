#pragma once
#include "platform/linux/MountInfo.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

namespace ombrix::platform {

// The file-system type and UUID that a volume's superblock holds.
struct VolumeIdentity {
    QString type; // as libblkid names it: ext4, vfat, exfat, ntfs ...
    QString uuid; // as libblkid writes it: "1234-ABCD", "c0ffee12-3456-..."
};

// Reads the superblock of a block device or image file with libblkid.
// nullopt when it cannot be opened (a user may not read a disk) or holds no
// known file system.
std::optional<VolumeIdentity> probeVolume(const QByteArray& path);

// Where the system publishes, to every user, what the probes of its volumes
// found.
struct VolumeRecords {
    QByteArray udevData = "/run/udev/data";  // udev's database, b<major>:<minor>
    QByteArray byUuid = "/dev/disk/by-uuid"; // udev's links, named by UUID
    bool blkidCache = true;                  // libblkid's cache (BLKID_FILE, or its own)
};

// The identity of the volume on a block device as udev or libblkid published
// it: for a user who may not open the device. The type is the mount table's
// where a record names none. nullopt when no record holds a UUID.
std::optional<VolumeIdentity> publishedVolume(const QByteArray& node, DevNum dev,
                                              const QString& mountedType,
                                              const VolumeRecords& records = {});

// The file-system type and UUID of a record of udev's database; nullopt
// when it holds no UUID.
std::optional<VolumeIdentity> parseUdevRecord(QByteArrayView text);

// The volume serial number: for FAT, exFAT and NTFS the serial the volume
// carries, for others the first 32 bits of the UUID; nullopt when the UUID
// has too few digits to give one.
std::optional<std::int32_t> serialFromIdentity(const VolumeIdentity& identity);

} // namespace ombrix::platform
