#include "program/WindowIcon.h"

#include <QDirIterator>
#include <QImageReader>
#include <QPixmap>

namespace ombrix::program {

QIcon windowIcon() {
    QIcon icon;
    // The build draws the sizes from the icon's SVG into the resources. They
    // are read as PNG by Qt's own reader: one left to find the format would
    // first load every image-format plugin there is, to ask each of them.
    // (A name filter here would compile a regular expression.)
    QDirIterator it(QStringLiteral(":/ombrix/icons"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (!file.endsWith(QLatin1String(".png")))
            continue;
        QImageReader reader(file, "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace ombrix::program
