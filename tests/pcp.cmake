# The pmcd test reads through the PCP module as the program does, and through
# the reader directly.
target_link_libraries(tst_PcpCounters PRIVATE ombrix_pcp_counters)
add_dependencies(tst_PcpCounters ombrix_pcp)
set_tests_properties(tst_PcpCounters PROPERTIES RUN_SERIAL TRUE)
