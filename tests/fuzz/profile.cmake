# profile_fuzz: arbitrary bytes as a profile and as the lines of its
# "Type Mappings" section, with the schema, index and record rewrites the
# mappings drive.
if(GRIDLOAD_FUZZ)
  # Coverage instrumentation of the libraries under test, so that libFuzzer
  # is guided by the reader's and the parser's branches, not only the harness.
  target_compile_options(udb PRIVATE -fsanitize=fuzzer-no-link)
  target_compile_options(common PRIVATE -fsanitize=fuzzer-no-link)
endif()
gridload_add_fuzzer(profile_fuzz SOURCES profile_fuzz.cpp LIBS common udb ole tk)
