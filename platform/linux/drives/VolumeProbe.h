#pragma once
#include "platform/linux/drives/MountInfo.h"
#include "platform/linux/modules/SharedLibrary.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>

namespace ombrix::platform {

// The file-system type and UUID that a volume's superblock holds.
struct VolumeIdentity {
    QString type; // as libblkid names it: ext4, vfat, exfat, ntfs ...
    QString uuid; // as libblkid writes it: "1234-ABCD", "c0ffee12-3456-..."
};

// What libblkid reads of a volume, given the raw bytes of a path; false when
// it finds nothing.
using VolumeReader = bool (*)(const QByteArray& path, VolumeIdentity& identity);

// The readers of the volume probe module. The volumes themselves are not
// read: only root may, and a serial must not depend on who asks.
struct VolumeReaders {
    // What libblkid's cache holds of a device node, as the last probe that
    // was allowed to read it found it: false when it holds no UUID.
    VolumeReader cached = nullptr;
};

// Where the system publishes, to every user, what the probes of its volumes
// found.
struct VolumeRecords {
    QByteArray udevData = "/run/udev/data";  // udev's database, b<major>:<minor>
    QByteArray byUuid = "/dev/disk/by-uuid"; // udev's links, named by UUID
    VolumeReader blkidCache = nullptr;       // libblkid's cache, where loaded
};

// The identity of the volume on a block device as udev or libblkid published
// it, to every user alike. The type is the mount table's where a record
// names none. nullopt when no record holds a UUID.
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

// Reads volumes with libblkid, from a module of its own (libombrix_blkid.so)
// loaded when the first volume is read, so that only the drive details pay
// for it. Thread-safe.
class VolumeProbe {
public:
    explicit VolumeProbe(std::string module = "libombrix_blkid.so");

    // Loads the module; a missing one throws PlatformError. The readers it
    // returns may run on any thread for as long as the program does.
    VolumeReaders load();

private:
    std::string m_module;
    std::mutex m_loading;
    std::optional<SharedLibrary> m_library;
    VolumeReaders m_readers;
};

} // namespace ombrix::platform
