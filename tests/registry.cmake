# A separate process for the registry's durability and permission tests.
add_executable(registry_helper ${CMAKE_CURRENT_SOURCE_DIR}/registry_helper.cpp)
target_link_libraries(registry_helper PRIVATE ombrix_core ombrix_platform_linux)
ombrix_warnings(registry_helper)
add_dependencies(tst_RegistryDurability registry_helper)
