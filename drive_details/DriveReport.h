#pragma once
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class QLocale;

namespace ombrix {
namespace platform {
class FileSystem;
}

// One report of the drive window. A line left unset keeps the label's text.
struct DriveReport {
    std::optional<QString> drive;  // LblDrive
    std::optional<QString> serial; // LblSN
    std::optional<QString> total;  // LblTot
    std::optional<QString> free;   // LblFree
    // The facts behind the lines; unset where they could not be read.
    bool found = false;
    QString letter;
    std::optional<int> type;
    std::optional<std::int32_t> serialNumber;
    std::optional<std::uint64_t> totalBytes;
    std::optional<std::uint64_t> freeBytes;
    QString mountPoint;
};

// The report for a drive text ("C", or "Text1" before a key was typed), from
// a new file-system object, in continue-on-error mode: a failing step is
// skipped and the report goes on.
DriveReport GetDriveReport(const platform::FileSystem& fileSystem, const QString& driveText,
                           const QLocale& locale);

// The report of every lettered drive, in letter order. Throws PlatformError
// when the drives cannot be listed.
std::vector<DriveReport> GetAllDriveReports(const platform::FileSystem& fileSystem,
                                            const QLocale& locale);

// The report's lines top to bottom as the window shows them, empty ones left out.
QStringList DriveReportLines(const DriveReport& report);

// The name a report shows for a drive type code: "Unknow" for 0, the empty
// text for codes outside 0 to 5.
QString driveTypeName(int driveType);

// A byte count as the report writes it: megabytes with two decimals from
// 1,048,576 bytes on, whole kilobytes below, in the locale's number format.
QString formatDriveSize(std::uint64_t bytes, const QLocale& locale);

// Whether a typed character chooses a drive: only "A" to "Z" and "a" to "z".
bool isDriveKey(const QString& typed);

} // namespace ombrix
