# csv_gen: a deterministic generator of typed CSV files, reused by the
# server and dump benchmarks. csv_read_bench: read and render a CSV file
# into MySQL literals, against cat.
add_executable(csv_gen ${CMAKE_CURRENT_LIST_DIR}/csv_gen.cpp)
if(TARGET mysql_dest)
  add_executable(csv_read_bench ${CMAKE_CURRENT_LIST_DIR}/csv_read_bench.cpp)
  target_link_libraries(csv_read_bench PRIVATE mysql_dest common)
  target_compile_definitions(csv_read_bench PRIVATE CSV_GEN_PATH="$<TARGET_FILE:csv_gen>")
  add_dependencies(csv_read_bench csv_gen)
endif()
