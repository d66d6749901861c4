#include "wb_database.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <set>
#include <vector>

#include "wb_query_def.h"
#include "wb_recordset.h"
#include "wb_text.h"

namespace {

bool is_space(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string_view skip_space(std::u16string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  return s;
}

// Takes `keyword` (ASCII, any case) followed by a space or the end.
bool take_keyword(std::u16string_view& s, std::string_view keyword) {
  s = skip_space(s);
  if (s.size() < keyword.size() || !wb_ascii_equal_ignore_case(s.substr(0, keyword.size()), keyword)) return false;
  if (s.size() > keyword.size() && !is_space(s[keyword.size()]) && s[keyword.size()] != u'[' &&
      s[keyword.size()] != u'*')
    return false;
  s.remove_prefix(keyword.size());
  return true;
}

// The name without enclosing apostrophes and with doubled ones made single.
std::u16string unquoted(std::u16string_view name) {
  if (name.size() < 2 || name.front() != u'\'' || name.back() != u'\'') return std::u16string(name);
  std::u16string out;
  name = name.substr(1, name.size() - 2);
  for (std::size_t i = 0; i < name.size(); ++i) {
    out += name[i];
    if (name[i] == u'\'' && i + 1 < name.size() && name[i + 1] == u'\'') ++i;
  }
  return out;
}

}  // namespace

std::u16string wb_database::table_name_for_sheet(std::u16string_view sheet) {
  bool plain = true;
  for (std::size_t i = 0; i < sheet.size() && plain;) {
    UChar32 c;
    U16_NEXT(sheet.data(), i, sheet.size(), c);
    plain = c == u'_' || u_isalnum(c);
  }
  std::u16string out;
  if (plain) {
    out.assign(sheet);
    out += u'$';
    return out;
  }
  out += u'\'';
  for (char16_t c : sheet) {
    out += c;
    if (c == u'\'') out += u'\'';
  }
  out += u"$'";
  return out;
}

long wb_database::parse_select(std::u16string_view sql, std::u16string& table) {
  std::u16string_view s = sql;
  if (!take_keyword(s, "select")) return wb_dao_error::invalid_sql;
  s = skip_space(s);
  if (s.empty() || s.front() != u'*') return wb_dao_error::syntax_error_from;
  s.remove_prefix(1);
  if (!take_keyword(s, "from")) return wb_dao_error::syntax_error_from;
  s = skip_space(s);
  if (s.empty()) return wb_dao_error::syntax_error_from;
  if (s.front() == u'[') {
    // The last bracket closes the name: a sheet named after its file may
    // hold a "]" of the file's name.
    const std::size_t close = s.rfind(u']');
    if (close == std::u16string_view::npos || close == 1) return wb_dao_error::syntax_error_from;
    table.assign(s.substr(1, close - 1));
    s.remove_prefix(close + 1);
  } else {
    std::size_t n = 0;
    while (n < s.size() && !is_space(s[n]) && s[n] != u';') ++n;
    table.assign(s.substr(0, n));
    s.remove_prefix(n);
  }
  s = skip_space(s);
  if (!s.empty() && s.front() == u';') s = skip_space(s.substr(1));
  return s.empty() ? 0 : wb_dao_error::syntax_error_from;
}

bool wb_database::date1904() const { return workbook_->date1904(); }

wb_database::wb_database(std::shared_ptr<wb_workbook_source> workbook, std::u16string name, bool header_row,
                         wb_error_list_ptr errors)
    : workbook_(std::move(workbook)), name_(std::move(name)), header_row_(header_row), errors_(std::move(errors)) {
  // A file no spreadsheet program saved may name two sheets alike, or one
  // not at all: each still gets a table of its own, named after its place
  // ("A (2)", "(3)") and unlike any sheet's own name, or its rows could not
  // be reached. The first sheet of a name keeps it.
  const std::size_t count = workbook_->sheet_count();
  std::vector<std::u16string> names(count);
  std::set<std::u16string> taken;
  for (std::size_t i = 0; i < count; ++i) {
    const std::u16string& given = workbook_->sheet_name(i);
    if (!given.empty() && taken.insert(table_name_for_sheet(given)).second) names[i] = table_name_for_sheet(given);
  }
  for (std::size_t i = 0; i < count; ++i) {
    const std::u16string& given = workbook_->sheet_name(i);
    for (unsigned n = 0; names[i].empty(); ++n) {
      std::string place = std::to_string(i + 1);
      if (n) place.append(".").append(std::to_string(n));
      std::u16string sheet = given;
      sheet.append(given.empty() ? u"(" : u" (").append(place.begin(), place.end()).append(u")");
      if (taken.insert(table_name_for_sheet(sheet)).second) names[i] = table_name_for_sheet(sheet);
    }
  }
  tables_.reserve(count);
  for (std::u16string& table : names) tables_.push_back(wb_table_def{std::move(table), 0});
}

wb_hresult wb_database::table(std::size_t index, wb_table_def& out) const {
  if (index >= tables_.size()) return errors_->raise(wb_dao_error::item_not_found);
  out = tables_[index];
  return wb_s_ok;
}

wb_hresult wb_database::table(std::u16string_view name, wb_table_def& out) const {
  const long index = find_table(name);
  if (index < 0) return errors_->raise(wb_dao_error::item_not_found);
  out = tables_[static_cast<std::size_t>(index)];
  return wb_s_ok;
}

long wb_database::find_table(std::u16string_view name) const {
  for (std::size_t i = 0; i < tables_.size(); ++i)
    if (tables_[i].name == name) return static_cast<long>(i);
  const std::u16string wanted = unquoted(name);
  for (std::size_t i = 0; i < tables_.size(); ++i)
    if (wb_equal_ignore_case(unquoted(tables_[i].name), wanted)) return static_cast<long>(i);
  return -1;
}

wb_hresult wb_database::create_query_def(std::u16string_view name, std::u16string_view sql,
                                         std::unique_ptr<wb_query_def>& out) {
  out = std::make_unique<wb_query_def>(*this, std::u16string(name), std::u16string(sql));
  return wb_s_ok;
}

wb_hresult wb_database::open_recordset(std::u16string_view sql, std::unique_ptr<wb_recordset>& out) {
  return open_recordset_ahead(sql, 0, out);
}

wb_hresult wb_database::open_recordset_ahead(std::u16string_view sql, std::size_t first_rows,
                                             std::unique_ptr<wb_recordset>& out) {
  out.reset();
  std::u16string table;
  if (const long e = parse_select(sql, table)) return errors_->raise(e);
  const long index = find_table(table);
  if (index < 0) return errors_->raise(wb_dao_error::table_not_found, table);
  return wb_recordset::open_ahead(workbook_, static_cast<std::size_t>(index), header_row_, errors_, first_rows, out);
}
