# The probe bench/ui_stall.py runs: the real windows against stuck services.
add_executable(stall_probe ${CMAKE_CURRENT_LIST_DIR}/stall_probe.cpp)
target_link_libraries(stall_probe PRIVATE ombrix_core ombrix_platform_linux Qt6::Test)
add_dependencies(stall_probe getcpu ombrix_printers)
