# host_xls_bench: a generated 60,000-row .xls read through the workbook
# engine, against python3-xlrd reading the same file into CSV.
if(TARGET host_workbook)
  add_executable(host_xls_bench ${CMAKE_CURRENT_LIST_DIR}/host_xls_bench.cpp)
  target_link_libraries(host_xls_bench PRIVATE host_workbook)
  target_compile_definitions(host_xls_bench PRIVATE HOST_XLS_BENCH_DIR="${CMAKE_CURRENT_LIST_DIR}")
endif()
