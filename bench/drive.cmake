# The drive benchmark reads the large mount-table fixture of the tests.
if(TARGET bench_drive)
  target_compile_definitions(bench_drive PRIVATE
    OMBRIX_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures")
endif()
