#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix::platform {

struct RegistryValueData {
    std::string name;
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
};

// One key as a provider serves it: a snapshot taken when the key is opened.
struct ProviderKey {
    std::vector<std::string> subkeys;      // in the order they enumerate
    std::vector<RegistryValueData> values; // in the order they enumerate
};

// A read-only subtree mounted under a path of a root key, read from live
// data. Keys it does not serve fall through to the store behind it.
class RegistryProvider {
public:
    virtual ~RegistryProvider() = default;
    // relPath is relative to the mount point ("" for the mount point itself),
    // levels separated by '\\', compared case-insensitively.
    virtual std::optional<ProviderKey> openKey(std::string_view relPath) const = 0;
};

} // namespace ombrix::platform
