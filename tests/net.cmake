# The namespace tests of the live network view run this helper inside the
# namespaces they make.
add_executable(netcheck_probe netcheck_probe.cpp)
target_link_libraries(netcheck_probe PRIVATE ombrix_core ombrix_platform_linux)
ombrix_warnings(netcheck_probe)
if(TARGET tst_LiveNetworkView)
  add_dependencies(tst_LiveNetworkView netcheck_probe)
endif()
