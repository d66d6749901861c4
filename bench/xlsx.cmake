# xlsx_gen: the generated .xlsx of bench/xlsx_bench.sh (gridload --dump on
# 200,000 and 1,000,000 rows against python3-openpyxl and unzip).
pkg_check_modules(XLSX_GEN_WRITER IMPORTED_TARGET xlsxwriter)
if(XLSX_GEN_WRITER_FOUND)
  add_executable(xlsx_gen ${CMAKE_CURRENT_LIST_DIR}/xlsx_gen.cpp)
  target_link_libraries(xlsx_gen PRIVATE PkgConfig::XLSX_GEN_WRITER)
  if(TARGET gridload)
    add_custom_target(xlsx_bench
      COMMAND ${CMAKE_CURRENT_LIST_DIR}/xlsx_bench.sh ${CMAKE_BINARY_DIR}
      DEPENDS gridload xlsx_gen
      USES_TERMINAL)
  endif()
endif()
