#include "platform/common/NetworkKeys.h"

#include "platform/EscapedKeyName.h"
#include "platform/registry/RegistryNames.h"

#include <cctype>
#include <set>

namespace ombrix::platform {
namespace {

// The key name of an interface name, its bytes escaped where they cannot
// stand in a key name. Strict: every byte but ASCII digits and punctuation,
// so that the key name has no case to lose.
std::string escapedKeyName(std::string_view name, bool strict) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string key;
    for (std::size_t i = 0; i < name.size();) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const std::size_t length = registry::utf8CharLength(name, i);
        if (length > 0 && byte != '\\' && byte != '%' &&
            !(strict && (byte >= 0x80 || std::isalpha(byte)))) {
            key.append(name.substr(i, length));
            i += length;
        } else {
            key += '%';
            key += kDigits[byte >> 4];
            key += kDigits[byte & 0xF];
            ++i;
        }
    }
    return key;
}

} // namespace

std::vector<std::string> adapterKeyNames(const std::vector<std::string>& names) {
    std::vector<std::string> keys;
    std::set<std::string> taken; // as key names are compared
    for (const std::string& name : names) {
        std::string fold;
        std::string key = name;
        if (name.empty() || name.find('\\') != std::string::npos || holdsEscapes(name) ||
            !registry::foldName(name, fold))
            key = escapedKeyName(name, false);
        registry::foldName(key, fold);
        // Names that differ in case only would be one key: the later one is
        // escaped strictly, and such a name is its own comparison form.
        if (!taken.insert(fold).second) {
            key = escapedKeyName(name, true);
            taken.insert(key);
        }
        keys.push_back(std::move(key));
    }
    return keys;
}

} // namespace ombrix::platform
