# host_xlsx_bench: times a full read of a generated 200,000-row workbook
# through the workbook engine (host/), next to a bare libzip + expat parse.
if(TARGET host_workbook)
  pkg_check_modules(HOST_BENCH REQUIRED IMPORTED_TARGET xlsxwriter libzip expat)
  add_executable(host_xlsx_bench ${CMAKE_CURRENT_LIST_DIR}/host_xlsx_bench.cpp)
  target_link_libraries(host_xlsx_bench PRIVATE host_workbook PkgConfig::HOST_BENCH)
endif()
