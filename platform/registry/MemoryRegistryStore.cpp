#include "platform/registry/MemoryRegistryStore.h"

#include <algorithm>

namespace ombrix::platform::registry {

struct MemoryRegistryStore::Node {
    std::string name;
    std::string className;
    std::map<std::string, std::unique_ptr<Node>> children; // by folded name: enumeration order
    std::vector<std::pair<std::string, RegistryValueData>> values; // folded name, value

    auto findValue(const std::string& fold) {
        return std::find_if(values.begin(), values.end(),
                            [&](const auto& v) { return v.first == fold; });
    }
};

MemoryRegistryStore::MemoryRegistryStore(bool writable)
    : m_writable(writable), m_root(std::make_unique<Node>()) {}

MemoryRegistryStore::~MemoryRegistryStore() = default;

MemoryRegistryStore::Node* MemoryRegistryStore::find(const KeyPath& path) {
    Node* node = m_root.get();
    for (const KeyName& level : path) {
        const auto it = node->children.find(level.fold);
        if (it == node->children.end())
            return nullptr;
        node = it->second.get();
    }
    return node;
}

LONG MemoryRegistryStore::keyExists(const KeyPath& path) {
    std::lock_guard lock(m_mutex);
    return find(path) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG MemoryRegistryStore::createKey(const KeyPath& path, const std::string& className,
                                    bool& created) {
    std::lock_guard lock(m_mutex);
    created = false;
    if (!m_writable)
        return ERROR_ACCESS_DENIED;
    Node* node = m_root.get();
    for (const KeyName& level : path) {
        auto& child = node->children[level.fold];
        if (!child) {
            child = std::make_unique<Node>();
            child->name = level.name;
            created = true;
            if (&level == &path.back())
                child->className = className;
        }
        node = child.get();
    }
    if (created)
        ++m_generation;
    return ERROR_SUCCESS;
}

LONG MemoryRegistryStore::deleteKey(const KeyPath& path) {
    std::lock_guard lock(m_mutex);
    if (!m_writable || path.empty())
        return ERROR_ACCESS_DENIED;
    Node* parent = find(KeyPath(path.begin(), path.end() - 1));
    if (!parent)
        return ERROR_FILE_NOT_FOUND;
    const auto it = parent->children.find(path.back().fold);
    if (it == parent->children.end())
        return ERROR_FILE_NOT_FOUND;
    if (!it->second->children.empty())
        return ERROR_ACCESS_DENIED;
    parent->children.erase(it);
    ++m_generation;
    return ERROR_SUCCESS;
}

// Runs body with the key's node under the lock; a key that is not there
// was deleted under its handle.
template <class Body> LONG MemoryRegistryStore::withKey(const KeyPath& path, Body body) {
    std::lock_guard lock(m_mutex);
    Node* node = find(path);
    return node ? body(*node) : ERROR_KEY_DELETED;
}

// As withKey for a change: refused in a read-only store, and a change made
// moves the generation on.
template <class Body> LONG MemoryRegistryStore::changeKey(const KeyPath& path, Body body) {
    if (!m_writable)
        return ERROR_ACCESS_DENIED;
    return withKey(path, [&](Node& node) {
        const LONG status = body(node);
        m_generation += status == ERROR_SUCCESS;
        return status;
    });
}

LONG MemoryRegistryStore::queryValue(const KeyPath& path, const KeyName& name,
                                     RegistryValueData& out) {
    return withKey(path, [&](Node& node) {
        const auto it = node.findValue(name.fold);
        if (it == node.values.end())
            return ERROR_FILE_NOT_FOUND;
        out = it->second;
        return ERROR_SUCCESS;
    });
}

LONG MemoryRegistryStore::setValue(const KeyPath& path, const KeyName& name, DWORD type,
                                   const unsigned char* data, std::size_t size) {
    return changeKey(path, [&](Node& node) {
        auto it = node.findValue(name.fold);
        if (it == node.values.end())
            it = node.values.insert(it, {name.fold, RegistryValueData{name.name, 0, {}}});
        it->second.type = type;
        it->second.data.assign(data, data + size);
        return ERROR_SUCCESS;
    });
}

LONG MemoryRegistryStore::deleteValue(const KeyPath& path, const KeyName& name) {
    return changeKey(path, [&](Node& node) {
        const auto it = node.findValue(name.fold);
        if (it == node.values.end())
            return ERROR_FILE_NOT_FOUND;
        node.values.erase(it);
        return ERROR_SUCCESS;
    });
}

LONG MemoryRegistryStore::listSubkeys(const KeyPath& path, std::vector<SubkeyEntry>& out) {
    out.clear();
    return withKey(path, [&](Node& node) {
        out.reserve(node.children.size());
        for (const auto& [fold, child] : node.children)
            out.push_back({child->name, child->className});
        return ERROR_SUCCESS;
    });
}

LONG MemoryRegistryStore::listValues(const KeyPath& path, std::vector<RegistryValueData>& out) {
    out.clear();
    return withKey(path, [&](Node& node) {
        for (const auto& value : node.values)
            out.push_back(value.second);
        return ERROR_SUCCESS;
    });
}

std::uint64_t MemoryRegistryStore::generation() {
    std::lock_guard lock(m_mutex);
    return m_generation;
}

} // namespace ombrix::platform::registry
