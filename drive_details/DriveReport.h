#pragma once
#include <QString>

#include <cstdint>
#include <optional>

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

// Whether a key chooses a drive: only a plainly typed "A" to "Z" or "a" to
// "z". Shift only makes a capital; with Ctrl, Alt or Meta the key keeps its
// usual meaning.
bool isDriveKey(const QString& typed, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// What one report writes into the four lines: a new text, or nothing for a
// line that keeps the text it has.
struct DriveLines {
    std::optional<QString> drive;
    std::optional<QString> serial;
    std::optional<QString> total;
    std::optional<QString> free;
};

// The report for the drive text, step by step in continue-on-error mode: a
// step that fails stops there and raises the one flag. Waits as long as the
// file-system object does, so the window asks it off its own thread.
DriveLines readDriveLines(const platform::FileSystem& fileSystem, const QString& driveText,
                          const QLocale& locale);

} // namespace ombrix
