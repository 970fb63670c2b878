# The system's printers: libcups destinations. Debian's libcups2-dev ships no
# pkg-config file, so CMake's own FindCups locates it.
find_package(Cups REQUIRED)

# libcups lives in a module of its own, loaded on the first printers query;
# tests link the readers directly.
add_library(ombrix_cups STATIC linux/CupsPrinters.h linux/CupsPrinters.cpp)
set_target_properties(ombrix_cups PROPERTIES POSITION_INDEPENDENT_CODE ON AUTOMOC OFF)
target_include_directories(ombrix_cups PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(ombrix_cups PUBLIC Qt6::Core Cups::Cups)
ombrix_warnings(ombrix_cups)

add_library(ombrix_printers MODULE linux/PrintersModule.cpp)
set_target_properties(ombrix_printers PROPERTIES
  PREFIX "lib" CXX_VISIBILITY_PRESET hidden AUTOMOC OFF)
target_link_libraries(ombrix_printers PRIVATE ombrix_cups)
ombrix_warnings(ombrix_printers)

target_sources(ombrix_platform_linux PRIVATE
  Printers.h
  linux/LazyPrinters.h linux/LazyPrinters.cpp)
