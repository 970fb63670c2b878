#include "main_window/TextRoutines.h"

namespace ombrix {

QString StripZero(const QString& text) {
    const qsizetype zero = text.indexOf(QChar(0));
    return zero < 0 ? text : text.left(zero);
}

QString LPSTRToVBString(const QString& text) {
    const qsizetype zero = text.indexOf(QChar(0));
    return zero < 0 ? QString() : text.left(zero);
}

} // namespace ombrix
