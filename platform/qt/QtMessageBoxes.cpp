#include "platform/qt/QtMessageBoxes.h"

#include <QMessageBox>

namespace ombrix::platform {

void QtMessageBoxes::show(const QString& caption, const QString& text, Icon icon) {
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, caption,
                    text, QMessageBox::Ok);
    box.exec();
}

} // namespace ombrix::platform
