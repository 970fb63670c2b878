// The entry point of libombrix_blkid.so, the module that reads volumes'
// superblocks so that the program links libblkid only when a drive is read.
#include "platform/linux/BlkidProbe.h"

// Whether the volume at path holds a known file system, and which.
extern "C" __attribute__((visibility("default"))) bool
ombrix_probe_volume(const QString& path, ombrix::platform::VolumeIdentity& identity) {
    std::optional<ombrix::platform::VolumeIdentity> found = ombrix::platform::probeVolume(path);
    if (found)
        identity = std::move(*found);
    return found.has_value();
}
