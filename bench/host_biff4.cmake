# host_biff4_bench: a generated 60,000-row Excel 4.0 file (BIFF4) read through
# the workbook engine, against the same rows as an Excel 97 workbook (BIFF8)
# read in the same run.
if(TARGET host_workbook)
  add_executable(host_biff4_bench ${CMAKE_CURRENT_LIST_DIR}/host_biff4_bench.cpp)
  target_link_libraries(host_biff4_bench PRIVATE host_workbook)
  target_compile_definitions(host_biff4_bench PRIVATE HOST_XLS_BENCH_DIR="${CMAKE_CURRENT_LIST_DIR}")
endif()
