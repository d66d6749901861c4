#include "sql_field_upsizer.h"

#include "sql_destination.h"
#include "t_ftd.h"
#include "tk_logger.h"
#include "tk_wstring.h"
#include "udb_recordset.h"

namespace {

bool is_one_of(std::u16string_view name, std::initializer_list<std::u16string_view> names) {
  for (std::u16string_view n : names)
    if (tk_wstring::equal_no_case(name, n)) return true;
  return false;
}

}  // namespace

sql_field_upsizer::sql_field_upsizer(sql_destination& destination, udb_recordset& table, std::u16string_view char_set)
    : csv_field_upsizer(&destination, &table), destination_(destination) {
  measure_ = char_set.empty() || is_one_of(char_set, {u"utf8", u"utf8mb3", u"utf8mb4"}) ? measure::utf8
             : is_one_of(char_set, {u"ucs2", u"utf16", u"utf16le"})                     ? measure::utf16
             : is_one_of(char_set, {u"utf32"})                                          ? measure::utf32
                                                                                        : measure::other;
}

sql_field_upsizer::~sql_field_upsizer() = default;

uint64_t sql_field_upsizer::stored_bytes(std::u16string_view text) const {
  switch (measure_) {
    case measure::utf8:
      return csv_field_upsizer::stored_bytes(text);
    case measure::utf16:
      return 2 * uint64_t{text.size()};
    default:
      break;
  }
  uint64_t n = 0;
  for (const char16_t c : text) {
    // A pair's low surrogate is counted with its high one.
    if (c >= 0xDC00 && c <= 0xDFFF) continue;
    n += measure_ == measure::other && c < 0x80 ? 1 : 4;
  }
  return n;
}

csv_field_upsizer::step sql_field_upsizer::initial_step(const t_ftd& column) const {
  // The type as the server names it (a live table) or as the run defines it
  // (a dump; empty for the CSV reader's own text columns).
  const std::u16string_view type = column.native_type;
  if (type.empty()) return csv_field_upsizer::initial_step(column);
  const auto is = [&](std::u16string_view prefix) { return tk_wstring::starts_with(type, prefix, true); };
  if (is(u"varchar") || is(u"char") || is(u"tinytext")) return step::varchar;
  if (is(u"text")) return step::text;
  if (is(u"mediumtext")) return step::mediumtext;
  if (is(u"longtext")) return step::longtext;
  return step::fixed;
}

void sql_field_upsizer::do_upsize(const t_ftd& column, step to) {
  TK_TRACE(2, "sql_field_upsizer::do_upsize");
  const int key = to == step::text         ? sql_type_key::text
                  : to == step::mediumtext ? sql_type_key::mediumtext
                                           : sql_type_key::longtext;
  const sql_dialect& dialect = destination_.dialect();
  const std::string sql = dialect.change_column_type(table_->name(), column.name, sql_dialect::type_name(key));
  TK_TRACE(3, "%s", sql);
  destination_.execute(sql);
}
