#include "program/WindowIcon.h"

#include <QDirIterator>

namespace ombrix::program {

QIcon windowIcon() {
    QIcon icon;
    // The build draws the sizes from the icon's SVG into the resources.
    QDirIterator it(QStringLiteral(":/ombrix/icons"), {QStringLiteral("*.png")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        icon.addFile(it.next());
    return icon;
}

} // namespace ombrix::program
