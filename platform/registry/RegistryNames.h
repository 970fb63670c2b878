#pragma once
#include "platform/Registry.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix::platform::registry {

// The longest name of one key level, and of a value, in characters.
inline constexpr std::size_t kMaxKeyNameChars = 255;
inline constexpr std::size_t kMaxValueNameChars = 16383;
inline constexpr std::size_t kMaxKeyDepth = 512;
// The most data one value may hold; a megabyte fits.
inline constexpr std::size_t kMaxValueBytes = 1024 * 1024;

// A name as it was given, and the form it is compared by.
struct KeyName {
    std::string name;
    std::string fold;
};
using KeyPath = std::vector<KeyName>;

// The comparison form of a name: each character upper-cased on its own, as
// the registry compares names. Empty when the text is not valid UTF-8.
bool foldName(std::string_view name, std::string& fold);

// Counts the characters of valid UTF-8 text.
std::size_t utf8Length(std::string_view text);

// The length of the UTF-8 character at text[at]; 0 when the bytes there are
// not a valid one.
std::size_t utf8CharLength(std::string_view text, std::size_t at);

// Splits "A\B\C" into levels. Empty levels (a leading, trailing or doubled
// "\"), invalid UTF-8 and over-long names give ERROR_INVALID_PARAMETER.
// A null or empty path is the key itself: no levels.
LONG parseKeyPath(const char* path, KeyPath& out);

// A value name (null is the unnamed default value).
LONG parseValueName(const char* name, KeyName& out);

std::string joinPath(const KeyPath& path, std::size_t from = 0);

} // namespace ombrix::platform::registry
