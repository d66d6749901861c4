#include "sql_limited_query.h"

#include <charconv>

#include "sql_engine.h"
#include "sql_exception.h"
#include "sql_util.h"
#include "tk_logger.h"
#include "tk_unicode.h"

sql_limited_query::sql_limited_query(MYSQL* connection, std::u16string_view source, bool is_table, size_t n_max_records)
    : connection_(connection), n_max_records_(n_max_records) {
  TK_TRACE(2, "sql_limited_query::sql_limited_query(%s)", source);
  sql_ = "SELECT * FROM ";
  if (is_table) {
    TK_TRACE(1, "...as table");
    const bool quoted = sql_engine::instance().version >= sql_engine::version_4_1_0;
    if (quoted) sql_ += '`';
    tk_append_utf8(sql_, source);
    if (quoted) sql_ += '`';
  } else {
    TK_TRACE(1, "...as query");
    sql_ += '(';
    tk_append_utf8(sql_, source);
    sql_ += ") as temp___table";
  }
  sql_ += " LIMIT ";
  char digits[24];
  sql_.append(digits, std::to_chars(digits, digits + sizeof digits, n_max_records).ptr);
  TK_TRACE(2, "sql_database::do_query2(%s)", sql_);
  if (mysql_real_query(connection_, sql_.data(), static_cast<unsigned long>(sql_.size())) != 0)
    throw sql_exception(connection_);
  result_.reset(mysql_use_result(connection_));
  if (!result_) throw sql_exception(connection_);
  n_fields_ = mysql_num_fields(result_.get());
  fields_ = mysql_fetch_fields(result_.get());
  TK_TRACE(2, "sql_limited_query - at the end");
}

t_ftd sql_limited_query::describe(const MYSQL_FIELD& field) {
  t_ftd column;
  column.name = tk_utf8_to_unicode(std::string_view(field.name, field.name_length));
  column.vartype = get_vartype(static_cast<int>(field.type), field.flags);
  // The server's length is in bytes of the column's character set; the
  // refinement from SHOW COLUMNS gives text columns their character count.
  column.size = static_cast<uint32_t>(field.length);
  column.b_not_null = (field.flags & NOT_NULL_FLAG) != 0;
  column.b_auto_increment = (field.flags & AUTO_INCREMENT_FLAG) != 0;
  if (column.vartype == VT_DECIMAL) {
    column.scale = field.decimals;
    // The display length counts the sign and the point.
    uint32_t digits = static_cast<uint32_t>(field.length);
    if (digits > 0 && !(field.flags & UNSIGNED_FLAG)) --digits;
    if (digits > 0 && field.decimals > 0) --digits;
    column.precision = digits;
  }
  return column;
}

void sql_limited_query::store_to(udb_schema& schema, std::vector<std::unique_ptr<sql_record>>* rows) {
  TK_TRACE(2, "sql_limited_query::store_to(n_max_records=%d)", n_max_records_);
  if (schema.empty()) {
    TK_TRACE(1, "Schema is empty, build via f_info");
    for (unsigned i = 0; i < n_fields_; ++i) schema.push_back(describe(fields_[i]));
  } else {
    TK_TRACE(1, "Schema is NOT empty");
  }
  for (size_t n = 0; n < n_max_records_; ++n) {
    MYSQL_ROW row = mysql_fetch_row(result_.get());
    if (!row) break;
    if (rows)
      rows->push_back(std::make_unique<sql_record>(n_fields_, row, mysql_fetch_lengths(result_.get()), fields_));
  }
  if (mysql_errno(connection_) != 0) throw sql_exception(connection_);
}
