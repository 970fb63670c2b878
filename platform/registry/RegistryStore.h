#pragma once
#include "platform/Registry.h"
#include "platform/RegistryProvider.h"
#include "platform/registry/RegistryNames.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ombrix::platform::registry {

struct SubkeyEntry {
    std::string name;
    std::string className;
};

// What holds the keys of one root key. Paths are relative to the root; the
// empty path is the root itself, which always exists. Every call answers
// with a status of the registry: 0, 2 (not found), 5 (not allowed),
// 87 (bad argument) or ERROR_REGISTRY_CORRUPT / ERROR_REGISTRY_IO_FAILED.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;

    // Whether this process may change the store at all.
    virtual bool writable() = 0;
    virtual LONG keyExists(const KeyPath& path) = 0;
    // Creates every missing level; the class text goes to the last level,
    // when that one is new.
    virtual LONG createKey(const KeyPath& path, const std::string& className, bool& created) = 0;
    // Fails with 5 when the key has subkeys.
    virtual LONG deleteKey(const KeyPath& path) = 0;
    virtual LONG queryValue(const KeyPath& path, const KeyName& name, RegistryValueData& out) = 0;
    // A new value goes after the others; a replaced one keeps its place and
    // the case of its name.
    virtual LONG setValue(const KeyPath& path, const KeyName& name, DWORD type,
                          const unsigned char* data, std::size_t size) = 0;
    virtual LONG deleteValue(const KeyPath& path, const KeyName& name) = 0;
    // Direct subkeys in case-insensitive name order.
    virtual LONG listSubkeys(const KeyPath& path, std::vector<SubkeyEntry>& out) = 0;
    // Values in the order they were created.
    virtual LONG listValues(const KeyPath& path, std::vector<RegistryValueData>& out) = 0;
    // Changes whenever the store's content may have changed, by this process
    // or another; enumerations take a fresh snapshot when it does.
    virtual std::uint64_t generation() = 0;
};

} // namespace ombrix::platform::registry
