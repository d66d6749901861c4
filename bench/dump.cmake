# dump_bench: gridload --from_csv --dump on generated CSV files against
# mariadb-dump and cat (bench/dump_bench.sh; needs the private server, which
# the script starts when GRIDLOAD_TEST_* is not set).
if(TARGET gridload AND TARGET csv_gen)
  add_custom_target(dump_bench
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/dump_bench.sh ${CMAKE_BINARY_DIR}
    DEPENDS gridload csv_gen
    USES_TERMINAL)
endif()
