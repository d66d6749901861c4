# xlsx_sheet_fuzz: arbitrary bytes as shared strings, styles and worksheet
# XML for the workbook engine (host/xlsx).
if(TARGET host_xlsx)
  gridload_add_fuzzer(xlsx_sheet_fuzz SOURCES xlsx_sheet_fuzz.cpp LIBS host_xlsx)
endif()
