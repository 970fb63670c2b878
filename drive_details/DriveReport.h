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

// The name a report shows for a drive type code: "Unknow" for 0, the empty
// text for codes outside 0 to 5.
QString driveTypeName(int driveType);

// A byte count as the report writes it: megabytes with two decimals from
// 1,048,576 bytes on, whole kilobytes below, in the locale's number format.
QString formatDriveSize(std::uint64_t bytes, const QLocale& locale);

// Whether a typed character chooses a drive: only "A" to "Z" and "a" to "z".
bool isDriveKey(const QString& typed);

// A key held with Ctrl, Alt or Meta is a command, never a typed letter: it
// keeps its usual meaning. Shift only makes a capital.
bool isCommandKey(Qt::KeyboardModifiers modifiers);

// What one report writes into the four lines: a new text, or nothing for a
// line that keeps the text it has; and the facts behind them, unset where
// they could not be read.
struct DriveLines {
    std::optional<QString> drive;  // LblDrive
    std::optional<QString> serial; // LblSN
    std::optional<QString> total;  // LblTot
    std::optional<QString> free;   // LblFree
    QString letter;
    std::optional<int> type;
    std::optional<std::int32_t> serialNumber;
    std::optional<std::uint64_t> totalBytes;
    std::optional<std::uint64_t> freeBytes;
    QString mountPoint;
    // Why the serial number of a drive that gave its sizes could not be
    // read; empty when it was, or the drive carries none.
    QString serialUnreadWhy;
    // Mounted volumes of the drive table that have no letter.
    int volumesWithoutLetter = 0;
};

// Every lettered drive, and how many mounted volumes have no letter.
struct EveryDrive {
    std::vector<DriveLines> drives;
    int volumesWithoutLetter = 0;
};

// The report for the drive text. Waits as long as the file-system object
// does, so the window asks it off its own thread.
DriveLines readDriveLines(const platform::FileSystem& fileSystem, const QString& driveText,
                          const QLocale& locale);

// The report of every lettered drive, in letter order. Throws PlatformError
// when the drives cannot be listed.
EveryDrive readEveryDrive(const platform::FileSystem& fileSystem, const QLocale& locale);

// What the drive window and the report say of mounted volumes that got no
// letter; empty for none.
QString volumesWithoutLetterText(int count);

// The serial numbers that could not be read and why, drives of one reason
// together: "C:, E: serial number: <why>"; empty when none.
QString UnreadDriveFactsText(const std::vector<DriveLines>& drives);

// The lines top to bottom as the window shows them, empty ones left out.
QStringList shownDriveLines(const DriveLines& lines);

} // namespace ombrix
