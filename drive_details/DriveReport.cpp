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

bool isDriveKey(const QString& typed) {
    if (typed.size() != 1)
        return false;
    const char16_t c = typed[0].unicode();
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

} // namespace ombrix

namespace ombrix {
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

DriveReport GetDriveReport(const platform::FileSystem& fileSystem, const QString& driveText,
                           const QLocale& locale) {
    DriveReport report;
    bool failed = false;

    std::unique_ptr<platform::FileSystemObject> fso;
    attempt(failed, [&] { fso = fileSystem.create(); });

    std::unique_ptr<platform::DriveObject> unit;
    attempt(failed, [&] {
        if (!fso)
            throw platform::PlatformError("No file-system object");
        const QString path = fso->GetAbsolutePathName(driveText + QStringLiteral(":\\"));
        const QString name = fso->GetDriveName(path);
        unit = fso->GetDrive(name);
    });

    attempt(failed, [&] {
        if (!unit)
            throw platform::PlatformError("No drive");
        report.type = unit->DriveType();
    });

    if (failed) {
        report.drive = QStringLiteral("Unit ") + driveText + QStringLiteral(": not found");
        report.serial = report.free = report.total = QString();
        return report;
    }
    report.found = true;
    report.mountPoint = unit->MountPoint();

    attempt(failed, [&] {
        report.letter = unit->DriveLetter();
        report.drive = QStringLiteral("Unit ") + report.letter + QStringLiteral(": - ") +
                       driveTypeName(*report.type);
    });
    attempt(failed, [&] {
        report.serialNumber = unit->SerialNumber();
        report.serial = QStringLiteral("Serial #: ") + QString::number(*report.serialNumber);
    });
    if (failed) {
        report.serial = QStringLiteral("Unit not ready");
        report.free = report.total = QString();
    }
    attempt(failed, [&] {
        report.freeBytes = unit->AvailableSpace();
        report.free = QStringLiteral("Free Space: ") + formatDriveSize(*report.freeBytes, locale);
    });
    attempt(failed, [&] {
        report.totalBytes = unit->TotalSize();
        report.total = QStringLiteral("Total Size: ") + formatDriveSize(*report.totalBytes, locale);
    });
    return report;
}

std::vector<DriveReport> GetAllDriveReports(const platform::FileSystem& fileSystem,
                                            const QLocale& locale) {
    std::vector<DriveReport> reports;
    for (const QString& letter : fileSystem.create()->DriveLetters())
        reports.push_back(GetDriveReport(fileSystem, letter, locale));
    return reports;
}

QStringList DriveReportLines(const DriveReport& report) {
    QStringList lines;
    for (const std::optional<QString>& line :
         {report.drive, report.serial, report.total, report.free}) {
        if (line && !line->isEmpty())
            lines << *line;
    }
    return lines;
}

} // namespace ombrix
