#pragma once
#include <string>
#include <string_view>

namespace ombrix::platform {

// A registry key name is valid UTF-8 without "\", and keys are told apart
// without regard to case. The live views name a key after something of the
// system (a network interface) whose name may be any bytes, so a name that
// cannot be a key name as it stands is given in an escaped form: some of its
// bytes are written "%" and two hexadecimal digits. Every other name is the
// key name unchanged.
//
// A key name holding "%" and two hexadecimal digits is an escaped one, and
// then every "%" of the name is escaped; so a name that holds such a
// sequence of its own is escaped too, and reading a key name back is never
// ambiguous.

inline bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether a key name holds "%" followed by two hexadecimal digits.
inline bool holdsEscapes(std::string_view keyName) {
    for (std::size_t i = 0; i + 2 < keyName.size(); ++i) {
        if (keyName[i] == '%' && isHexDigit(keyName[i + 1]) && isHexDigit(keyName[i + 2]))
            return true;
    }
    return false;
}

// The bytes of the name a key name stands for.
inline std::string unescapedKeyName(std::string_view keyName) {
    if (!holdsEscapes(keyName))
        return std::string(keyName);
    const auto digit = [](char c) {
        return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; // either case
    };
    std::string name;
    name.reserve(keyName.size());
    for (std::size_t i = 0; i < keyName.size(); ++i) {
        if (keyName[i] == '%' && i + 2 < keyName.size() && isHexDigit(keyName[i + 1]) &&
            isHexDigit(keyName[i + 2])) {
            name += static_cast<char>(digit(keyName[i + 1]) * 16 + digit(keyName[i + 2]));
            i += 2;
        } else {
            name += keyName[i];
        }
    }
    return name;
}

} // namespace ombrix::platform
