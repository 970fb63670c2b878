#include "platform/linux/LinuxMemoryStatus.h"

#include <QFile>

#include <limits>

namespace ombrix::platform {
namespace {

// "  16318480 kB" in bytes.
std::optional<std::uint64_t> parseAmount(QByteArrayView value) {
    const QByteArrayView trimmed = value.trimmed();
    const qsizetype space = trimmed.indexOf(' ');
    const QByteArrayView number = space < 0 ? trimmed : trimmed.first(space);
    const QByteArrayView unit = space < 0 ? QByteArrayView() : trimmed.sliced(space).trimmed();
    bool ok = false;
    const qulonglong count = number.toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    if (unit.isEmpty())
        return count;
    if (unit != "kB" || count > std::numeric_limits<std::uint64_t>::max() / 1024)
        return std::nullopt;
    return count * 1024;
}

} // namespace

LinuxMemoryStatus::LinuxMemoryStatus(QString path) : m_path(std::move(path)) {}

std::optional<MemoryStatus> LinuxMemoryStatus::query() const {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseMeminfo(file.readAll());
}

std::optional<MemoryStatus> parseMeminfo(QByteArrayView text) {
    std::optional<std::uint64_t> total, available, memFree, buffers, cached;
    while (!text.isEmpty()) {
        const qsizetype eol = text.indexOf('\n');
        if (eol < 0)
            break; // an unfinished last line
        const QByteArrayView line = text.first(eol);
        text = text.sliced(eol + 1);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArrayView key = line.first(colon);
        std::optional<std::uint64_t>* target = key == "MemTotal"       ? &total
                                               : key == "MemAvailable" ? &available
                                               : key == "MemFree"      ? &memFree
                                               : key == "Buffers"      ? &buffers
                                               : key == "Cached"       ? &cached
                                                                       : nullptr;
        if (target && !*target)
            *target = parseAmount(line.sliced(colon + 1));
    }
    if (!total)
        return std::nullopt;
    if (!available && memFree)
        available = *memFree + buffers.value_or(0) + cached.value_or(0);
    if (!available)
        return std::nullopt;
    return MemoryStatus{*total, *available};
}

} // namespace ombrix::platform
