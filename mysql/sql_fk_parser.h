#pragma once
// Reads the foreign keys out of a SHOW CREATE TABLE answer: for each
// "CONSTRAINT `name` FOREIGN KEY (`a`, ...) REFERENCES `table` (`x`, ...)"
// clause, the constraint name, the referencing columns, the referenced
// table and its columns.

#include <string>
#include <string_view>
#include <vector>

#include "udb_relationship.h"

class sql_fk_parser {
 public:
  // `table` is the referencing table; `create_sql` the statement text.
  sql_fk_parser(std::u16string_view table, std::u16string_view create_sql);

  const std::vector<udb_relationship>& relationships() const noexcept { return relationships_; }

 private:
  // The names of a parenthesised, comma-separated list starting at `pos`
  // (backticks removed); `pos` moves past the closing parenthesis.
  static std::vector<std::u16string> get_columns(std::u16string_view text, size_t& pos);
  // One name at `pos`, in backticks or bare; `pos` moves past it.
  static std::u16string get_name(std::u16string_view text, size_t& pos);

  std::vector<udb_relationship> relationships_;
};
