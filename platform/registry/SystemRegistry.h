#pragma once
#include "platform/registry/RegistryLayer.h"

#include <memory>
#include <string>

namespace ombrix::platform::registry {

// The registry of this machine: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE in
// their SQLite files (the second written by root only), the other root keys
// in memory for as long as the program runs.
std::unique_ptr<RegistryLayer> makeSystemRegistry(std::string userStore, std::string machineStore);
std::unique_ptr<RegistryLayer> makeSystemRegistry();

} // namespace ombrix::platform::registry
