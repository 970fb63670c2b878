#pragma once
#include "platform/linux/VolumeProbe.h"

namespace ombrix::platform {

// Reads the superblock of a block device or image file with libblkid.
// nullopt when it cannot be opened or holds no known file system. The
// program reaches it through VolumeProbe, which loads it on first use.
std::optional<VolumeIdentity> probeVolume(const QString& path);

} // namespace ombrix::platform
