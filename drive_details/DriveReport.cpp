#include "drive_details/DriveReport.h"

#include "platform/FileSystem.h"
#include "platform/PlatformError.h"

#include <QLocale>

#include <cmath>
#include <memory>

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

bool isCommandKey(Qt::KeyboardModifiers modifiers) {
    return modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

bool isDriveKey(const QString& typed) {
    if (typed.size() != 1)
        return false;
    const char16_t c = typed[0].unicode();
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

DriveLines readDriveLines(const platform::FileSystem& fileSystem, const QString& drive,
                          const QLocale& locale) {
    DriveLines lines;
    std::unique_ptr<platform::DriveObject> unit;
    if (const std::unique_ptr<platform::FileSystemObject> fso = fileSystem.create()) {
        const QString path = fso->GetAbsolutePathName(drive + QStringLiteral(":\\"));
        unit = fso->GetDrive(fso->GetDriveName(path));
    }
    if (!unit) {
        lines.drive = QStringLiteral("Unit ") + drive + QStringLiteral(": not found");
        lines.serial = lines.free = lines.total = QString();
        return lines;
    }
    lines.mountPoint = unit->MountPoint();

    lines.letter = unit->DriveLetter();
    lines.type = unit->DriveType();
    lines.drive = QStringLiteral("Unit ") + lines.letter + QStringLiteral(": - ") +
                  driveTypeName(*lines.type);
    // A fact the drive cannot give leaves its line as it was; a drive
    // without a serial number is not ready at all.
    lines.serialNumber = unit->SerialNumber();
    if (lines.serialNumber) {
        lines.serial = QStringLiteral("Serial #: ") + QString::number(*lines.serialNumber);
    } else {
        lines.serial = QStringLiteral("Unit not ready");
        lines.free = lines.total = QString();
    }
    lines.freeBytes = unit->AvailableSpace();
    if (lines.freeBytes)
        lines.free = QStringLiteral("Free Space: ") + formatDriveSize(*lines.freeBytes, locale);
    lines.totalBytes = unit->TotalSize();
    if (lines.totalBytes)
        lines.total = QStringLiteral("Total Size: ") + formatDriveSize(*lines.totalBytes, locale);
    return lines;
}

std::vector<DriveLines> readEveryDrive(const platform::FileSystem& fileSystem,
                                       const QLocale& locale) {
    const std::unique_ptr<platform::FileSystemObject> fso = fileSystem.create();
    if (!fso)
        throw platform::PlatformError("The drives cannot be listed");
    std::vector<DriveLines> drives;
    for (const QString& letter : fso->DriveLetters())
        drives.push_back(readDriveLines(fileSystem, letter, locale));
    return drives;
}

QStringList shownDriveLines(const DriveLines& lines) {
    QStringList shown;
    for (const std::optional<QString>& line :
         {lines.drive, lines.serial, lines.total, lines.free}) {
        if (line && !line->isEmpty())
            shown << *line;
    }
    return shown;
}

} // namespace ombrix
