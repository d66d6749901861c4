#pragma once
// The column definitions of a CREATE TABLE statement, shared by the live
// writer and the dump writer so that both create the same table.
//
// Built from a source schema, it copies it into a sql_schema (so the
// row-size rule turns the largest short text columns into LONGTEXT where
// needed), names every column with the field-name validator of the
// dialect's version, decides each column's NOT NULL, default and
// auto-increment, and has the dialect write one definition per column.
// Owns its schema copy, its names and its definitions; the dialect must
// outlive it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sql_dialect.h"
#include "sql_schema.h"
#include "udb_indexes.h"
#include "udb_names_map.h"

class sql_schema_initializer {
 public:
  // `indexes` is the source's index list (columns by source name); it
  // decides NOT NULL for primary-key columns.
  sql_schema_initializer(const udb_schema& schema, const udb_indexes& indexes, const sql_dialect& dialect);

  // The per-column character set (by source column name), or empty; set by
  // whoever holds the type mappings.
  std::function<std::u16string(std::u16string_view column)> column_character_set;

  // The definitions (UTF-8), one per column in schema order (built on
  // first call).
  const std::vector<std::string>& get_init_chunks();
  // One definition, for the column at `i`.
  std::string column_definition(size_t i);

  // The schema as it will be created (after the row-size rule).
  const sql_schema& schema() const noexcept { return schema_; }
  // The MySQL name made for the column at `i`.
  const std::u16string& column_name(size_t i) const { return names_[i]; }
  // The MySQL name of a source column; the source name itself when unknown.
  std::u16string_view column_name(std::u16string_view source) const;
  // (MySQL column name, source field name) of every column whose name had
  // to change: the table's entry of the names map.
  const udb_names_map::name_pairs& generated_names() const noexcept { return generated_; }
  // Position of the auto-increment column, -1 when none (known after the
  // definitions are built).
  ptrdiff_t auto_number_column() const noexcept { return auto_number_; }
  const sql_dialect& dialect() const noexcept { return dialect_; }

 private:
  bool can_have_def_value(const t_ftd& field) const;
  bool can_have_auto_num(const t_ftd& field) const;

  sql_schema schema_;
  udb_indexes indexes_;
  const sql_dialect& dialect_;
  std::vector<std::u16string> names_;
  udb_names_map::name_pairs generated_;
  std::vector<std::string> chunks_;
  ptrdiff_t auto_number_ = -1;
};
