# The command-line test runs the program itself.
add_dependencies(tst_CommandLine ombrix)
target_compile_definitions(tst_CommandLine PRIVATE OMBRIX_VERSION="${PROJECT_VERSION}")
