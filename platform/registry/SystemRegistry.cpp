#include "platform/registry/SystemRegistry.h"

#include "platform/registry/MemoryRegistryStore.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace ombrix::platform::registry {

std::string userStorePath() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (dataHome && dataHome[0] == '/') {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') {
            const passwd* pw = ::getpwuid(::geteuid());
            home = pw ? pw->pw_dir : "/";
        }
        base = std::string(home) + "/.local/share";
    }
    return base + "/ombrix/registry.db";
}

std::string systemStorePath() {
    return "/var/lib/ombrix/registry.db";
}

std::unique_ptr<RegistryLayer> makeSystemRegistry(const StoreOpener& open) {
    auto layer = std::make_unique<RegistryLayer>();
    layer->setStore(HKEY_CURRENT_USER, open(userStorePath(), SqliteRegistryStore::Writers::Owner));
    layer->setStore(HKEY_LOCAL_MACHINE,
                    open(systemStorePath(), SqliteRegistryStore::Writers::RootOnly));
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_USERS, HKEY_CURRENT_CONFIG})
        layer->setStore(root, std::make_shared<MemoryRegistryStore>());
    return layer;
}

} // namespace ombrix::platform::registry
