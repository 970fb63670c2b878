#include "report/ComputerList.h"

#include "platform/HostPort.h"
#include "platform/RemoteComputers.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cstdio>

namespace ombrix {

QStringList ComputerNamesIn(QStringView text) {
    QStringList names;
    for (QStringView line : text.tokenize(u'\n')) {
        if (const qsizetype comment = line.indexOf(u'#'); comment >= 0)
            line = line.first(comment);
        line = line.trimmed();
        if (!line.isEmpty())
            names << line.toString();
    }
    return names;
}

ComputerList ReadComputerList(const QString& path) {
    QFile file;
    const bool standardInput = path == QLatin1String("-");
    if (standardInput) {
        file.open(stdin, QIODevice::ReadOnly);
    } else {
        if (QFileInfo(path).isDir())
            return {{}, QStringLiteral("is a folder, not a list of computers")};
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly))
            return {{}, QStringLiteral("cannot be read: %1").arg(file.errorString())};
    }
    const QByteArray bytes = file.read(kMostComputerListBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return {{}, QStringLiteral("cannot be read: %1").arg(file.errorString())};
    if (bytes.size() > kMostComputerListBytes)
        return {{},
                QStringLiteral("is larger than %1 MiB, which no list of computers is")
                    .arg(kMostComputerListBytes / (1024 * 1024))};
    if (bytes.contains('\0'))
        return {{}, QStringLiteral("is not text: it holds a NUL byte")};
    return {ComputerNamesIn(QString::fromUtf8(bytes)), {}};
}

QString ComputerKey(const QString& typed) {
    const platform::pcp::HostPort where =
        platform::pcp::splitHost(platform::computerAddress(typed).toStdString());
    if (where.badPort) // not read at all; kept apart as typed
        return typed;
    return QString::fromStdString(where.host).toLower() + u':' + QString::number(where.port);
}

std::size_t CountComputers(const QStringList& names) {
    QSet<QString> keys;
    for (const QString& name : names)
        keys.insert(ComputerKey(name));
    return static_cast<std::size_t>(keys.size());
}

} // namespace ombrix
