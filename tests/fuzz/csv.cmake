# csv_fuzz: arbitrary bytes as a CSV file with each delimiter and header
# setting, read through two buffer sizes (common/).
# sql_literal_fuzz: arbitrary text through the MySQL literal writers (mysql/).
if(TARGET common)
  gridload_add_fuzzer(csv_fuzz SOURCES csv_fuzz.cpp LIBS common)
endif()
if(TARGET mysql_dest)
  gridload_add_fuzzer(sql_literal_fuzz SOURCES sql_literal_fuzz.cpp LIBS mysql_dest)
  target_compile_options(sql_literal_fuzz PRIVATE -Wno-shadow -Wno-conversion)  # TEMPORARY: exempt from -Wshadow -Wconversion until this code is clean; then remove
endif()
