# The report tests run the program itself.
if(TARGET tst_ReportCommand)
  add_dependencies(tst_ReportCommand ombrix ombrix_printers)
endif()
