# The start-up test runs the built program where no display can be opened.
add_dependencies(tst_Startup ombrix)
