# mysql_append_bench: sql_table::append_record against LOAD DATA LOCAL
# INFILE of the same generated rows on the private server.
if(TARGET mysql_dest AND TARGET csv_gen)
  add_executable(mysql_append_bench ${CMAKE_CURRENT_LIST_DIR}/mysql_append_bench.cpp)
  target_link_libraries(mysql_append_bench PRIVATE mysql_dest common)
  target_compile_definitions(mysql_append_bench PRIVATE CSV_GEN_PATH="$<TARGET_FILE:csv_gen>")
  add_dependencies(mysql_append_bench csv_gen)
endif()
