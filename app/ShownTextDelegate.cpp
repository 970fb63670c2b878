#include "app/ShownTextDelegate.h"

#include "app/VisibleText.h"

namespace ombrix {

QString ShownTextDelegate::displayText(const QVariant& value, const QLocale& locale) const {
    return ShownText(QStyledItemDelegate::displayText(value, locale));
}

} // namespace ombrix
