// The entry point of libombrix_sqlite.so, the module that holds the registry
// stores in SQLite files so that the program links libsqlite3 only when the
// registry is read or written.
#include "platform/registry/SqliteRegistryStore.h"

extern "C" __attribute__((visibility("default"))) ombrix::platform::registry::RegistryStore*
ombrix_open_registry_store(const char* path, bool rootOnly) {
    using ombrix::platform::registry::SqliteRegistryStore;
    return new SqliteRegistryStore(path, rootOnly ? SqliteRegistryStore::Writers::RootOnly
                                                  : SqliteRegistryStore::Writers::Owner);
}
