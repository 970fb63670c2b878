# Counters of other computers: libpcp host contexts to their pmcd. libpcp
# lives in a module of its own, loaded the first time another computer is
# named; tests link the reader directly.
find_library(PCP_LIBRARY pcp REQUIRED)
find_path(PCP_INCLUDE_DIR pcp/pmapi.h REQUIRED)

add_library(ombrix_pcp_counters STATIC
  linux/PcpCounterMap.h linux/PcpCounterMap.cpp
  linux/PcpPerfCounters.h linux/PcpPerfCounters.cpp
  linux/LinuxCounterCatalogue.h linux/LinuxCounterCatalogue.cpp)
set_target_properties(ombrix_pcp_counters PROPERTIES POSITION_INDEPENDENT_CODE ON AUTOMOC OFF)
target_include_directories(ombrix_pcp_counters PUBLIC ${CMAKE_SOURCE_DIR} ${PCP_INCLUDE_DIR})
target_link_libraries(ombrix_pcp_counters PUBLIC Qt6::Core ${PCP_LIBRARY})
ombrix_warnings(ombrix_pcp_counters)

add_library(ombrix_pcp MODULE linux/PcpModule.cpp)
set_target_properties(ombrix_pcp PROPERTIES
  PREFIX "lib" CXX_VISIBILITY_PRESET hidden AUTOMOC OFF)
target_link_libraries(ombrix_pcp PRIVATE ombrix_pcp_counters)
ombrix_warnings(ombrix_pcp)

target_sources(ombrix_platform_linux PRIVATE
  CounterSources.h
  linux/LinuxCounterSources.h linux/LinuxCounterSources.cpp)
