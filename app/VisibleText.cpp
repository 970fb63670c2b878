#include "app/VisibleText.h"

#include <algorithm>

namespace ombrix {
namespace {

QString unicodeEscape(char16_t u) {
    return QStringLiteral("\\u%1").arg(u, 4, 16, QChar(u'0'));
}

} // namespace

bool IsBidiControl(char16_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QString ShownText(const QString& text) {
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return IsBidiControl(c.unicode()); }))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        if (IsBidiControl(c.unicode()))
            out += unicodeEscape(c.unicode());
        else
            out += c;
    }
    return out;
}

QString VisibleText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : WellFormedText(text)) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QStringLiteral("\\\\");
        else if (u == u'\n')
            out += QStringLiteral("\\n");
        else if (u == u'\r')
            out += QStringLiteral("\\r");
        else if (u == u'\t')
            out += QStringLiteral("\\t");
        else if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QChar(u'0'));
        else if (u == 0x2028 || u == 0x2029 || IsBidiControl(u)) // separators, reordering
            out += unicodeEscape(u);
        else
            out += c;
    }
    return out;
}

QStringList VisibleLines(const QStringList& lines) {
    QStringList out;
    out.reserve(lines.size());
    for (const QString& line : lines)
        out << VisibleText(line);
    return out;
}

QStringList TableLines(const QStringList& titles, const std::vector<QStringList>& rows) {
    if (rows.empty())
        return {};
    QStringList lines{titles.join(u'\t')};
    for (const QStringList& row : rows)
        lines << VisibleLines(row).join(u'\t');
    return lines;
}

QString WellFormedText(const QString& text) {
    QString out = text; // copied only where a half of a pair is replaced
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

} // namespace ombrix
