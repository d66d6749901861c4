# profile_fuzz: arbitrary bytes as a profile and as the lines of its
# "Type Mappings" section, with the schema, index and record rewrites the
# mappings drive.
gridload_add_fuzzer(profile_fuzz SOURCES profile_fuzz.cpp LIBS common udb ole tk)
