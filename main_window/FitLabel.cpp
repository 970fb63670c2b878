#include "main_window/FitLabel.h"

#include <QPainter>

namespace ombrix {

void FitLabel::setToolTipIfChanged(const QString& tip) {
    if (toolTip() != tip)
        setToolTip(tip);
}

void FitLabel::paintEvent(QPaintEvent* event) {
    const QRect area = contentsRect();
    QFont f = font();
    if (fontMetrics().horizontalAdvance(text()) <= area.width()) {
        setToolTipIfChanged({});
        QLabel::paintEvent(event);
        return;
    }
    // Fonts given in pixels are turned into points first, so they can shrink.
    if (f.pointSizeF() <= 0)
        f.setPointSizeF(QFontInfo(f).pointSizeF());
    qreal size = f.pointSizeF();
    while (size > kSmallestPointSize && QFontMetrics(f).horizontalAdvance(text()) > area.width()) {
        size = std::max(kSmallestPointSize, size - 0.5);
        f.setPointSizeF(size);
    }
    const QFontMetrics metrics(f);
    const QString shown = metrics.elidedText(text(), Qt::ElideRight, area.width());
    setToolTipIfChanged(shown == text() ? QString() : text());
    QPainter painter(this);
    painter.setFont(f);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, static_cast<int>(alignment()) | Qt::TextSingleLine, shown);
}

} // namespace ombrix
