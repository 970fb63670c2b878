#include "main_window/FitLabel.h"

#include <QPainter>

#include <cmath>

namespace ombrix {

void FitLabel::setToolTipIfChanged(const QString& tip) {
    if (toolTip() != tip)
        setToolTip(tip);
}

void FitLabel::fit(int width) {
    m_fittedText = text();
    m_fittedWidth = width;
    m_fittedBase = font();
    QFont f = font();
    // A text just too wide is first set a little tighter: the same face at
    // the same size, so no further font has to be loaded.
    for (const qreal spacing : {98.0, 96.0, 94.0}) {
        f.setLetterSpacing(QFont::PercentageSpacing, spacing);
        if (QFontMetrics(f).horizontalAdvance(text()) <= width) {
            m_fittedFont = f;
            m_shown = text();
            return;
        }
    }
    f.setLetterSpacing(QFont::PercentageSpacing, 100);
    // Fonts given in pixels are turned into points first, so they can shrink.
    if (f.pointSizeF() <= 0)
        f.setPointSizeF(QFontInfo(f).pointSizeF());
    // Text width scales with the point size, so one guess lands at or next
    // to the size that fits; each size tried loads a font, so try few.
    const int natural = QFontMetrics(f).horizontalAdvance(text());
    qreal size = std::floor(2 * f.pointSizeF() * width / std::max(natural, 1)) / 2;
    size = std::max(kSmallestPointSize, size);
    f.setPointSizeF(size);
    while (size > kSmallestPointSize && QFontMetrics(f).horizontalAdvance(text()) > width) {
        size = std::max(kSmallestPointSize, size - 0.5);
        f.setPointSizeF(size);
    }
    m_fittedFont = f;
    m_shown = QFontMetrics(f).elidedText(text(), Qt::ElideRight, width);
}

void FitLabel::paintEvent(QPaintEvent* event) {
    const QRect area = contentsRect();
    if (fontMetrics().horizontalAdvance(text()) <= area.width()) {
        setToolTipIfChanged({});
        QLabel::paintEvent(event);
        return;
    }
    if (m_fittedText != text() || m_fittedWidth != area.width() || m_fittedBase != font())
        fit(area.width());
    setToolTipIfChanged(m_shown == text() ? QString() : text());
    QPainter painter(this);
    painter.setFont(m_fittedFont);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, static_cast<int>(alignment()) | Qt::TextSingleLine, m_shown);
}

} // namespace ombrix
