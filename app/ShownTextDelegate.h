#pragma once
#include <QStyledItemDelegate>

namespace ombrix {

// Draws a list's texts as ShownText writes them, so that a name read from
// the machine or a collector reads in the order of its characters. The items
// keep the texts themselves, for Copy and screen readers.
class ShownTextDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale& locale) const override;
};

} // namespace ombrix
