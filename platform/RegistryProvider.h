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

// Keys read from live data, mounted under a path of a root key. The keys it
// serves are read-only; every other key under the mount point is an ordinary
// key of the store behind it.
class RegistryProvider {
public:
    virtual ~RegistryProvider() = default;
    // relPath is relative to the mount point ("" for the mount point itself),
    // levels separated by '\\', compared case-insensitively.
    virtual std::optional<ProviderKey> openKey(std::string_view relPath) const = 0;
    // The paths of the keys it serves now, relative to the mount point. The
    // keys on the way to them exist, and list them, even where the store
    // holds nothing; a provider that lists none is reached by name only.
    virtual std::vector<std::string> servedKeys() const { return {}; }
};

} // namespace ombrix::platform
