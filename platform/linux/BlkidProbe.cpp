#include "platform/linux/BlkidProbe.h"

#include <blkid.h>

#include <memory>

namespace ombrix::platform {
namespace {

struct ProbeDeleter {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};
using ProbePtr = std::unique_ptr<blkid_struct_probe, ProbeDeleter>;

QString lookup(blkid_probe probe, const char* name) {
    const char* value = nullptr;
    size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &value, &length) != 0 || !value)
        return {};
    return QString::fromUtf8(value); // zero-terminated by libblkid
}

} // namespace

std::optional<VolumeIdentity> probeVolume(const QString& path) {
    const QByteArray name = path.toLocal8Bit();
    ProbePtr probe(blkid_new_probe_from_filename(name.constData()));
    if (!probe)
        return std::nullopt;
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_UUID);
    if (blkid_do_safeprobe(probe.get()) != 0)
        return std::nullopt;
    VolumeIdentity identity{lookup(probe.get(), "TYPE"), lookup(probe.get(), "UUID")};
    if (identity.type.isEmpty())
        return std::nullopt;
    return identity;
}

} // namespace ombrix::platform
