#include "app/FitLabel.h"

#include "app/VisibleText.h"

#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <optional>

namespace ombrix {
namespace {

// The text broken at spaces into lines no wider than `width`.
QStringList wrapped(const QString& text, const QFont& font, int width) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

// The text as drawn in `lines` lines of `width` in this font, when it fits.
std::optional<QString> fitted(const QString& text, const QFont& font, int width, int lines) {
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    if (lines < 2)
        return std::nullopt;
    const QStringList broken = wrapped(text, font, width);
    if (broken.size() > lines)
        return std::nullopt;
    for (const QString& line : broken) {
        if (metrics.horizontalAdvance(line) > width)
            return std::nullopt; // a word longer than the line
    }
    return broken.join(u'\n');
}

// The first lines as they break, the rest elided into the last one.
QString elided(const QString& text, const QFont& font, int width, int lines) {
    const QFontMetrics metrics(font);
    QStringList shown;
    QStringList rest = lines < 2 ? QStringList{text} : wrapped(text, font, width);
    while (shown.size() < lines - 1 && rest.size() > 1)
        shown << metrics.elidedText(rest.takeFirst(), Qt::ElideRight, width);
    shown << metrics.elidedText(rest.join(u' '), Qt::ElideRight, width);
    return shown.join(u'\n');
}

} // namespace

void FitLabel::setToolTipIfChanged(const QString& tip) {
    if (toolTip() != tip)
        setToolTip(tip);
}

void FitLabel::fit(QSize area) {
    m_fittedText = text();
    m_fittedArea = area;
    m_fittedBase = font();
    // What is drawn: a name's bidirectional controls written out.
    const QString drawn = ShownText(m_fittedText);
    const int width = area.width();
    m_asIs = fontMetrics().horizontalAdvance(drawn) <= width;
    m_shown = drawn;
    m_fittedFont = font();
    if (m_asIs)
        return;
    // The lines the label was made high enough for; a smaller font would fit
    // more, but they would run into whatever lies below.
    const int lines = wordWrap() ? std::max(1, area.height() / fontMetrics().lineSpacing()) : 1;
    QFont f = font();
    // A text just too wide is first set a little tighter: the same face at
    // the same size, so no further font has to be loaded.
    for (const qreal spacing : {100.0, 98.0, 96.0, 94.0}) {
        f.setLetterSpacing(QFont::PercentageSpacing, spacing);
        if (std::optional<QString> shown = fitted(drawn, f, width, lines)) {
            m_fittedFont = f;
            m_shown = *shown;
            return;
        }
    }
    f.setLetterSpacing(QFont::PercentageSpacing, 100);
    // Fonts given in pixels are turned into points first, so they can shrink.
    if (f.pointSizeF() <= 0)
        f.setPointSizeF(QFontInfo(f).pointSizeF());
    // Text width scales with the point size, so one guess lands at or next
    // to the size that fits; each size tried loads a font, so try few.
    const qreal start = f.pointSizeF();
    const int natural = QFontMetrics(f).horizontalAdvance(drawn);
    qreal size = std::floor(2 * start * width * lines / std::max(natural, 1)) / 2;
    size = std::clamp(size, kSmallestPointSize, std::max(kSmallestPointSize, start - 0.5));
    for (;;) {
        f.setPointSizeF(size);
        if (std::optional<QString> shown = fitted(drawn, f, width, lines)) {
            m_fittedFont = f;
            m_shown = *shown;
            return;
        }
        if (size <= kSmallestPointSize)
            break;
        size = std::max(kSmallestPointSize, size - 0.5);
    }
    m_fittedFont = f;
    m_shown = elided(drawn, f, width, lines);
}

void FitLabel::paintEvent(QPaintEvent* event) {
    const QRect area = contentsRect();
    // Measured again only for a new text, size or font: a label is repainted
    // far more often than it changes (a clock beside it ticks).
    if (m_fittedText != text() || m_fittedArea != area.size() || m_fittedBase != font())
        fit(area.size());
    if (m_asIs && m_shown == text()) {
        setToolTipIfChanged({});
        QLabel::paintEvent(event);
        return;
    }
    QString whole = m_shown;
    whole.replace(u'\n', u' ');
    const QString shown = ShownText(text());
    setToolTipIfChanged(whole == shown ? QString() : shown);
    QPainter painter(this);
    painter.setFont(m_fittedFont);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, static_cast<int>(alignment()), m_shown);
}

} // namespace ombrix
