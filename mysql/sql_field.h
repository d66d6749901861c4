#pragma once
// A field read back from the server: a udb_field whose value comes from a
// raw result cell. The agent reads only the answers of definition and
// session statements, so a cell is text (the session's UTF-8) or, for a
// binary column, its bytes.

#include <cstddef>
#include <string>

#include "ole_variant.h"
#include "udb_field.h"

class sql_field : public udb_field {
 public:
  // Flag bits of a result column (as the client library sets them).
  static constexpr unsigned unsigned_flag = 32;
  static constexpr unsigned binary_flag = 128;

  sql_field() = default;
  // A cell: UTF-8 text or `length` raw bytes; null `data` is NULL. With
  // `blob_to_text`, BLOB columns are read as text (the definition
  // statements answer with binary columns on some servers).
  sql_field(std::u16string name, int mysql_type, size_t length, unsigned flags, const char* data, bool blob_to_text);

  // The variant tag for a column of the given protocol type and flags, as a
  // table's column is described.
  static VARTYPE vartype_of(int mysql_type, unsigned flags);
  // Builds the value of one raw result cell into `out` (its storage
  // reused). Text that is not UTF-8 raises "Cannot convert to UNICODE
  // string: ".
  static void read_cell(ole_variant& out, int mysql_type, size_t length, unsigned flags, const char* data,
                        bool blob_to_text);
};
