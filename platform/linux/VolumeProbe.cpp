#include "platform/linux/VolumeProbe.h"

namespace ombrix::platform {

VolumeProbe::VolumeProbe(std::string module) : m_module(std::move(module)) {}

VolumeProbe::Probe VolumeProbe::load() {
    const std::lock_guard lock(m_loading);
    if (!m_probe) {
        if (!m_library)
            // A probe of a volume that hangs may still be running when the
            // program ends.
            m_library.emplace(m_module, "volume probe module", true);
        m_probe = reinterpret_cast<Probe>(m_library->symbol("ombrix_probe_volume"));
    }
    return m_probe;
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
