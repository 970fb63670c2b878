#include "platform/registry/RegistryLayer.h"

#include <algorithm>
#include <cstring>
#include <set>

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
    OpenKey key;
    key.root = root;
    m_roots[root] = std::move(key);
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

std::vector<std::string> RegistryLayer::leadingSubkeys(HKEY root, const KeyPath& path) const {
    std::vector<std::string> names;
    std::set<std::string> seen;
    const auto add = [&](const KeyName& level) {
        if (seen.insert(level.fold).second)
            names.push_back(level.name);
    };
    for (const Mount& m : m_mounts) {
        if (m.root != root)
            continue;
        if (m.path.size() > path.size()) {
            if (isPrefix(path, m.path))
                add(m.path[path.size()]);
            continue;
        }
        if (!isPrefix(m.path, path))
            continue;
        std::vector<std::string> served;
        try {
            served = m.provider->servedKeys();
        } catch (...) {
            // A provider that fails serves nothing.
        }
        const std::size_t depth = path.size() - m.path.size();
        for (const std::string& text : served) {
            KeyPath rel;
            if (parseKeyPath(text.c_str(), rel) != ERROR_SUCCESS || rel.size() <= depth ||
                !std::equal(path.begin() + static_cast<std::ptrdiff_t>(m.path.size()), path.end(),
                            rel.begin(),
                            [](const KeyName& a, const KeyName& b) { return a.fold == b.fold; }))
                continue;
            add(rel[depth]);
        }
    }
    return names;
}

bool RegistryLayer::heldByMount(HKEY root, const KeyPath& path) const {
    return std::any_of(m_mounts.begin(), m_mounts.end(),
                       [&](const Mount& m) { return m.root == root && isPrefix(path, m.path); }) ||
           !leadingSubkeys(root, path).empty();
}

bool RegistryLayer::nearestKeyServed(HKEY root, const KeyPath& path) {
    if (path.empty() || !underMount(root, path))
        return false;
    for (std::size_t n = path.size(); n-- > 0;) {
        OpenKey above;
        const LONG status = openPath(
            root, KeyPath(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(n)), above);
        if (status == ERROR_SUCCESS)
            return above.served.has_value();
        if (status != ERROR_FILE_NOT_FOUND)
            return false;
    }
    return false;
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
            out.served = std::move(served);
            return ERROR_SUCCESS;
        }
    }
    RegistryStore* store = storeFor(root);
    if (!store)
        return ERROR_INVALID_HANDLE;
    const LONG status = store->keyExists(path);
    // Mount points and the keys on the way to served keys exist even when
    // the store lacks them, or cannot be read, so that the served keys stay
    // in reach by every path; they are ordinary keys otherwise.
    if (status != ERROR_SUCCESS && heldByMount(root, path))
        return ERROR_SUCCESS;
    return status;
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

LONG RegistryLayer::usableKey(HKEY hKey, bool argumentsValid, DWORD right, OpenKey*& key) {
    key = lookup(hKey);
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (!argumentsValid)
        return ERROR_INVALID_PARAMETER;
    // A provider's snapshot is read-only whatever the handle grants.
    if (!(key->access & right) || ((right & KEY_SET_VALUE) && key->served))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

LONG RegistryLayer::baseKey(HKEY hKey, HKEY* phkResult, OpenKey*& base) {
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    *phkResult = 0;
    base = lookup(hKey);
    return base ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegistryLayer::copyData(const RegistryValueData& value, unsigned char* lpData,
                             DWORD* lpcbData) {
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

LONG RegistryLayer::RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
    return RegOpenKeyExA(hKey, lpSubKey, 0, kMaximumAllowed, phkResult);
}

LONG RegistryLayer::RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions,
                                  DWORD samDesired, HKEY* phkResult) {
    std::lock_guard lock(m_mutex);
    OpenKey* base = nullptr;
    if (const LONG status = baseKey(hKey, phkResult, base); status != ERROR_SUCCESS)
        return status;
    KeyPath sub;
    if (ulOptions != 0 || parseKeyPath(lpSubKey, sub) != ERROR_SUCCESS)
        return ERROR_INVALID_PARAMETER;
    OpenKey key;
    const LONG status = openPath(base->root, concat(base->path, sub), key);
    if (status != ERROR_SUCCESS)
        return status;
    RegistryStore* store = storeFor(key.root);
    const bool readOnly = key.served || !store || !store->writable();
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
    KeyName name;
    const bool valid = lpReserved == nullptr && (lpData == nullptr || lpcbData != nullptr) &&
                       parseValueName(lpValueName, name) == ERROR_SUCCESS;
    OpenKey* key = nullptr;
    if (const LONG status = usableKey(hKey, valid, KEY_QUERY_VALUE, key); status != ERROR_SUCCESS)
        return status;
    RegistryValueData value;
    if (key->served) {
        const auto& values = key->served->values;
        const auto it = std::find_if(values.begin(), values.end(),
                                     [&](const auto& v) { return foldOf(v.name) == name.fold; });
        if (it == values.end())
            return ERROR_FILE_NOT_FOUND;
        value = *it;
    } else {
        LONG status = storeFor(key->root)->queryValue(key->path, name, value);
        if (status == ERROR_KEY_DELETED && heldByMount(key->root, key->path))
            status = ERROR_FILE_NOT_FOUND;
        if (status != ERROR_SUCCESS)
            return status;
    }
    if (lpType)
        *lpType = value.type;
    return copyData(value, lpData, lpcbData);
}

LONG RegistryLayer::RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved,
                                    const char* lpClass, DWORD dwOptions, DWORD samDesired,
                                    const void* /*lpSecurityAttributes*/, HKEY* phkResult,
                                    DWORD* lpdwDisposition) {
    std::lock_guard lock(m_mutex);
    OpenKey* base = nullptr;
    if (const LONG status = baseKey(hKey, phkResult, base); status != ERROR_SUCCESS)
        return status;
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
        if ((samDesired & kWriteAccess) && (key.served || !store->writable()))
            return ERROR_ACCESS_DENIED;
    } else if (status == ERROR_FILE_NOT_FOUND) {
        // A served key's subkeys are the provider's facts (the adapter list,
        // say): a stored key made there would read as one of them, so none
        // is made directly below a served key.
        if (!(base->access & KEY_CREATE_SUB_KEY) || !store->writable() ||
            nearestKeyServed(root, path))
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
    KeyName name;
    const bool valid = Reserved == 0 && (lpData != nullptr || cbData == 0) &&
                       cbData <= kMaxValueBytes &&
                       parseValueName(lpValueName, name) == ERROR_SUCCESS;
    OpenKey* key = nullptr;
    if (const LONG status = usableKey(hKey, valid, KEY_SET_VALUE, key); status != ERROR_SUCCESS)
        return status;
    RegistryStore* store = storeFor(key->root);
    LONG status = store->setValue(key->path, name, dwType, lpData, cbData);
    if (status == ERROR_KEY_DELETED && heldByMount(key->root, key->path)) {
        // A key on the way to a mount the store does not hold yet.
        bool created = false;
        status = store->createKey(key->path, {}, created);
        if (status == ERROR_SUCCESS)
            status = store->setValue(key->path, name, dwType, lpData, cbData);
    }
    return status;
}

LONG RegistryLayer::RegDeleteValueA(HKEY hKey, const char* lpValueName) {
    std::lock_guard lock(m_mutex);
    KeyName name;
    const bool valid = parseValueName(lpValueName, name) == ERROR_SUCCESS;
    OpenKey* key = nullptr;
    if (const LONG status = usableKey(hKey, valid, KEY_SET_VALUE, key); status != ERROR_SUCCESS)
        return status;
    // A key on the way to a mount the store does not hold has no values; the
    // store is not touched (a store file is made by writes only).
    RegistryStore* store = storeFor(key->root);
    if (heldByMount(key->root, key->path) && store->keyExists(key->path) == ERROR_FILE_NOT_FOUND)
        return ERROR_FILE_NOT_FOUND;
    return store->deleteValue(key->path, name);
}

LONG RegistryLayer::RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
    std::lock_guard lock(m_mutex);
    // An empty name would name the key itself: a subkey must be named.
    KeyPath sub;
    const bool valid =
        lpSubKey != nullptr && *lpSubKey != '\0' && parseKeyPath(lpSubKey, sub) == ERROR_SUCCESS;
    OpenKey* key = nullptr;
    if (const LONG status = usableKey(hKey, valid, DELETE_ACCESS | KEY_CREATE_SUB_KEY, key);
        status != ERROR_SUCCESS)
        return status;
    const KeyPath path = concat(key->path, sub);
    OpenKey target;
    if (const LONG status = openPath(key->root, path, target); status != ERROR_SUCCESS)
        return status;
    // Served keys, mount points and the keys on the way to served keys stay
    // (those have subkeys).
    if (target.served || heldByMount(key->root, path))
        return ERROR_ACCESS_DENIED;
    return storeFor(key->root)->deleteKey(path);
}

LONG RegistryLayer::subkeysOf(OpenKey& key, DWORD index) {
    // An enumeration sees the key as it was at index 0, unless the store
    // changed since, by this process or another.
    RegistryStore* store = storeFor(key.root);
    const std::uint64_t generation = store->generation();
    if (key.subkeys && index != 0 && generation == key.subkeysGeneration)
        return ERROR_SUCCESS;
    std::vector<SubkeyEntry> stored;
    std::vector<std::string> leading = leadingSubkeys(key.root, key.path);
    LONG status = store->listSubkeys(key.path, stored);
    // A served key lists the provider's facts whatever state the store is
    // in; where the store holds keys of its own, its failure is the answer.
    if ((status == ERROR_KEY_DELETED &&
         (key.served || !leading.empty() || heldByMount(key.root, key.path))) ||
        (status != ERROR_SUCCESS && key.served)) {
        stored.clear();
        status = ERROR_SUCCESS;
    }
    if (status != ERROR_SUCCESS)
        return status;
    if (!key.served && leading.empty()) {
        key.subkeys = std::move(stored);
    } else {
        // A served key's own subkeys come first, in the provider's order;
        // the store's and the keys leading to served keys follow, merged.
        std::vector<SubkeyEntry> list;
        std::set<std::string> seen;
        if (key.served)
            for (const std::string& name : key.served->subkeys)
                if (seen.insert(foldOf(name)).second)
                    list.push_back({name, {}});
        const auto merged = static_cast<std::ptrdiff_t>(list.size());
        for (SubkeyEntry& entry : stored)
            if (seen.insert(foldOf(entry.name)).second)
                list.push_back(std::move(entry));
        for (std::string& name : leading)
            if (seen.insert(foldOf(name)).second)
                list.push_back({std::move(name), {}});
        std::stable_sort(list.begin() + merged, list.end(),
                         [](const SubkeyEntry& a, const SubkeyEntry& b) {
                             return foldOf(a.name) < foldOf(b.name);
                         });
        key.subkeys = std::move(list);
    }
    key.subkeysGeneration = generation;
    return ERROR_SUCCESS;
}

LONG RegistryLayer::valuesOf(OpenKey& key, DWORD index) {
    if (key.served) {
        if (!key.values)
            key.values = key.served->values;
        return ERROR_SUCCESS;
    }
    RegistryStore* store = storeFor(key.root);
    const std::uint64_t generation = store->generation();
    if (key.values && index != 0 && generation == key.valuesGeneration)
        return ERROR_SUCCESS;
    std::vector<RegistryValueData> list;
    LONG status = store->listValues(key.path, list);
    if (status == ERROR_KEY_DELETED && heldByMount(key.root, key.path)) {
        list.clear();
        status = ERROR_SUCCESS;
    }
    if (status != ERROR_SUCCESS)
        return status;
    key.values = std::move(list);
    key.valuesGeneration = generation;
    return ERROR_SUCCESS;
}

LONG RegistryLayer::RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName,
                                  DWORD* lpReserved, char* lpClass, DWORD* lpcchClass,
                                  void* lpftLastWriteTime) {
    std::lock_guard lock(m_mutex);
    OpenKey* key = nullptr;
    const bool valid = lpName != nullptr && lpcchName != nullptr && lpReserved == nullptr &&
                       (lpClass == nullptr || lpcchClass != nullptr);
    if (const LONG status = usableKey(hKey, valid, KEY_ENUMERATE_SUB_KEYS, key);
        status != ERROR_SUCCESS)
        return status;
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
    OpenKey* key = nullptr;
    const bool valid = lpValueName != nullptr && lpcchValueName != nullptr &&
                       lpReserved == nullptr && (lpData == nullptr || lpcbData != nullptr);
    if (const LONG status = usableKey(hKey, valid, KEY_QUERY_VALUE, key); status != ERROR_SUCCESS)
        return status;
    if (const LONG status = valuesOf(*key, dwIndex); status != ERROR_SUCCESS)
        return status;
    if (dwIndex >= key->values->size())
        return ERROR_NO_MORE_ITEMS;
    const RegistryValueData& value = (*key->values)[dwIndex];
    if (value.name.size() >= *lpcchValueName)
        return ERROR_MORE_DATA;
    if (const LONG status = copyData(value, lpData, lpcbData); status != ERROR_SUCCESS)
        return status;
    std::memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    if (lpType)
        *lpType = value.type;
    return ERROR_SUCCESS;
}

LONG RegistryLayer::RegCloseKey(HKEY hKey) {
    std::lock_guard lock(m_mutex);
    if (m_roots.count(hKey) != 0)
        return ERROR_SUCCESS;
    return m_handles.erase(hKey) != 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace ombrix::platform::registry
