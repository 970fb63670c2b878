#pragma once
#include "platform/Registry.h"
#include "platform/RegistryProvider.h"
#include "platform/registry/RegistryStore.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ombrix::platform::registry {

// The registry operations on Linux: handles, access checks and path rules
// in one place, the keys themselves in the store of each root key, and
// read-only providers mounted under paths. Thread-safe.
class RegistryLayer final : public Registry {
public:
    RegistryLayer();
    ~RegistryLayer() override;
    RegistryLayer(const RegistryLayer&) = delete;
    RegistryLayer& operator=(const RegistryLayer&) = delete;

    // Routes a root key to a store; a root key without a store answers 6.
    void setStore(HKEY root, std::shared_ptr<RegistryStore> store);
    // Serves the keys at and below `path` of `root` ("A\B") from a provider,
    // read-only. Returns false for a path that does not parse.
    bool mount(HKEY root, std::string path, std::shared_ptr<const RegistryProvider> provider);

    LONG RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) override;
    LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                       HKEY* phkResult) override;
    LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                          unsigned char* lpData, DWORD* lpcbData) override;
    LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, const char* lpClass,
                         DWORD dwOptions, DWORD samDesired, const void* lpSecurityAttributes,
                         HKEY* phkResult, DWORD* lpdwDisposition) override;
    LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                        const unsigned char* lpData, DWORD cbData) override;
    LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) override;
    LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) override;
    LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved,
                       char* lpClass, DWORD* lpcchClass, void* lpftLastWriteTime) override;
    LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                       DWORD* lpReserved, DWORD* lpType, unsigned char* lpData,
                       DWORD* lpcbData) override;
    LONG RegCloseKey(HKEY hKey) override;

    // How many handles are open (tests check that every open is closed).
    std::size_t openHandleCount() const;

private:
    struct Mount {
        HKEY root;
        KeyPath path;
        std::shared_ptr<const RegistryProvider> provider;
    };
    struct OpenKey {
        HKEY root = 0;
        KeyPath path;
        DWORD access = 0;
        std::optional<ProviderKey> served; // a provider's snapshot: read-only
        std::optional<std::vector<SubkeyEntry>> subkeys;
        std::uint64_t subkeysGeneration = 0;
        std::optional<std::vector<RegistryValueData>> values;
        std::uint64_t valuesGeneration = 0;
    };

    OpenKey* lookup(HKEY hKey);
    RegistryStore* storeFor(HKEY root);
    bool underMount(HKEY root, const KeyPath& path) const;
    // The levels directly below `path` that lead to a mount point or to a
    // key a provider serves.
    std::vector<std::string> leadingSubkeys(HKEY root, const KeyPath& path) const;
    // Whether `path` is a mount point or leads to one or to a served key: such
    // a key exists even where the store does not hold it, and cannot go.
    bool heldByMount(HKEY root, const KeyPath& path) const;
    // Whether the nearest existing key at or above `path` is served.
    bool nearestKeyServed(HKEY root, const KeyPath& path);
    LONG openPath(HKEY root, const KeyPath& path, OpenKey& out);
    HKEY addHandle(OpenKey key);
    // The key behind a handle, when the arguments are valid and the handle
    // grants `right`; otherwise why not, in that order.
    LONG usableKey(HKEY hKey, bool argumentsValid, DWORD right, OpenKey*& key);
    // The key a new handle is opened below; the result is cleared first.
    LONG baseKey(HKEY hKey, HKEY* phkResult, OpenKey*& base);
    // A value's data into the caller's buffer, or the size it needs.
    static LONG copyData(const RegistryValueData& value, unsigned char* lpData, DWORD* lpcbData);
    LONG subkeysOf(OpenKey& key, DWORD index);
    LONG valuesOf(OpenKey& key, DWORD index);

    mutable std::mutex m_mutex;
    std::map<HKEY, std::shared_ptr<RegistryStore>> m_stores;
    std::map<HKEY, OpenKey> m_roots;
    std::vector<Mount> m_mounts;
    std::unordered_map<HKEY, OpenKey> m_handles;
    HKEY m_nextHandle = 0;
};

} // namespace ombrix::platform::registry
