#pragma once
#include <QLabel>

namespace ombrix {

// A one-line label that never clips its text: a text wider than the label
// is drawn a little tighter, else in a smaller font, and only past the smallest readable size
// is it elided (the whole text stays in the tooltip). text() and with it the
// accessible name always hold the whole text.
class FitLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    static constexpr qreal kSmallestPointSize = 6.5;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setToolTipIfChanged(const QString& tip);
    void fit(int width);

    // The smaller font and the text drawn, for the text, width and font
    // they were worked out for.
    QString m_fittedText;
    int m_fittedWidth = -1;
    QFont m_fittedBase;
    QFont m_fittedFont;
    QString m_shown;
};

} // namespace ombrix
