#include "platform/registry/RegistryLayer.h"

#include <algorithm>
#include <cstring>

namespace ombrix::platform::registry {

namespace {

constexpr DWORD kWriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK |
                               DELETE_ACCESS | 0x40000 /* WRITE_DAC */ | 0x80000 /* WRITE_OWNER */;
// Asks for the most access this process may have, as RegOpenKeyA does.
constexpr DWORD kMaximumAllowed = 0x02000000;
constexpr HKEY kFirstPredefined = 0x80000000u;
// Handles of open keys are multiples of 4 below the predefined keys.
constexpr HKEY kHandleStep = 4;

bool isPrefix(const KeyPath& prefix, const KeyPath& path) {
    if (prefix.size() > path.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (prefix[i].fold != path[i].fold)
            return false;
    return true;
}

KeyPath concat(const KeyPath& base, const KeyPath& sub) {
    KeyPath path = base;
    path.insert(path.end(), sub.begin(), sub.end());
    return path;
}

std::string foldOf(const std::string& name) {
    std::string fold;
    foldName(name, fold);
    return fold;
}

} // namespace

RegistryLayer::RegistryLayer() = default;
RegistryLayer::~RegistryLayer() = default;

void RegistryLayer::setStore(HKEY root, std::shared_ptr<RegistryStore> store) {
    std::lock_guard lock(m_mutex);
    m_stores[root] = std::move(store);
    m_roots[root] = OpenKey{root, {}, 0, false, std::nullopt, std::nullopt, 0, std::nullopt, 0};
}

bool RegistryLayer::mount(HKEY root, std::string path,
                          std::shared_ptr<const RegistryProvider> provider) {
    KeyPath parsed;
    if (parseKeyPath(path.c_str(), parsed) != ERROR_SUCCESS || !provider)
        return false;
    std::lock_guard lock(m_mutex);
    m_mounts.push_back({root, std::move(parsed), std::move(provider)});
    // The deepest mount answers first.
    std::stable_sort(m_mounts.begin(), m_mounts.end(),
                     [](const Mount& a, const Mount& b) { return a.path.size() > b.path.size(); });
    return true;
}

std::size_t RegistryLayer::openHandleCount() const {
    std::lock_guard lock(m_mutex);
    return m_handles.size();
}

RegistryStore* RegistryLayer::storeFor(HKEY root) {
    const auto it = m_stores.find(root);
    return it == m_stores.end() ? nullptr : it->second.get();
}

RegistryLayer::OpenKey* RegistryLayer::lookup(HKEY hKey) {
    if (const auto root = m_roots.find(hKey); root != m_roots.end()) {
        RegistryStore* store = storeFor(hKey);
        root->second.access = store && store->writable() ? KEY_ALL_ACCESS : KEY_READ;
        return &root->second;
    }
    const auto it = m_handles.find(hKey);
    return it == m_handles.end() ? nullptr : &it->second;
}

bool RegistryLayer::underMount(HKEY root, const KeyPath& path) const {
    return std::any_of(m_mounts.begin(), m_mounts.end(),
                       [&](const Mount& m) { return m.root == root && isPrefix(m.path, path); });
}

LONG RegistryLayer::openPath(HKEY root, const KeyPath& path, OpenKey& out) {
    out = OpenKey{};
    out.root = root;
    out.path = path;
    for (const Mount& m : m_mounts) {
        if (m.root != root || !isPrefix(m.path, path))
            continue;
        std::optional<ProviderKey> served;
        try {
            served = m.provider->openKey(joinPath(path, m.path.size()));
        } catch (...) {
            // A provider that fails serves nothing; the store answers.
        }
        if (served) {
            out.fixed = std::move(served);
            out.readOnly = true;
            return ERROR_SUCCESS;
        }
    }
    RegistryStore* store = storeFor(root);
    if (!store)
        return ERROR_INVALID_HANDLE;
    const LONG status = store->keyExists(path);
    if (status == ERROR_SUCCESS) {
        out.readOnly = underMount(root, path);
        return ERROR_SUCCESS;
    }
    if (status != ERROR_FILE_NOT_FOUND)
        return status;
    // A key on the way to a mount point exists even when the store lacks it.
    ProviderKey onTheWay;
    for (const Mount& m : m_mounts) {
        if (m.root == root && m.path.size() > path.size() && isPrefix(path, m.path)) {
            const KeyName& next = m.path[path.size()];
            if (std::none_of(onTheWay.subkeys.begin(), onTheWay.subkeys.end(),
                             [&](const std::string& s) { return foldOf(s) == next.fold; }))
                onTheWay.subkeys.push_back(next.name);
        }
    }
    if (onTheWay.subkeys.empty())
        return ERROR_FILE_NOT_FOUND;
    std::sort(onTheWay.subkeys.begin(), onTheWay.subkeys.end(),
              [](const std::string& a, const std::string& b) { return foldOf(a) < foldOf(b); });
    out.fixed = std::move(onTheWay);
    out.readOnly = true;
    return ERROR_SUCCESS;
}

HKEY RegistryLayer::addHandle(OpenKey key) {
    do {
        m_nextHandle += kHandleStep;
        if (m_nextHandle == 0 || m_nextHandle >= kFirstPredefined)
            m_nextHandle = kHandleStep;
    } while (m_handles.count(m_nextHandle) != 0);
    m_handles.emplace(m_nextHandle, std::move(key));
    return m_nextHandle;
}

LONG RegistryLayer::RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
    return RegOpenKeyExA(hKey, lpSubKey, 0, kMaximumAllowed, phkResult);
}

LONG RegistryLayer::RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions,
                                  DWORD samDesired, HKEY* phkResult) {
    std::lock_guard lock(m_mutex);
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    *phkResult = 0;
    OpenKey* base = lookup(hKey);
    if (!base)
        return ERROR_INVALID_HANDLE;
    KeyPath sub;
    if (ulOptions != 0 || parseKeyPath(lpSubKey, sub) != ERROR_SUCCESS)
        return ERROR_INVALID_PARAMETER;
    OpenKey key;
    const LONG status = openPath(base->root, concat(base->path, sub), key);
    if (status != ERROR_SUCCESS)
        return status;
    RegistryStore* store = storeFor(key.root);
    const bool readOnly = key.readOnly || !store || !store->writable();
    if (samDesired & kMaximumAllowed)
        samDesired = readOnly ? KEY_READ : KEY_ALL_ACCESS;
    else if ((samDesired & kWriteAccess) && readOnly)
        return ERROR_ACCESS_DENIED;
    key.access = samDesired;
    *phkResult = addHandle(std::move(key));
    return ERROR_SUCCESS;
}

LONG RegistryLayer::RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved,
                                     DWORD* lpType, unsigned char* lpData, DWORD* lpcbData) {
    std::lock_guard lock(m_mutex);
    OpenKey* key = lookup(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    KeyName name;
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr) ||
        parseValueName(lpValueName, name) != ERROR_SUCCESS)
        return ERROR_INVALID_PARAMETER;
    if (!(key->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    RegistryValueData value;
    if (key->fixed) {
        const auto& values = key->fixed->values;
        const auto it = std::find_if(values.begin(), values.end(),
                                     [&](const auto& v) { return foldOf(v.name) == name.fold; });
        if (it == values.end())
            return ERROR_FILE_NOT_FOUND;
        value = *it;
    } else if (const LONG status = storeFor(key->root)->queryValue(key->path, name, value);
               status != ERROR_SUCCESS) {
        return status;
    }
    if (lpType)
        *lpType = value.type;
    if (lpData && value.data.size() > *lpcbData) {
        *lpcbData = static_cast<DWORD>(value.data.size());
        return ERROR_MORE_DATA;
    }
    if (lpData && !value.data.empty())
        std::memcpy(lpData, value.data.data(), value.data.size());
    if (lpcbData)
        *lpcbData = static_cast<DWORD>(value.data.size());
    return ERROR_SUCCESS;
}

LONG RegistryLayer::RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved,
                                    const char* lpClass, DWORD dwOptions, DWORD samDesired,
                                    const void* /*lpSecurityAttributes*/, HKEY* phkResult,
                                    DWORD* lpdwDisposition) {
    std::lock_guard lock(m_mutex);
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    *phkResult = 0;
    OpenKey* base = lookup(hKey);
    if (!base)
        return ERROR_INVALID_HANDLE;
    KeyPath sub;
    std::string className = lpClass ? lpClass : "";
    std::string classFold;
    if (lpSubKey == nullptr || Reserved != 0 || dwOptions != REG_OPTION_NON_VOLATILE ||
        parseKeyPath(lpSubKey, sub) != ERROR_SUCCESS || !foldName(className, classFold) ||
        utf8Length(className) > kMaxValueNameChars)
        return ERROR_INVALID_PARAMETER;
    const HKEY root = base->root;
    const KeyPath path = concat(base->path, sub);
    RegistryStore* store = storeFor(root);
    if (!store)
        return ERROR_INVALID_HANDLE;
    OpenKey key;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    LONG status = openPath(root, path, key);
    if (status == ERROR_SUCCESS) {
        if ((samDesired & kWriteAccess) && (key.readOnly || !store->writable()))
            return ERROR_ACCESS_DENIED;
    } else if (status == ERROR_FILE_NOT_FOUND) {
        if (!(base->access & KEY_CREATE_SUB_KEY) || underMount(root, path) || !store->writable())
            return ERROR_ACCESS_DENIED;
        bool created = false;
        status = store->createKey(path, className, created);
        if (status != ERROR_SUCCESS)
            return status;
        disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        key = OpenKey{};
        key.root = root;
        key.path = path;
    } else {
        return status;
    }
    key.access = samDesired;
    *phkResult = addHandle(std::move(key));
    if (lpdwDisposition)
        *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

LONG RegistryLayer::RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                                   const unsigned char* lpData, DWORD cbData) {
    std::lock_guard lock(m_mutex);
    OpenKey* key = lookup(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    KeyName name;
    if (Reserved != 0 || (lpData == nullptr && cbData != 0) || cbData > kMaxValueBytes ||
        parseValueName(lpValueName, name) != ERROR_SUCCESS)
        return ERROR_INVALID_PARAMETER;
    if (!(key->access & KEY_SET_VALUE) || key->readOnly || key->fixed)
        return ERROR_ACCESS_DENIED;
    return storeFor(key->root)->setValue(key->path, name, dwType, lpData, cbData);
}

LONG RegistryLayer::RegDeleteValueA(HKEY hKey, const char* lpValueName) {
    std::lock_guard lock(m_mutex);
    OpenKey* key = lookup(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    KeyName name;
    if (parseValueName(lpValueName, name) != ERROR_SUCCESS)
        return ERROR_INVALID_PARAMETER;
    if (!(key->access & KEY_SET_VALUE) || key->readOnly || key->fixed)
        return ERROR_ACCESS_DENIED;
    return storeFor(key->root)->deleteValue(key->path, name);
}

LONG RegistryLayer::RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
    std::lock_guard lock(m_mutex);
    OpenKey* key = lookup(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    // An empty name would name the key itself: a subkey must be named.
    KeyPath sub;
    if (lpSubKey == nullptr || *lpSubKey == '\0' || parseKeyPath(lpSubKey, sub) != ERROR_SUCCESS)
        return ERROR_INVALID_PARAMETER;
    if (!(key->access & (DELETE_ACCESS | KEY_CREATE_SUB_KEY)) || key->fixed)
        return ERROR_ACCESS_DENIED;
    const KeyPath path = concat(key->path, sub);
    OpenKey target;
    if (const LONG status = openPath(key->root, path, target); status != ERROR_SUCCESS)
        return status;
    // The live view and the keys on the way to it cannot go.
    if (target.readOnly || target.fixed ||
        std::any_of(m_mounts.begin(), m_mounts.end(),
                    [&](const Mount& m) { return m.root == key->root && isPrefix(path, m.path); }))
        return ERROR_ACCESS_DENIED;
    return storeFor(key->root)->deleteKey(path);
}

LONG RegistryLayer::subkeysOf(OpenKey& key, DWORD index) {
    if (key.fixed) {
        if (!key.subkeys) {
            key.subkeys.emplace();
            for (const std::string& name : key.fixed->subkeys)
                key.subkeys->push_back({name, {}});
        }
        return ERROR_SUCCESS;
    }
    // An enumeration sees the key as it was at index 0, unless this process
    // changed the store since.
    RegistryStore* store = storeFor(key.root);
    const std::uint64_t generation = store->generation();
    if (key.subkeys && index != 0 && generation == key.subkeysGeneration)
        return ERROR_SUCCESS;
    std::vector<SubkeyEntry> list;
    if (const LONG status = store->listSubkeys(key.path, list); status != ERROR_SUCCESS)
        return status;
    // Keys on the way to a mount point show beside the stored ones.
    bool added = false;
    for (const Mount& m : m_mounts) {
        if (m.root != key.root || m.path.size() <= key.path.size() || !isPrefix(key.path, m.path))
            continue;
        const KeyName& next = m.path[key.path.size()];
        if (std::none_of(list.begin(), list.end(),
                         [&](const SubkeyEntry& e) { return foldOf(e.name) == next.fold; })) {
            list.push_back({next.name, {}});
            added = true;
        }
    }
    if (added)
        std::sort(list.begin(), list.end(), [](const SubkeyEntry& a, const SubkeyEntry& b) {
            return foldOf(a.name) < foldOf(b.name);
        });
    key.subkeys = std::move(list);
    key.subkeysGeneration = generation;
    return ERROR_SUCCESS;
}

LONG RegistryLayer::valuesOf(OpenKey& key, DWORD index) {
    if (key.fixed) {
        if (!key.values)
            key.values = key.fixed->values;
        return ERROR_SUCCESS;
    }
    RegistryStore* store = storeFor(key.root);
    const std::uint64_t generation = store->generation();
    if (key.values && index != 0 && generation == key.valuesGeneration)
        return ERROR_SUCCESS;
    std::vector<RegistryValueData> list;
    if (const LONG status = store->listValues(key.path, list); status != ERROR_SUCCESS)
        return status;
    key.values = std::move(list);
    key.valuesGeneration = generation;
    return ERROR_SUCCESS;
}

LONG RegistryLayer::RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName,
                                  DWORD* lpReserved, char* lpClass, DWORD* lpcchClass,
                                  void* lpftLastWriteTime) {
    std::lock_guard lock(m_mutex);
    OpenKey* key = lookup(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr ||
        (lpClass != nullptr && lpcchClass == nullptr))
        return ERROR_INVALID_PARAMETER;
    if (!(key->access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    if (const LONG status = subkeysOf(*key, dwIndex); status != ERROR_SUCCESS)
        return status;
    if (dwIndex >= key->subkeys->size())
        return ERROR_NO_MORE_ITEMS;
    const SubkeyEntry& entry = (*key->subkeys)[dwIndex];
    if (entry.name.size() >= *lpcchName ||
        (lpClass != nullptr && entry.className.size() >= *lpcchClass))
        return ERROR_MORE_DATA;
    std::memcpy(lpName, entry.name.c_str(), entry.name.size() + 1);
    *lpcchName = static_cast<DWORD>(entry.name.size());
    if (lpClass)
        std::memcpy(lpClass, entry.className.c_str(), entry.className.size() + 1);
    if (lpcchClass)
        *lpcchClass = static_cast<DWORD>(entry.className.size());
    if (lpftLastWriteTime) // not kept: reported as unknown
        std::memset(lpftLastWriteTime, 0, 8);
    return ERROR_SUCCESS;
}

LONG RegistryLayer::RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName,
                                  DWORD* lpcchValueName, DWORD* lpReserved, DWORD* lpType,
                                  unsigned char* lpData, DWORD* lpcbData) {
    std::lock_guard lock(m_mutex);
    OpenKey* key = lookup(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
        (lpData != nullptr && lpcbData == nullptr))
        return ERROR_INVALID_PARAMETER;
    if (!(key->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (const LONG status = valuesOf(*key, dwIndex); status != ERROR_SUCCESS)
        return status;
    if (dwIndex >= key->values->size())
        return ERROR_NO_MORE_ITEMS;
    const RegistryValueData& value = (*key->values)[dwIndex];
    if (value.name.size() >= *lpcchValueName)
        return ERROR_MORE_DATA;
    if (lpData && value.data.size() > *lpcbData) {
        *lpcbData = static_cast<DWORD>(value.data.size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    if (lpType)
        *lpType = value.type;
    if (lpData && !value.data.empty())
        std::memcpy(lpData, value.data.data(), value.data.size());
    if (lpcbData)
        *lpcbData = static_cast<DWORD>(value.data.size());
    return ERROR_SUCCESS;
}

LONG RegistryLayer::RegCloseKey(HKEY hKey) {
    std::lock_guard lock(m_mutex);
    if (m_roots.count(hKey) != 0)
        return ERROR_SUCCESS;
    return m_handles.erase(hKey) != 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace ombrix::platform::registry
