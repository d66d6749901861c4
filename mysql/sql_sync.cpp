#include "sql_sync.h"

#include "ole_variant.h"
#include "sql_engine.h"
#include "tk_exception.h"
#include "tk_logger.h"
#include "udb_recordset.h"

namespace {

void decode_entities(std::u16string& value) {
  static constexpr std::pair<std::u16string_view, char16_t> entities[] = {
      {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&amp;", u'&'}};
  for (const auto& [entity, ch] : entities) {
    size_t at = 0;
    while ((at = value.find(entity, at)) != std::u16string::npos) {
      value.replace(at, entity.size(), 1, ch);
      ++at;
    }
  }
}

}  // namespace

std::u16string sql_sync::get_filter_subquery(std::u16string_view key, const udb_recordset& table) {
  TK_TRACE(2, "sql_sync::get_filter_subquery(%s,%s)", key, table.table());
  const sql_engine& engine = sql_engine::instance();
  std::u16string result;
  size_t pos = 0;
  while (true) {
    const size_t open = key.find(u'<', pos);
    if (open == std::u16string_view::npos) break;
    const size_t open_end = key.find(u'>', open);
    if (open_end == std::u16string_view::npos) break;
    TK_TRACE(1, "Open XML-tag at pos=%d", open);
    const std::u16string_view column = key.substr(open + 1, open_end - open - 1);
    const size_t close = key.find(u"</", open_end + 1);
    const size_t value_end = close == std::u16string_view::npos ? key.size() : close;
    TK_TRACE(1, "Close XML-tag at pos=%d", value_end);
    std::u16string value(key.substr(open_end + 1, value_end - open_end - 1));
    const t_ftd* field = table.schema().find(column);
    if (!field)
      throw tk_exception(
          "The structure of data source does not conform to the destination table. For more information see "
          "Troubleshooting article",
          1);
    if (!result.empty()) result += u" and ";
    result += engine.get_safe_name(field->name);
    result += u'=';
    decode_entities(value);
    if (ole_variant::is_numeric(field->vartype) || ole_variant::is_binary(field->vartype)) {
      TK_TRACE(1, "No quotes for numeric or binary");
      result += value;
    } else {
      result += u'\'';
      for (char16_t c : value) {
        if (c == u'\'' || c == u'\\') result += u'\\';
        result += c;
      }
      result += u'\'';
    }
    if (close == std::u16string_view::npos) break;
    const size_t close_end = key.find(u'>', close);
    if (close_end == std::u16string_view::npos) break;
    pos = close_end + 1;
  }
  return result;
}
