#pragma once
#include "platform/linux/SharedLibrary.h"

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

// The volume serial number: for FAT, exFAT and NTFS the serial the volume
// carries, for others the first 32 bits of the UUID; nullopt when the UUID
// has too few digits to give one.
std::optional<std::int32_t> serialFromIdentity(const VolumeIdentity& identity);

// Reads volumes' superblocks with libblkid, from a module of its own
// (libombrix_blkid.so) loaded when the first volume is read, so that only the
// drive details pay for it. Thread-safe.
class VolumeProbe {
public:
    using Probe = bool (*)(const QString& path, VolumeIdentity& identity);
    explicit VolumeProbe(std::string module = "libombrix_blkid.so");

    // Loads the module; a missing one throws PlatformError. The probe it
    // returns may run on any thread for as long as the program does; it
    // answers false when the volume cannot be opened or holds no known file
    // system.
    Probe load();

private:
    std::string m_module;
    std::mutex m_loading;
    std::optional<SharedLibrary> m_library;
    Probe m_probe = nullptr;
};

} // namespace ombrix::platform
