# Performance counters: the interface and its /proc readers.
target_sources(ombrix_platform_linux PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PerfCounters.h
  ${CMAKE_CURRENT_LIST_DIR}/linux/ProcParsers.h
  ${CMAKE_CURRENT_LIST_DIR}/linux/ProcParsers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/LinuxCounterCatalogue.h
  ${CMAKE_CURRENT_LIST_DIR}/linux/LinuxCounterCatalogue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/LinuxPerfCounters.h
  ${CMAKE_CURRENT_LIST_DIR}/linux/LinuxPerfCounters.cpp)
