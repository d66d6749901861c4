# biff_fuzz: arbitrary bytes as a compound file or a bare BIFF workbook
# stream for the .xls reader of the workbook engine (host/).
if(TARGET host_workbook)
  gridload_add_fuzzer(biff_fuzz SOURCES biff_fuzz.cpp LIBS host_workbook)
endif()
