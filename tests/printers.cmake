# The printers test talks to libcups directly.
target_link_libraries(tst_Printers PRIVATE ombrix_cups)
add_dependencies(tst_Printers ombrix_printers)
