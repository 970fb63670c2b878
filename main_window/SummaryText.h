#pragma once
#include <QString>
#include <QVariant>

#include <cstdint>

class QLocale;
class QTime;

namespace ombrix {
namespace platform {
struct OSVERSIONINFOA;
}

// A byte count as the main window shows it: the whole number nearest to
// bytes / 1043321, without separators.
QString memoryFigure(std::uint64_t bytes);

// "<prefix><major>.<minor> Build <low 16 bits of build>".
QString platformLine(const platform::OSVERSIONINFOA& record);

// The OS version in its single-precision number form; the system's own text
// where that form would drop a digit ("6.10" never shows as "6.1") or the text
// is no number at all.
QString osVersionText(const QVariant& version, const QLocale& locale);
QString osBuildText(const QVariant& build);

// "HH:MM:SS", 24-hour.
QString clockText(const QTime& time);

} // namespace ombrix
