# csv_fuzz: arbitrary bytes as a CSV file with each delimiter and header
# setting, read through two buffer sizes (common/).
# sql_literal_fuzz: arbitrary text through the MySQL literal writers (mysql/).
# sql_name_fuzz: arbitrary names through the identifier and comment writers.
if(TARGET common)
  gridload_add_fuzzer(csv_fuzz SOURCES csv_fuzz.cpp LIBS common)
endif()
if(TARGET mysql_dest)
  gridload_add_fuzzer(sql_literal_fuzz SOURCES sql_literal_fuzz.cpp LIBS mysql_dest)
  gridload_add_fuzzer(sql_name_fuzz SOURCES sql_name_fuzz.cpp LIBS mysql_dest)
endif()
