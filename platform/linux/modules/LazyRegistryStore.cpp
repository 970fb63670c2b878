#include "platform/linux/modules/LazyRegistryStore.h"

namespace ombrix::platform {

LazyRegistryStore::LazyRegistryStore(std::string path, Writers writers, std::string module)
    : m_path(std::move(path)), m_writers(writers), m_module(std::move(module)) {}

LazyRegistryStore::~LazyRegistryStore() {
    m_store.reset();
}

registry::RegistryStore& LazyRegistryStore::store() {
    const std::lock_guard lock(m_loading);
    if (!m_store) {
        if (!m_library)
            m_library.emplace(m_module, "registry store module", true);
        using Factory = registry::RegistryStore* (*)(const char*, bool);
        auto open = reinterpret_cast<Factory>(m_library->symbol("ombrix_open_registry_store"));
        m_store.reset(open(m_path.c_str(), m_writers == Writers::RootOnly));
    }
    return *m_store;
}

bool LazyRegistryStore::writable() {
    return store().writable();
}

LONG LazyRegistryStore::keyExists(const registry::KeyPath& path) {
    return store().keyExists(path);
}

LONG LazyRegistryStore::createKey(const registry::KeyPath& path, const std::string& className,
                                  bool& created) {
    return store().createKey(path, className, created);
}

LONG LazyRegistryStore::deleteKey(const registry::KeyPath& path) {
    return store().deleteKey(path);
}

LONG LazyRegistryStore::queryValue(const registry::KeyPath& path, const registry::KeyName& name,
                                   RegistryValueData& out) {
    return store().queryValue(path, name, out);
}

LONG LazyRegistryStore::setValue(const registry::KeyPath& path, const registry::KeyName& name,
                                 DWORD type, const unsigned char* data, std::size_t size) {
    return store().setValue(path, name, type, data, size);
}

LONG LazyRegistryStore::deleteValue(const registry::KeyPath& path, const registry::KeyName& name) {
    return store().deleteValue(path, name);
}

LONG LazyRegistryStore::listSubkeys(const registry::KeyPath& path,
                                    std::vector<registry::SubkeyEntry>& out) {
    return store().listSubkeys(path, out);
}

LONG LazyRegistryStore::listValues(const registry::KeyPath& path,
                                   std::vector<RegistryValueData>& out) {
    return store().listValues(path, out);
}

std::uint64_t LazyRegistryStore::generation() {
    return store().generation();
}

} // namespace ombrix::platform
