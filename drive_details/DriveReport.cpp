#include "drive_details/DriveReport.h"

#include <QLocale>

#include <cmath>

namespace ombrix {

QString driveTypeName(int driveType) {
    switch (driveType) {
    case 0:
        return QStringLiteral("Unknow");
    case 1:
        return QStringLiteral("Removable");
    case 2:
        return QStringLiteral("Hard Disk");
    case 3:
        return QStringLiteral("Network");
    case 4:
        return QStringLiteral("CD-ROM");
    case 5:
        return QStringLiteral("RAM Disc");
    default:
        return {};
    }
}

QString formatDriveSize(std::uint64_t bytes, const QLocale& locale) {
    const double value = static_cast<double>(bytes);
    if (value / 1024.0 >= 1024.0)
        return locale.toString(value / 1048576.0, 'f', 2) + QStringLiteral(" MB");
    // Halfway kilobyte counts round up.
    return locale.toString(std::round(value / 1024.0), 'f', 0) + QStringLiteral(" KB");
}

bool isDriveKey(const QString& typed) {
    if (typed.size() != 1)
        return false;
    const char16_t c = typed[0].unicode();
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

} // namespace ombrix
