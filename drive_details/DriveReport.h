#pragma once
#include <QString>

#include <cstdint>

class QLocale;

namespace ombrix {

// The name a report shows for a drive type code: "Unknow" for 0, the empty
// text for codes outside 0 to 5.
QString driveTypeName(int driveType);

// A byte count as the report writes it: megabytes with two decimals from
// 1,048,576 bytes on, whole kilobytes below, in the locale's number format.
QString formatDriveSize(std::uint64_t bytes, const QLocale& locale);

// Whether a typed character chooses a drive: only "A" to "Z" and "a" to "z".
bool isDriveKey(const QString& typed);

} // namespace ombrix
