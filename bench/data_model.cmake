# data_model_bench: the data model's per-cell operations (text into a value,
# a value into text, a field lookup by name) next to the plain standard
# library calls that do the bare part of the same work.
if(benchmark_FOUND)
  add_executable(data_model_bench ${CMAKE_CURRENT_LIST_DIR}/data_model_bench.cpp)
  target_link_libraries(data_model_bench PRIVATE udb ole tk benchmark::benchmark)
endif()
