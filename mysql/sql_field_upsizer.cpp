#include "sql_field_upsizer.h"

#include "sql_engine.h"
#include "t_ftd.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "udb_database.h"
#include "udb_recordset.h"

namespace {

// A name the server reads without backticks: letters, digits, '_' and '$',
// not all digits.
bool is_plain_identifier(std::u16string_view name) {
  if (name.empty()) return false;
  bool all_digits = true;
  for (char16_t c : name) {
    const bool digit = c >= u'0' && c <= u'9';
    if (!digit && !(c >= u'a' && c <= u'z') && !(c >= u'A' && c <= u'Z') && c != u'_' && c != u'$') return false;
    all_digits = all_digits && digit;
  }
  return !all_digits;
}

}  // namespace

sql_field_upsizer::~sql_field_upsizer() = default;

void sql_field_upsizer::do_upsize(const t_ftd& column) {
  TK_TRACE(2, "sql_field_upsizer::do_upsize");
  TK_ASSERT(database_ != nullptr && table_ != nullptr, "csv_util");
  const bool old_server = sql_engine::instance().is_old_version();
  const std::u16string& table = table_->name();
  // The column name stands bare, as the column was created from a plain
  // name; a name with blanks or other characters is quoted on servers that
  // know quoted names, or the statement could not be read.
  std::u16string name = column.name;
  if (!old_server && !is_plain_identifier(name)) name = u"`" + name + u"`";
  std::u16string sql = u"ALTER TABLE ";
  sql += old_server ? table : u"`" + table + u"`";
  sql += u" CHANGE ";
  sql += name;
  sql += u' ';
  sql += name;
  sql += u" TEXT";
  TK_TRACE(3, "%s", sql);
  database_->query(sql);
}
