#pragma once
#include "app/ShownTextDelegate.h"

namespace ombrix {

// Rows a little taller than the font's line, so that descenders such as the
// underscore of "_Total" stay inside their row instead of under the next one;
// their texts drawn as ShownText writes them (instance names come from a
// collector).
class PaddedRowDelegate : public ShownTextDelegate {
public:
    using ShownTextDelegate::ShownTextDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(0, 4);
    }
};

} // namespace ombrix
