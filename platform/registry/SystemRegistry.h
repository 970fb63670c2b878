#pragma once
#include "platform/registry/RegistryLayer.h"
#include "platform/registry/SqliteRegistryStore.h"

#include <functional>
#include <memory>
#include <string>

namespace ombrix::platform::registry {

// $XDG_DATA_HOME/ombrix/registry.db, by default under ~/.local/share.
std::string userStorePath();
// Shared by all users; only root writes it.
std::string systemStorePath();

// Makes the store that keeps one root key in an SQLite file.
using StoreOpener =
    std::function<std::shared_ptr<RegistryStore>(std::string path, SqliteRegistryStore::Writers)>;

// The registry of this machine: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE in
// their SQLite files (the second written by root only), the other root keys
// in memory for as long as the program runs.
std::unique_ptr<RegistryLayer> makeSystemRegistry(const StoreOpener& open);

} // namespace ombrix::platform::registry
