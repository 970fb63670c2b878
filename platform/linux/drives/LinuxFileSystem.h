#pragma once
#include "platform/FileSystem.h"
#include "platform/linux/drives/DriveTable.h"
#include "platform/linux/drives/VolumeProbe.h"

#include <QString>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace ombrix::platform {

// The file-system object on Linux: drive letters from the mount table and
// sysfs, serial numbers from the volumes' superblocks (libblkid, in a module
// loaded when the first serial is asked for), sizes from statvfs. Every read
// of a volume runs on a worker and gives up after `bound`, so a volume that
// does not answer reads as not ready; where the volume answers but its
// identity does not (a device, udev's records or libblkid's cache that hang),
// the serial number fails alone and the sizes stand.
class LinuxFileSystem final : public FileSystem {
public:
    explicit LinuxFileSystem(std::chrono::milliseconds bound = std::chrono::seconds(2),
                             QString mountInfoPath = QStringLiteral("/proc/self/mountinfo"),
                             QString sysRoot = QStringLiteral("/sys"),
                             std::string volumeModule = "libombrix_blkid.so");
    std::unique_ptr<FileSystemObject> create() const override;

    // The drive table as a new object sees it.
    std::vector<DriveEntry> drives() const;

private:
    std::chrono::milliseconds m_bound;
    QString m_mountInfoPath;
    QString m_sysRoot;
    std::shared_ptr<VolumeProbe> m_volumes;
};

} // namespace ombrix::platform
