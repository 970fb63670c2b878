#pragma once
#include <QByteArray>
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
// nullopt when it cannot be opened or holds no known file system.
std::optional<VolumeIdentity> probeVolume(const QByteArray& path);

// The volume serial number: for FAT, exFAT and NTFS the serial the volume
// carries, for others the first 32 bits of the UUID; nullopt when the UUID
// has too few digits to give one.
std::optional<std::int32_t> serialFromIdentity(const VolumeIdentity& identity);

} // namespace ombrix::platform
