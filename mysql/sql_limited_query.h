#pragma once
// A bounded read of a table or a query, used to learn its columns: the
// statement asks the server for at most `n_max_records` rows, so that
// neither the server nor the client library streams a whole table when only
// the column descriptions are wanted. Owns its result set.

#include <mysql.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "sql_handles.h"
#include "sql_record.h"
#include "udb_schema.h"

class sql_limited_query {
 public:
  // `source` is a table name when `is_table`, a SELECT statement otherwise.
  // Throws sql_exception when the statement fails.
  sql_limited_query(MYSQL* connection, std::u16string_view source, bool is_table, size_t n_max_records);

  // The statement sent (UTF-8).
  const std::string& statement() const noexcept { return sql_; }
  unsigned n_fields() const noexcept { return n_fields_; }
  const MYSQL_FIELD* fields() const noexcept { return fields_; }

  // Reads the rows (at most the number asked) into `rows`, and builds
  // `schema` from the column descriptions when it is empty.
  void store_to(udb_schema& schema, std::vector<std::unique_ptr<sql_record>>* rows = nullptr);

  // The descriptor of one result column.
  static t_ftd describe(const MYSQL_FIELD& field);

 private:
  MYSQL* connection_;
  std::string sql_;
  size_t n_max_records_;
  sql_result result_;
  unsigned n_fields_ = 0;
  const MYSQL_FIELD* fields_ = nullptr;
};
