#include "platform/linux/drives/BlkidProbe.h"

#include <blkid.h>

#include <cstring>
#include <memory>

namespace ombrix::platform {
namespace {

struct CacheDeleter {
    void operator()(blkid_struct_cache* cache) const { blkid_put_cache(cache); }
};
using CachePtr = std::unique_ptr<blkid_struct_cache, CacheDeleter>;

struct TagIteratorDeleter {
    void operator()(blkid_struct_tag_iterate* iterator) const { blkid_tag_iterate_end(iterator); }
};
using TagIteratorPtr = std::unique_ptr<blkid_struct_tag_iterate, TagIteratorDeleter>;

} // namespace

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
