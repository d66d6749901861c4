# biff_fuzz: arbitrary bytes as a compound file or a bare BIFF workbook
# stream for the .xls reader of the workbook engine (host/biff). The
# top-level build instruments the reader for coverage in fuzz builds.
if(TARGET host_biff)
  gridload_add_fuzzer(biff_fuzz SOURCES biff_fuzz.cpp LIBS host_biff)
endif()
