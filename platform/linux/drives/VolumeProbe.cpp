#include "platform/linux/drives/VolumeProbe.h"

#include "platform/linux/KernelFile.h"

#include <QList>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <memory>

namespace ombrix::platform {
namespace {

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

} // namespace

VolumeProbe::VolumeProbe(std::string module) : m_module(std::move(module)) {}

VolumeReaders VolumeProbe::load() {
    const std::lock_guard lock(m_loading);
    if (!m_readers.cached) {
        if (!m_library)
            // A reading of a volume that hangs may still be running when the
            // program ends.
            m_library.emplace(m_module, "volume probe module", true);
        m_readers.cached =
            reinterpret_cast<VolumeReader>(m_library->symbol("ombrix_cached_volume"));
    }
    return m_readers;
}

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
    VolumeIdentity cached{mountedType, {}};
    if (records.blkidCache && !node.isEmpty() && records.blkidCache(node, cached))
        return cached;
    return std::nullopt;
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
