# The system's printers: libcups destinations. Debian's libcups2-dev ships no
# pkg-config file, so CMake's own FindCups locates it.
find_package(Cups REQUIRED)
# Found in this folder, linked by a target of the top folder.
set_target_properties(Cups::Cups PROPERTIES IMPORTED_GLOBAL TRUE)
target_sources(ombrix_platform_linux PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Printers.h
  ${CMAKE_CURRENT_LIST_DIR}/linux/CupsPrinters.h
  ${CMAKE_CURRENT_LIST_DIR}/linux/CupsPrinters.cpp)
target_link_libraries(ombrix_platform_linux PUBLIC Cups::Cups)
