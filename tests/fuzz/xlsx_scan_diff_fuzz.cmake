# xlsx_scan_diff_fuzz: the hand-written XML scanner of the workbook engine
# against expat, and the number shortcut against std::from_chars. The event
# log it compares is the scanner tests' (tests/host/xlsx).
if(TARGET host_xlsx)
  gridload_add_fuzzer(xlsx_scan_diff_fuzz SOURCES xlsx_scan_diff_fuzz.cpp LIBS host_xlsx)
  target_include_directories(xlsx_scan_diff_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tests/host/xlsx)
endif()
