#include "platform/registry/RegistryNames.h"

#include <QChar>

#include <algorithm>

namespace ombrix::platform::registry {

namespace {

// Decodes one UTF-8 sequence at text[i]; returns its length, 0 when invalid
// (overlong forms, surrogates and code points past U+10FFFF included).
std::size_t decodeOne(std::string_view text, std::size_t i, char32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    std::size_t len = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

bool foldName(std::string_view name, std::string& fold) {
    fold.clear();
    fold.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char b = static_cast<unsigned char>(name[i]);
        if (b < 0x80) { // the common case, without a table look-up
            fold += static_cast<char>(b >= 'a' && b <= 'z' ? b - 32 : b);
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t len = decodeOne(name, i, cp);
        if (len == 0) {
            fold.clear();
            return false;
        }
        appendUtf8(fold, QChar::toUpper(cp));
        i += len;
    }
    return true;
}

std::size_t utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::size_t utf8CharLength(std::string_view text, std::size_t at) {
    char32_t cp = 0;
    return at < text.size() ? decodeOne(text, at, cp) : 0;
}

LONG parseKeyPath(const char* path, KeyPath& out) {
    out.clear();
    if (path == nullptr || *path == '\0')
        return ERROR_SUCCESS;
    const std::string_view text(path);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(text.find('\\', start), text.size());
        const std::string_view level = text.substr(start, end - start);
        if (level.empty() || out.size() >= kMaxKeyDepth)
            return ERROR_INVALID_PARAMETER;
        KeyName name{std::string(level), {}};
        if (!foldName(level, name.fold) || utf8Length(level) > kMaxKeyNameChars)
            return ERROR_INVALID_PARAMETER;
        out.push_back(std::move(name));
        if (end == text.size())
            return ERROR_SUCCESS;
        start = end + 1;
    }
}

LONG parseValueName(const char* name, KeyName& out) {
    out = {};
    if (name == nullptr)
        return ERROR_SUCCESS;
    out.name = name;
    if (!foldName(out.name, out.fold) || utf8Length(out.name) > kMaxValueNameChars)
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

std::string joinPath(const KeyPath& path, std::size_t from) {
    std::string text;
    for (std::size_t i = from; i < path.size(); ++i) {
        if (i > from)
            text += '\\';
        text += path[i].name;
    }
    return text;
}

} // namespace ombrix::platform::registry
