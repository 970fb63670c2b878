#include "platform/linux/VolumeProbe.h"

#include "platform/linux/KernelFile.h"

#include <QList>

#include <blkid.h>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

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

// udev's links name the volume by its UUID: the one that leads to the device.
std::optional<VolumeIdentity> linkedVolume(const QByteArray& folder, DevNum dev,
                                           const QString& mountedType) {
    const std::unique_ptr<DIR, int (*)(DIR*)> links(::opendir(folder.constData()), ::closedir);
    if (!links)
        return std::nullopt;
    while (const dirent* entry = ::readdir(links.get())) {
        const QByteArray name(entry->d_name);
        struct stat st {};
        if (name.startsWith('.') || ::stat((folder + '/' + name).constData(), &st) != 0 ||
            !S_ISBLK(st.st_mode) || DevNum{::major(st.st_rdev), ::minor(st.st_rdev)} != dev)
            continue;
        // libblkid names an NTFS volume ntfs whichever driver mounted it.
        const QString type =
            mountedType == QLatin1String("ntfs3") ? QStringLiteral("ntfs") : mountedType;
        return VolumeIdentity{type, QString::fromUtf8(name)};
    }
    return std::nullopt;
}

// What libblkid's cache holds of the device, as the last probe that was
// allowed to read it found it. Only read: a look-up that may probe would
// also write the cache back.
std::optional<VolumeIdentity> cachedVolume(const QByteArray& node, const QString& mountedType) {
    blkid_cache opened = nullptr;
    if (blkid_get_cache(&opened, nullptr) != 0)
        return std::nullopt;
    const CachePtr cache(opened);
    const blkid_dev dev = blkid_get_dev(cache.get(), node.constData(), BLKID_DEV_FIND);
    if (!dev)
        return std::nullopt;
    VolumeIdentity identity{mountedType, {}};
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

} // namespace

std::optional<VolumeIdentity> parseUdevRecord(QByteArrayView text) {
    VolumeIdentity identity;
    for (const QByteArray& line : text.toByteArray().split('\n')) {
        if (line.startsWith("E:ID_FS_UUID="))
            identity.uuid = QString::fromUtf8(line.sliced(13));
        else if (line.startsWith("E:ID_FS_TYPE="))
            identity.type = QString::fromUtf8(line.sliced(13));
    }
    if (identity.uuid.isEmpty())
        return std::nullopt;
    return identity;
}

std::optional<VolumeIdentity> publishedVolume(const QByteArray& node, DevNum dev,
                                              const QString& mountedType,
                                              const VolumeRecords& records) {
    const QByteArray record = records.udevData + "/b" + QByteArray::number(dev.major) + ':' +
                              QByteArray::number(dev.minor);
    if (const std::optional<std::string> text = readKernelFile(record.toStdString())) {
        if (std::optional<VolumeIdentity> identity =
                parseUdevRecord(QByteArrayView(text->data(), qsizetype(text->size())))) {
            if (identity->type.isEmpty())
                identity->type = mountedType;
            return identity;
        }
    }
    if (std::optional<VolumeIdentity> identity = linkedVolume(records.byUuid, dev, mountedType))
        return identity;
    if (records.blkidCache && !node.isEmpty())
        return cachedVolume(node, mountedType);
    return std::nullopt;
}

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

std::optional<std::int32_t> serialFromIdentity(const VolumeIdentity& identity) {
    QString digits;
    for (QChar c : identity.uuid) {
        if (c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f'))
            digits.append(c);
        else if (c != u'-')
            return std::nullopt; // not a hexadecimal identity
    }
    if (digits.size() < 8)
        return std::nullopt;
    // NTFS keeps a 64-bit serial whose low half is the volume serial; FAT and
    // exFAT keep exactly the 32-bit serial. Everything else: the leading bits.
    const bool ntfs = identity.type == QLatin1String("ntfs");
    const QString part = ntfs ? digits.right(8) : digits.left(8);
    bool ok = false;
    const std::uint32_t value = part.toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace ombrix::platform
