#include "report/JsonWriter.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace ombrix {

void JsonWriter::text(const QString& value) {
    static constexpr char kHex[] = "0123456789abcdef";
    m_out += '"';
    const auto* at = reinterpret_cast<const char16_t*>(value.constData());
    const char16_t* const end = at + value.size();
    const auto escaped = [this](char16_t unit) {
        m_out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            m_out += kHex[(unit >> shift) & 0xf];
    };
    while (at != end) {
        const char16_t unit = *at++;
        if (unit < 0x80) {
            switch (unit) {
            case u'"':
                m_out += "\\\"";
                break;
            case u'\\':
                m_out += "\\\\";
                break;
            case u'\b':
                m_out += "\\b";
                break;
            case u'\f':
                m_out += "\\f";
                break;
            case u'\n':
                m_out += "\\n";
                break;
            case u'\r':
                m_out += "\\r";
                break;
            case u'\t':
                m_out += "\\t";
                break;
            default:
                if (unit < 0x20)
                    escaped(unit);
                else
                    m_out += static_cast<char>(unit);
            }
            continue;
        }
        char32_t point = unit;
        if (QChar::isHighSurrogate(unit) && at != end && QChar::isLowSurrogate(*at)) {
            point = QChar::surrogateToUcs4(unit, *at++);
        } else if (QChar::isSurrogate(unit)) {
            point = QChar::ReplacementCharacter; // a lone half of a pair: no character at all
        }
        if (point < 0x800) {
            m_out += static_cast<char>(0xC0 | (point >> 6));
        } else if (point < 0x10000) {
            m_out += static_cast<char>(0xE0 | (point >> 12));
            m_out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        } else {
            m_out += static_cast<char>(0xF0 | (point >> 18));
            m_out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            m_out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        }
        m_out += static_cast<char>(0x80 | (point & 0x3F));
    }
    m_out += '"';
}

void JsonWriter::number(qint64 value) {
    m_out += QByteArray::number(value);
}

void JsonWriter::number(double value) {
    if (std::isfinite(value))
        m_out += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
    else
        null();
}

void JsonWriter::boolean(bool value) {
    m_out += value ? "true" : "false";
}

void JsonWriter::null() {
    m_out += "null";
}

void JsonWriter::spaces(int indent) {
    if (!m_compact)
        m_out.append(4 * indent, ' ');
}

void JsonWriter::between(bool last) {
    if (!last)
        m_out += ',';
    if (!m_compact)
        m_out += '\n';
}

void JsonWriter::object(int indent, std::vector<Member> members) {
    std::sort(members.begin(), members.end(),
              [](const Member& a, const Member& b) { return a.key < b.key; });
    m_out += m_compact ? "{" : "{\n";
    for (std::size_t i = 0; i < members.size(); ++i) {
        spaces(indent + 1);
        text(members[i].key);
        m_out += m_compact ? ":" : ": ";
        members[i].value(indent + 1);
        between(i + 1 == members.size());
    }
    spaces(indent);
    m_out += '}';
}

void JsonWriter::array(int indent, std::size_t count,
                       const std::function<void(std::size_t, int)>& element) {
    m_out += m_compact ? "[" : "[\n";
    for (std::size_t i = 0; i < count; ++i) {
        spaces(indent + 1);
        element(i, indent + 1);
        between(i + 1 == count);
    }
    spaces(indent);
    m_out += ']';
}

void JsonWriter::texts(int indent, const QStringList& values) {
    array(indent, static_cast<std::size_t>(values.size()),
          [&](std::size_t i, int) { text(values[static_cast<qsizetype>(i)]); });
}

} // namespace ombrix
