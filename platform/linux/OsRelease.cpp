#include "platform/linux/OsRelease.h"

#include "platform/linux/KernelFile.h"

#include <QFile>

namespace ombrix::platform {

OsRelease readOsRelease(const QStringList& paths) {
    for (const QString& path : paths) {
        if (const auto text = readKernelFile(QFile::encodeName(path).toStdString(), 64 * 1024))
            return parseOsRelease(QByteArray::fromStdString(*text));
    }
    return parseOsRelease({});
}

} // namespace ombrix::platform
