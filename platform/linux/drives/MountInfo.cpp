#include "platform/linux/drives/MountInfo.h"

#include <QList>

namespace ombrix::platform {
namespace {

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

bool parseInt(QByteArrayView text, int& out) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (ok)
        out = value;
    return ok;
}

bool parseDevNum(QByteArrayView text, DevNum& out) {
    const qsizetype colon = text.indexOf(':');
    if (colon <= 0)
        return false;
    bool okMajor = false;
    bool okMinor = false;
    const uint major = text.first(colon).toUInt(&okMajor);
    const uint minor = text.sliced(colon + 1).toUInt(&okMinor);
    if (!okMajor || !okMinor)
        return false;
    out = DevNum{major, minor};
    return true;
}

} // namespace

QByteArray unescapeMountField(QByteArrayView field) {
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
            isOctal(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 0xFF) {
                bytes.append(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        bytes.append(c);
    }
    return bytes;
}

std::vector<MountEntry> parseMountInfo(QByteArrayView text) {
    std::vector<MountEntry> entries;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;

        QList<QByteArrayView> fields;
        qsizetype pos = 0;
        while (pos < line.size()) {
            while (pos < line.size() && line[pos] == ' ')
                ++pos;
            qsizetype stop = pos;
            while (stop < line.size() && line[stop] != ' ')
                ++stop;
            if (stop > pos)
                fields.append(line.sliced(pos, stop - pos));
            pos = stop;
        }
        // id parent dev root mountpoint options [optional...] - type source superoptions
        qsizetype separator = -1;
        for (qsizetype i = 6; i < fields.size(); ++i) {
            if (fields[i] == "-") {
                separator = i;
                break;
            }
        }
        if (separator < 0 || fields.size() < separator + 3)
            continue;
        MountEntry entry;
        if (!parseInt(fields[0], entry.id) || !parseInt(fields[1], entry.parentId) ||
            !parseDevNum(fields[2], entry.dev))
            continue;
        entry.root = unescapeMountField(fields[3]);
        entry.mountPoint = unescapeMountField(fields[4]);
        entry.fsType = QString::fromUtf8(unescapeMountField(fields[separator + 1]));
        entry.source = unescapeMountField(fields[separator + 2]);
        if (fields.size() > separator + 3)
            entry.superOptions = QString::fromUtf8(unescapeMountField(fields[separator + 3]));
        if (!entry.mountPoint.startsWith('/'))
            continue;
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace ombrix::platform
