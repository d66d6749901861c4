# End-to-end benchmarks of the real binary (shell scripts, never timed
# tests): bench/xls_bench.sh (.xls into a dump against python3-xlrd) and
# bench/live_bench.sh (CSV files and workbooks into the private server
# against LOAD DATA LOCAL INFILE). bench/xlsx_bench.sh has its target in
# xlsx.cmake.
if(TARGET gridload)
  add_custom_target(xls_bench
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/xls_bench.sh ${CMAKE_BINARY_DIR}
    DEPENDS gridload
    USES_TERMINAL)
  if(TARGET csv_gen)
    add_custom_target(csv_mysql_bench
      COMMAND ${CMAKE_CURRENT_LIST_DIR}/live_bench.sh csv ${CMAKE_BINARY_DIR}
      DEPENDS gridload csv_gen
      USES_TERMINAL)
  endif()
  if(TARGET xlsx_gen)
    add_custom_target(xlsx_mysql_bench
      COMMAND ${CMAKE_CURRENT_LIST_DIR}/live_bench.sh xlsx ${CMAKE_BINARY_DIR}
      DEPENDS gridload xlsx_gen
      USES_TERMINAL)
  endif()
endif()
