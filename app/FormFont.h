#pragma once
#include <QFont>

namespace ombrix {

// The windows are laid out in fixed positions for a small sans-serif face of
// 8 points; Liberation Sans has those metrics, so no caption is clipped.
inline QFont formFont() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8);
    return font;
}

} // namespace ombrix
