#include "platform/linux/drives/BlkidProbe.h"

#include <blkid.h>

#include <cstring>
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

struct CacheDeleter {
    void operator()(blkid_struct_cache* cache) const { blkid_put_cache(cache); }
};
using CachePtr = std::unique_ptr<blkid_struct_cache, CacheDeleter>;

struct TagIteratorDeleter {
    void operator()(blkid_struct_tag_iterate* iterator) const { blkid_tag_iterate_end(iterator); }
};
using TagIteratorPtr = std::unique_ptr<blkid_struct_tag_iterate, TagIteratorDeleter>;

} // namespace

std::optional<VolumeIdentity> probeVolume(const QByteArray& path) {
    ProbePtr probe(blkid_new_probe_from_filename(path.constData()));
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

// Only read: a look-up that may probe would also write the cache back.
std::optional<VolumeIdentity> cachedVolume(const QByteArray& node) {
    blkid_cache opened = nullptr;
    if (blkid_get_cache(&opened, nullptr) != 0)
        return std::nullopt;
    const CachePtr cache(opened);
    const blkid_dev dev = blkid_get_dev(cache.get(), node.constData(), BLKID_DEV_FIND);
    if (!dev)
        return std::nullopt;
    VolumeIdentity identity;
    const TagIteratorPtr tags(blkid_tag_iterate_begin(dev));
    const char* name = nullptr;
    const char* value = nullptr;
    while (tags && blkid_tag_next(tags.get(), &name, &value) == 0) {
        if (std::strcmp(name, "UUID") == 0)
            identity.uuid = QString::fromUtf8(value);
        else if (std::strcmp(name, "TYPE") == 0)
            identity.type = QString::fromUtf8(value);
    }
    if (identity.uuid.isEmpty())
        return std::nullopt;
    return identity;
}

} // namespace ombrix::platform
