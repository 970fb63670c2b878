#pragma once
#include <QLabel>

namespace ombrix {

// A label that never clips its text: a text wider than the label is drawn a
// little tighter, else in a smaller font, and only past the smallest
// readable size is it elided (the whole text stays in the tooltip). With word
// wrap on, the text may take as many lines as the label's height holds in
// its own font before it shrinks. text() and with it the accessible name
// always hold the whole text.
class FitLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    static constexpr qreal kSmallestPointSize = 6.5;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setToolTipIfChanged(const QString& tip);
    void fit(QSize area);

    // Whether the text fits as it is, else the smaller font and the text
    // drawn (its lines joined by line breaks), for the text, area and font
    // they were worked out for.
    QString m_fittedText;
    QSize m_fittedArea;
    QFont m_fittedBase;
    bool m_asIs = false;
    QFont m_fittedFont;
    QString m_shown;
};

} // namespace ombrix
