#pragma once
// The rows of a multi-row INSERT, as the dialect writes them for a live
// server, turned into the text LOAD DATA reads: a line a row, fields
// separated by tabs, \N for NULL, and backslash escapes for the backslash,
// tab, line feed and NUL. The server stores a field as it stores a quoted
// literal: by the same conversion from text. Where a literal is not quoted,
// the value is carried only when that conversion gives what the literal
// itself gives:
// - a number into an integer column when it is an integer, into a DECIMAL
//   column when it has no exponent and no more decimals than the column, and
//   into a FLOAT or DOUBLE column always;
// - a number into a text or binary column when its text is the one the
//   server prints for it (no exponent, sign or leading zero that printing
//   would change);
// - a hex literal into a binary column (as its bytes).
// Rows holding anything else (a number into a date, a hex literal into a
// text column, an expression, any value into a column of another kind) are
// not carried: they go as INSERT statements.
//
// Ownership: copies what it needs of the columns.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sql_dialect.h"

class sql_load_format {
 public:
  enum class kind : uint8_t { integer, decimal, real, text, binary, temporal, other };
  struct column {
    kind what = kind::other;
    uint32_t scale = 0;  // decimals of a DECIMAL column
  };

  // The columns of the slots, by their server type texts.
  explicit sql_load_format(std::span<const sql_cell_slot> slots);

  // The kind of a column by its server type text ("int(11) unsigned",
  // "decimal(19,4)", "varchar(255)").
  static column column_of(std::u16string_view server_type);

  // Appends the LOAD text of `rows` ("(v1, v2), (v3, v4)"); false when a
  // literal cannot be carried (what was appended is then of no use).
  bool append(std::string& out, std::string_view rows) const;

 private:
  std::vector<column> columns_;
};
