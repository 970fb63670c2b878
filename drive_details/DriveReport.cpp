#include "drive_details/DriveReport.h"

#include "platform/FileSystem.h"
#include "platform/PlatformError.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace ombrix {

QString driveTypeName(int driveType) {
    static const std::array<const char*, 6> names{"Unknow",  "Removable", "Hard Disk",
                                                  "Network", "CD-ROM",    "RAM Disc"};
    if (driveType < 0 || driveType >= static_cast<int>(names.size()))
        return {};
    return QString::fromLatin1(names[static_cast<std::size_t>(driveType)]);
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
        lines.volumesWithoutLetter = fso->VolumesWithoutLetter();
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
    // that gives neither a serial number nor a size is not ready at all.
    // Another computer's drives come without serial numbers: they show
    // their sizes and no serial line. So does a drive whose serial number
    // could not be read, and the report names it.
    try {
        lines.serialNumber = unit->SerialNumber();
    } catch (const platform::PlatformError& error) {
        lines.serialUnreadWhy = QString::fromUtf8(error.what());
    }
    lines.freeBytes = unit->AvailableSpace();
    lines.totalBytes = unit->TotalSize();
    if (lines.serialNumber) {
        lines.serial = QStringLiteral("Serial #: ") + QString::number(*lines.serialNumber);
    } else if (lines.freeBytes || lines.totalBytes) {
        lines.serial = QString();
    } else {
        lines.serial = QStringLiteral("Unit not ready");
        lines.free = lines.total = QString();
        lines.serialUnreadWhy.clear();
    }
    if (lines.freeBytes)
        lines.free = QStringLiteral("Free Space: ") + formatDriveSize(*lines.freeBytes, locale);
    if (lines.totalBytes)
        lines.total = QStringLiteral("Total Size: ") + formatDriveSize(*lines.totalBytes, locale);
    return lines;
}

EveryDrive readEveryDrive(const platform::FileSystem& fileSystem, const QLocale& locale) {
    const std::unique_ptr<platform::FileSystemObject> fso = fileSystem.create();
    if (!fso)
        throw platform::PlatformError("The drives cannot be listed");
    EveryDrive every;
    every.volumesWithoutLetter = fso->VolumesWithoutLetter();
    for (const QString& letter : fso->DriveLetters())
        every.drives.push_back(readDriveLines(fileSystem, letter, locale));
    return every;
}

QString volumesWithoutLetterText(int count) {
    if (count <= 0)
        return {};
    if (count == 1)
        return QStringLiteral("1 mounted volume has no drive letter: the letters end at Z");
    return QStringLiteral("%1 mounted volumes have no drive letter: the letters end at Z")
        .arg(count);
}

QString UnreadDriveFactsText(const std::vector<DriveLines>& drives) {
    QStringList parts;
    QStringList letters;
    for (auto it = drives.begin(); it != drives.end(); ++it) {
        if (it->serialUnreadWhy.isEmpty())
            continue;
        letters << it->letter + QLatin1Char(':');
        const auto next = std::find_if(std::next(it), drives.end(), [](const DriveLines& d) {
            return !d.serialUnreadWhy.isEmpty();
        });
        if (next == drives.end() || next->serialUnreadWhy != it->serialUnreadWhy) {
            parts << letters.join(QStringLiteral(", ")) + QStringLiteral(" serial number: ") +
                         it->serialUnreadWhy;
            letters.clear();
        }
    }
    return parts.join(QStringLiteral("; "));
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
