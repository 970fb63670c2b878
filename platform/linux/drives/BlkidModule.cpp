// The entry points of libombrix_blkid.so, the module that reads volumes with
// libblkid so that the program links it only when a drive is read.
#include "platform/linux/drives/BlkidProbe.h"

namespace {

bool found(std::optional<ombrix::platform::VolumeIdentity> volume,
           ombrix::platform::VolumeIdentity& identity) {
    if (!volume)
        return false;
    if (volume->type.isEmpty())
        volume->type = identity.type; // the caller's guess stands
    identity = std::move(*volume);
    return true;
}

} // namespace

// Whether libblkid's cache holds the UUID of the volume on a device node.
extern "C" __attribute__((visibility("default"))) bool
ombrix_cached_volume(const QByteArray& node, ombrix::platform::VolumeIdentity& identity) {
    return found(ombrix::platform::cachedVolume(node), identity);
}
