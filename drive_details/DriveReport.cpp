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

namespace {

// Continue-on-error: a failing statement is skipped and raises the one flag.
template <class Body> void attempt(bool& failed, Body&& body) {
    try {
        body();
    } catch (const platform::PlatformError&) {
        failed = true;
    }
}

} // namespace

DriveLines readDriveLines(const platform::FileSystem& fileSystem, const QString& drive,
                          const QLocale& locale) {
    DriveLines lines;
    bool failed = false;

    std::unique_ptr<platform::FileSystemObject> fso;
    attempt(failed, [&] { fso = fileSystem.create(); });

    std::unique_ptr<platform::DriveObject> unit;
    attempt(failed, [&] {
        if (!fso)
            throw platform::PlatformError("No file-system object");
        const QString path = fso->GetAbsolutePathName(drive + QStringLiteral(":\\"));
        const QString name = fso->GetDriveName(path);
        unit = fso->GetDrive(name);
    });

    attempt(failed, [&] {
        if (!unit)
            throw platform::PlatformError("No drive");
        lines.type = unit->DriveType();
    });

    if (failed) {
        lines.drive = QStringLiteral("Unit ") + drive + QStringLiteral(": not found");
        lines.serial = lines.free = lines.total = QString();
        return lines;
    }
    lines.mountPoint = unit->MountPoint();

    attempt(failed, [&] {
        lines.letter = unit->DriveLetter();
        lines.drive = QStringLiteral("Unit ") + lines.letter + QStringLiteral(": - ") +
                      driveTypeName(*lines.type);
    });
    attempt(failed, [&] {
        lines.serialNumber = unit->SerialNumber();
        lines.serial = QStringLiteral("Serial #: ") + QString::number(*lines.serialNumber);
    });
    if (failed) {
        lines.serial = QStringLiteral("Unit not ready");
        lines.free = lines.total = QString();
    }
    attempt(failed, [&] {
        lines.freeBytes = unit->AvailableSpace();
        lines.free = QStringLiteral("Free Space: ") + formatDriveSize(*lines.freeBytes, locale);
    });
    attempt(failed, [&] {
        lines.totalBytes = unit->TotalSize();
        lines.total = QStringLiteral("Total Size: ") + formatDriveSize(*lines.totalBytes, locale);
    });
    return lines;
}

std::vector<DriveLines> readEveryDrive(const platform::FileSystem& fileSystem,
                                       const QLocale& locale) {
    std::vector<DriveLines> drives;
    for (const QString& letter : fileSystem.create()->DriveLetters())
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
