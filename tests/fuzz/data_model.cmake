# The data model's text parsers: variant values from text per tag (and the
# conversions between tags), dates, GUID detection, the key filter of a
# recordset, and the name validators' safe names.
gridload_add_fuzzer(ole_from_string_fuzz SOURCES ole_from_string_fuzz.cpp LIBS ole tk)
gridload_add_fuzzer(ole_date_import_fuzz SOURCES ole_date_import_fuzz.cpp LIBS ole tk)
gridload_add_fuzzer(ole_guid_extractor_fuzz SOURCES ole_guid_extractor_fuzz.cpp LIBS ole tk)
gridload_add_fuzzer(udb_safe_name_fuzz SOURCES udb_safe_name_fuzz.cpp LIBS udb ole tk)
