#pragma once
#include "platform/linux/drives/VolumeProbe.h"

namespace ombrix::platform {

// libblkid's reader, given the raw bytes of a path. The program reaches it
// through VolumeProbe, which loads its module on first use.

// What libblkid's cache holds of a device node, as the last probe that was
// allowed to read it found it; nullopt when it holds no UUID. The type is
// empty where the cache names none.
std::optional<VolumeIdentity> cachedVolume(const QByteArray& node);

} // namespace ombrix::platform
