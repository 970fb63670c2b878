#pragma once
#include "platform/linux/drives/MountInfo.h"

#include <QString>

#include <vector>

namespace ombrix::platform {

// What sysfs tells about one block device (disk or partition).
struct BlockDevice {
    QString name; // kernel name: sda1, sr0, fd0, loop3
    DevNum dev;
    bool removable = false; // the disk's "removable" flag
    bool usb = false;       // attached through USB
    bool optical = false;
    bool ram = false;      // ram or zram disk
    bool hasMedium = true; // the disk reports a size
    bool partition = false;
};

// Every block device under <sysRoot>/class/block, sorted by name. Reading
// sysfs never touches a file system, so it cannot hang on a dead volume.
std::vector<BlockDevice> readBlockDevices(const QString& sysRoot = QStringLiteral("/sys"));

} // namespace ombrix::platform
