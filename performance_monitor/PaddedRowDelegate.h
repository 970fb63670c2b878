#pragma once
#include <QStyledItemDelegate>

namespace ombrix {

// Rows a little taller than the font's line, so that descenders such as the
// underscore of "_Total" stay inside their row instead of under the next one.
class PaddedRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(0, 4);
    }
};

} // namespace ombrix
