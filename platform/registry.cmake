# The registry layer: handles and rules, the stores behind the root keys,
# and mount points for read-only providers.
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET GLOBAL sqlite3)
target_sources(ombrix_platform_linux PRIVATE
  registry/RegistryNames.h registry/RegistryNames.cpp
  registry/RegistryStore.h
  registry/StoreFile.h registry/StoreFile.cpp
  registry/MemoryRegistryStore.h registry/MemoryRegistryStore.cpp
  registry/SqliteRegistryStore.h registry/SqliteRegistryStore.cpp
  registry/RegistryLayer.h registry/RegistryLayer.cpp
  registry/SystemRegistry.h registry/SystemRegistry.cpp)
target_link_libraries(ombrix_platform_linux PUBLIC PkgConfig::SQLITE3)
