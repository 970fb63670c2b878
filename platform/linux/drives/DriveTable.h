#pragma once
#include "platform/linux/drives/BlockDevices.h"
#include "platform/linux/drives/MountInfo.h"

#include <QByteArray>
#include <QChar>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace ombrix::platform {

// A lettered drive: the volume a letter names, or a drive without medium.
struct DriveEntry {
    QChar letter;
    int type = 0;                    // the drive type codes of DriveObject
    DevNum key;                      // the device; one letter per device
    std::optional<MountEntry> mount; // none: no medium, nothing mounted
    QByteArray deviceNode;           // block device to probe; empty for none
};

// The lettered drives, and how many volumes a user would call drives were
// left without a letter once Z: was given.
struct DriveTable {
    std::vector<DriveEntry> drives;
    int volumesWithoutLetter = 0;
};

// Finds the block device a mount source such as /dev/sda1 names (by stat).
using BlockNodeLookup = std::function<std::optional<DevNum>(const QByteArray& source)>;

// A: and B: are fd0 and fd1; C: the volume at "/"; D: to Z: the further
// volumes a user would call drives, in mount-table order, then removable and
// optical drives without medium. The first mount of a device wins.
DriveTable assignDriveLetters(const std::vector<MountEntry>& mounts,
                              const std::vector<BlockDevice>& devices,
                              const BlockNodeLookup& blockNodeOf);

// The device a mount belongs to: its block device, else the kernel's device.
DevNum mountDeviceKey(const MountEntry& mount, const BlockNodeLookup& blockNodeOf);

// The mount that holds an absolute path (the deepest mount point on its way;
// the latest of stacked mounts), or nullptr.
const MountEntry* mountOfPath(const std::vector<MountEntry>& mounts, const QByteArray& path);

} // namespace ombrix::platform
