#include "platform/linux/OsRelease.h"

#include "platform/linux/KernelFile.h"

#include <QFile>

namespace ombrix::platform {
namespace {

// The value of one assignment's right-hand side.
QString unquote(QByteArrayView raw) {
    QByteArray value;
    char quote = 0;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                value += c;
        } else if (c == '\\' && i + 1 < raw.size() &&
                   (quote == 0 || QByteArrayView("\"\\$`").contains(raw[i + 1]))) {
            value += raw[++i];
        } else if (c == '"') {
            quote = quote == '"' ? 0 : '"';
        } else if (c == '\'' && quote == 0) {
            quote = '\'';
        } else {
            value += c;
        }
    }
    return QString::fromUtf8(value);
}

} // namespace

OsRelease parseOsRelease(QByteArrayView text) {
    QString prettyName, name;
    OsRelease release;
    for (const QByteArrayView rawLine : QByteArray(text.data(), text.size()).split('\n')) {
        const QByteArrayView line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            continue;
        const QByteArrayView key = line.first(equals);
        const QString value = unquote(line.sliced(equals + 1));
        if (key == "PRETTY_NAME")
            prettyName = value;
        else if (key == "NAME")
            name = value;
        else if (key == "VERSION_ID")
            release.versionId = value;
    }
    release.prettyName = !prettyName.isEmpty() ? prettyName
                         : !name.isEmpty()     ? name
                                               : QStringLiteral("Linux");
    return release;
}

OsRelease readOsRelease(const QStringList& paths) {
    for (const QString& path : paths) {
        if (const auto text = readKernelFile(QFile::encodeName(path).toStdString(), 64 * 1024))
            return parseOsRelease(QByteArray::fromStdString(*text));
    }
    return parseOsRelease({});
}

QByteArray servicePackText(const QString& prettyName, qsizetype maxBytes) {
    if (maxBytes <= 0)
        return {};
    QByteArray text = prettyName.toUtf8();
    qsizetype keep = text.size();
    if (keep > maxBytes - 1) {
        keep = maxBytes - 1;
        while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80)
            --keep; // text[keep] continues a character: leave that character out whole
    }
    text.truncate(keep);
    text += ' ';
    return text;
}

} // namespace ombrix::platform
