#pragma once
#include "platform/linux/drives/VolumeProbe.h"

namespace ombrix::platform {

// libblkid's readers, given the raw bytes of a path. The program reaches them
// through VolumeProbe, which loads their module on first use.

// The superblock of a block device or image file; nullopt when it cannot be
// opened or holds no known file system.
std::optional<VolumeIdentity> probeVolume(const QByteArray& path);

// What libblkid's cache holds of a device node, as the last probe that was
// allowed to read it found it; nullopt when it holds no UUID. The type is
// empty where the cache names none.
std::optional<VolumeIdentity> cachedVolume(const QByteArray& node);

} // namespace ombrix::platform
