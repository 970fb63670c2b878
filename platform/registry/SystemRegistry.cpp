#include "platform/registry/SystemRegistry.h"

#include "platform/registry/MemoryRegistryStore.h"
#include "platform/registry/SqliteRegistryStore.h"

namespace ombrix::platform::registry {

std::unique_ptr<RegistryLayer> makeSystemRegistry(std::string userStore, std::string machineStore) {
    auto layer = std::make_unique<RegistryLayer>();
    layer->setStore(HKEY_CURRENT_USER, std::make_shared<SqliteRegistryStore>(std::move(userStore)));
    layer->setStore(HKEY_LOCAL_MACHINE,
                    std::make_shared<SqliteRegistryStore>(std::move(machineStore),
                                                          SqliteRegistryStore::Writers::RootOnly));
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_USERS, HKEY_CURRENT_CONFIG})
        layer->setStore(root, std::make_shared<MemoryRegistryStore>());
    return layer;
}

std::unique_ptr<RegistryLayer> makeSystemRegistry() {
    return makeSystemRegistry(SqliteRegistryStore::userStorePath(),
                              SqliteRegistryStore::systemStorePath());
}

} // namespace ombrix::platform::registry
