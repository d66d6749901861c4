# xlsx_scan_diff_fuzz: the hand-written XML scanner of the workbook engine
# against expat, and the number shortcut against std::from_chars.
if(TARGET host_workbook)
  gridload_add_fuzzer(xlsx_scan_diff_fuzz SOURCES xlsx_scan_diff_fuzz.cpp LIBS host_workbook)
  target_compile_options(xlsx_scan_diff_fuzz PRIVATE -Wno-shadow -Wno-conversion)  # TEMPORARY: exempt from -Wshadow -Wconversion until this code is clean; then remove
endif()
