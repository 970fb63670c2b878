# Other computers' counters: the PCP reader directly, and the module as the program loads it.
if(TARGET bench_pcp)
  target_link_libraries(bench_pcp PRIVATE ombrix_pcp_counters)
  add_dependencies(bench_pcp ombrix_pcp)
endif()
