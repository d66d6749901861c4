#pragma once
// A field read back from the server (or built for it): a udb_field whose
// value comes from a raw result cell by the server's column type and flags.

#include <cstddef>
#include <string>

#include "udb_field.h"

struct t_ftd;

class sql_field : public udb_field {
 public:
  // MySQL's generic BLOB type code, used for binary values built here.
  static constexpr int blob_type = 252;

  sql_field() = default;
  // A narrow cell: UTF-8 text or `length` raw bytes; null `data` is NULL.
  sql_field(std::u16string name, int mysql_type, size_t length, unsigned flags, const char* data);
  // A wide cell of `length` UTF-16 units.
  sql_field(std::u16string name, int mysql_type, size_t length, unsigned flags, const char16_t* data);
  // A value for a source column: binary columns take the bytes as a BLOB
  // cell, every other column its text converted to the column's tag.
  sql_field(const t_ftd& column, size_t length, const char* data);

  // Refills this field from a cell (name, storage reused).
  void assign(std::u16string_view name, int mysql_type, size_t length, unsigned flags, const char* data);
  void assign(std::u16string_view name, int mysql_type, size_t length, unsigned flags, const char16_t* data);
};
