#pragma once
#include "platform/linux/modules/SharedLibrary.h"
#include "platform/registry/SqliteRegistryStore.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace ombrix::platform {

// A registry store in an SQLite file, from a module of its own
// (libombrix_sqlite.so) loaded on the store's first call: libsqlite3 costs
// start-up time and memory the main window does not need. A missing module
// throws PlatformError from that call. Calls may come from any thread.
class LazyRegistryStore final : public registry::RegistryStore {
public:
    using Writers = registry::SqliteRegistryStore::Writers;
    explicit LazyRegistryStore(std::string path, Writers writers = Writers::Owner,
                               std::string module = "libombrix_sqlite.so");
    ~LazyRegistryStore() override;

    bool writable() override;
    LONG keyExists(const registry::KeyPath& path) override;
    LONG createKey(const registry::KeyPath& path, const std::string& className,
                   bool& created) override;
    LONG deleteKey(const registry::KeyPath& path) override;
    LONG queryValue(const registry::KeyPath& path, const registry::KeyName& name,
                    RegistryValueData& out) override;
    LONG setValue(const registry::KeyPath& path, const registry::KeyName& name, DWORD type,
                  const unsigned char* data, std::size_t size) override;
    LONG deleteValue(const registry::KeyPath& path, const registry::KeyName& name) override;
    LONG listSubkeys(const registry::KeyPath& path,
                     std::vector<registry::SubkeyEntry>& out) override;
    LONG listValues(const registry::KeyPath& path, std::vector<RegistryValueData>& out) override;
    std::uint64_t generation() override;

private:
    registry::RegistryStore& store();

    std::string m_path;
    Writers m_writers;
    std::string m_module;
    std::mutex m_loading;
    // The library outlives the store it made.
    std::optional<SharedLibrary> m_library;
    std::unique_ptr<registry::RegistryStore> m_store;
};

} // namespace ombrix::platform
