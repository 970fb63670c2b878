#include "about/EtchedRule.h"

#include "app/Twips.h"

#include <QPainter>

namespace ombrix {

EtchedRule::EtchedRule(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void EtchedRule::addElement(int leftTwips, int rightTwips, int yTwips, const QColor& colour,
                            int widthPx) {
    const QRect rect(QPoint(twips(leftTwips), twips(yTwips)),
                     QPoint(twips(rightTwips), twips(yTwips) + widthPx - 1));
    m_elements.push_back({rect, colour});
    QRect bounds;
    for (const Element& e : m_elements)
        bounds |= e.rect;
    setGeometry(bounds);
}

void EtchedRule::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (const Element& e : m_elements)
        painter.fillRect(e.rect.translated(-pos()), e.colour);
}

} // namespace ombrix
