#pragma once
// The key definitions of a CREATE TABLE statement, shared by the live
// writer and the dump writer:
//   PRIMARY KEY (`a`, `b`) | UNIQUE `name` (`a`) | INDEX `name` (`a`)
// Index names are made safe with the index-name validator of the
// dialect's version; columns are the MySQL names the schema initializer made. Keys
// the server could not build are skipped with a trace (no columns, a
// column missing from the schema, a LOB column, too long, over the count
// limit), and an auto-increment column that no key covers gets an index of
// its own, since MySQL requires one.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sql_dialect.h"
#include "udb_indexes.h"
#include "udb_validator.h"

class sql_schema_initializer;

class sql_indexes_initializer {
 public:
  // Sum of the declared sizes of one key's columns, and the count of keys,
  // that the server accepts (the older limits before 4.1.0).
  static constexpr uint32_t max_key_size = 1536;
  static constexpr uint32_t max_key_size_old = 256;
  static constexpr size_t max_keys = 63;
  static constexpr size_t max_keys_old = 15;
  // Text columns of this size (or unbounded) are LOBs and cannot be keys.
  static constexpr uint32_t min_lob_text = 768;

  sql_indexes_initializer(const udb_indexes& indexes, const sql_dialect& dialect);

  // The key definitions (UTF-8) for the columns of `columns` (whose
  // definitions must have been built, so the auto-increment column is
  // known).
  std::vector<std::string> get_init_chunks(const sql_schema_initializer& columns);

  // The indexes with their safe names.
  const udb_indexes& indexes() const noexcept { return indexes_; }

 private:
  udb_indexes indexes_;
  const sql_dialect& dialect_;
  std::unique_ptr<udb_validator> validator_;
};
