#pragma once
#include <QString>

namespace ombrix {

// Cuts a buffer's text at its first zero character; without one, the whole
// text is kept.
QString StripZero(const QString& text);
// Cuts at the first zero character; without one, the result is empty.
QString LPSTRToVBString(const QString& text);

} // namespace ombrix
