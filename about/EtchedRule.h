#pragma once
#include <QColor>
#include <QRect>
#include <QWidget>

#include <vector>

namespace ombrix {

// A rule made of horizontal line elements, each given in twips on the parent
// (a grey line over a white one gives the etched look). A line of width w is
// drawn inside its bounds: from its coordinate downwards.
class EtchedRule : public QWidget {
    Q_OBJECT
public:
    explicit EtchedRule(QWidget* parent = nullptr);

    void addElement(int leftTwips, int rightTwips, int yTwips, const QColor& colour, int widthPx);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Element {
        QRect rect; // in the parent's pixels
        QColor colour;
    };
    std::vector<Element> m_elements;
};

} // namespace ombrix
