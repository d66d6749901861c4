#pragma once
// Helpers of the merge work on a live table.

#include <string>
#include <string_view>

class udb_recordset;

class sql_sync {
 public:
  // The WHERE condition of a key description "<column>value</column>...":
  // each column looked up in the table's schema and written quoted, "=",
  // the value with &lt; &gt; &amp; decoded, in single quotes (quote and backslash
  // escaped) unless the column is numeric or binary; conditions joined by
  // " and ". A column missing from the schema throws tk_exception with the
  // conformance message.
  static std::u16string get_filter_subquery(std::u16string_view key, const udb_recordset& table);
};
