# xlsx_sheet_fuzz: arbitrary bytes as shared strings, styles and worksheet
# XML for the workbook engine (host/).
if(TARGET host_workbook)
  gridload_add_fuzzer(xlsx_sheet_fuzz SOURCES xlsx_sheet_fuzz.cpp LIBS host_workbook)
  target_compile_options(xlsx_sheet_fuzz PRIVATE -Wno-shadow -Wno-conversion)  # TEMPORARY: exempt from -Wshadow -Wconversion until this code is clean; then remove
endif()
