#include "platform/linux/VolumeProbe.h"

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
