# tst_getcpu checks the processor library's readers directly as well as the
# built library itself.
if(TARGET tst_getcpu)
  target_link_libraries(tst_getcpu PRIVATE getcpu_parts)
endif()
