# The floors that bench/startup.py measures beside the program: a bare window
# for start-up and memory, and one that ticks a clock for the idle cost.
add_executable(bare_window ${CMAKE_CURRENT_LIST_DIR}/bare_window.cpp)
target_link_libraries(bare_window PRIVATE Qt6::Widgets)
add_executable(ticking_window ${CMAKE_CURRENT_LIST_DIR}/ticking_window.cpp)
target_link_libraries(ticking_window PRIVATE Qt6::Widgets)
