# biff_fuzz: arbitrary bytes as a compound file or a bare BIFF workbook
# stream for the .xls reader of the workbook engine (host/).
if(TARGET host_workbook)
  if(GRIDLOAD_FUZZ)
    # Coverage instrumentation of the library under test, so that libFuzzer
    # is guided by the reader's branches and not only by the harness.
    target_compile_options(host_workbook PRIVATE -fsanitize=fuzzer-no-link)
  endif()
  gridload_add_fuzzer(biff_fuzz SOURCES biff_fuzz.cpp LIBS host_workbook)
  target_compile_options(biff_fuzz PRIVATE -Wno-shadow -Wno-conversion)  # TEMPORARY: exempt from -Wshadow -Wconversion until this code is clean; then remove
endif()
