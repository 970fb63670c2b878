#pragma once
#include "platform/RegistryProvider.h"

#include <map>
#include <string>
#include <vector>

// Serves the keys it was given, by exact path relative to its mount point.
struct FakeRegistryProvider final : ombrix::platform::RegistryProvider {
    std::map<std::string, ombrix::platform::ProviderKey> keys;
    mutable int calls = 0;
    std::optional<ombrix::platform::ProviderKey> openKey(std::string_view relPath) const override {
        ++calls;
        const auto it = keys.find(std::string(relPath));
        if (it == keys.end())
            return std::nullopt;
        return it->second;
    }
    std::vector<std::string> servedKeys() const override {
        std::vector<std::string> paths;
        for (const auto& [path, key] : keys)
            paths.push_back(path);
        return paths;
    }
};
