#include "xls_reader.h"

#include <cstdio>
#include <set>

#include "dao_database.h"
#include "dao_engine.h"
#include "tk_logger.h"
#include "tk_unicode.h"

namespace {

// The engine versions tried for workbooks, best first.
constexpr int32_t preferred_versions[] = {3, 0};

bool create_engine(dao_engine& engine) {
  for (int32_t id : preferred_versions)
    if (engine.set_version_if(id)) return true;
  return false;
}

}  // namespace

std::u16string xls_reader::connect_string(bool first_row_has_names) {
  std::u16string connect = u"Excel 5.0;";
  if (!first_row_has_names) connect += u" HDR=No;";
  connect += u" IMEX=1;";
  return connect;
}

bool xls_reader::get_all_sheets(std::vector<std::u16string>& sheets) {
  TK_TRACE(2, "xls_reader::get_all_sheets");
  sheets.clear();
  dao_engine engine;
  if (!create_engine(engine)) return false;
  TK_TRACE(2, "xls_reader::open_xls(%s)", source_);
  std::unique_ptr<dao_database> database = engine.open_dao_src(source_, connect_string(false), 1);
  get_all_sheets(*database, sheets);
  return true;
}

void xls_reader::get_all_sheets(const udb_database& database, std::vector<std::u16string>& sheets) {
  TK_TRACE(2, "xls_reader::get_all_sheets(2)");
  sheets_.clear();
  exact_names_.clear();
  std::vector<const std::u16string*> worksheets;
  std::set<std::u16string> undecorated;
  for (const std::u16string& table : database.tables()) {
    TK_TRACE(1, "non_system (%s)", table);
    const std::u16string_view name = table;
    if ((name.size() >= 2 && name.ends_with(u'$')) || name.ends_with(u"$'")) {
      worksheets.push_back(&table);
      undecorated.insert(undecorated_name(table));
    }
  }
  for (const std::u16string* table : worksheets) {
    std::u16string plain = simplify_name(*table);
    // Sheets whose names differ in surrounding spaces alone are sheets of
    // their own: one with spaces gives the plain name up to the sheet named
    // so, or to one before it, and keeps its spaces (its table name is
    // cleaned as any other).
    std::u16string exact = undecorated_name(*table);
    if (exact != plain && (undecorated.count(plain) != 0 || sheets_.count(plain) != 0)) plain = exact;
    exact_names_.emplace(std::move(exact), plain);
    sheets.push_back(plain);
    sheets_.emplace(std::move(plain), *table);
  }
}

std::u16string xls_reader::undecorated_name(std::u16string_view engine_name) {
  std::u16string_view name = engine_name;
  if (name.size() >= 3 && name.front() == u'\'' && name.back() == u'\'') name = name.substr(1, name.size() - 2);
  if (name.size() >= 2 && name.back() == u'$') name.remove_suffix(1);
  return std::u16string(name);
}

std::u16string xls_reader::simplify_name(std::u16string_view engine_name) {
  TK_TRACE(2, "xls_reader::simplify_name(%s)", engine_name);
  const std::u16string undecorated = undecorated_name(engine_name);
  std::u16string_view name = undecorated;
  while (!name.empty() && name.back() == u' ') name.remove_suffix(1);
  while (!name.empty() && name.front() == u' ') name.remove_prefix(1);
  std::u16string plain(name);
  TK_TRACE(1, "Simplified name: %s", plain);
  return plain;
}

std::unique_ptr<dao_database> xls_reader::open_xls(const std::u16string& source, bool first_row_has_names) {
  TK_TRACE(2, "xls_reader::open_xls(%s)", source);
  return dao_engine::instance().open_dao_src(source, connect_string(first_row_has_names), 1);
}

bool xls_reader::select(const std::u16string& name, xls_sheet_map& selected) const {
  auto found = sheets_.find(name);
  // A name given with the spaces around it that the plain name dropped.
  if (const auto exact = exact_names_.find(name); found == sheets_.end() && exact != exact_names_.end())
    found = sheets_.find(exact->second);
  if (found == sheets_.end()) {
    TK_TRACE(3, "Worksheet %s not found", name);
    if (!silent_) {
      const std::string line = "Worksheet " + tk_unicode_to_console(name) + " not found\n";
      std::fputs(line.c_str(), stderr);
    }
    return false;
  }
  TK_TRACE(1, "Worksheet %s is selected", found->second);
  selected.insert(*found);
  return true;
}

void xls_reader::set_sel_sheets1(const std::vector<std::u16string>& names) {
  TK_TRACE(2, "xls_reader::set_sel_sheets1(%d)", names.size());
  TK_TRACE(1, "Total worksheets: %d", sheets_.size());
  selected_entries_.clear();
  xls_sheet_map selected;
  for (const std::u16string& name : names)
    if (select(name, selected)) selected_entries_.push_back(udb_selection{name, std::u16string()});
  sheets_ = std::move(selected);
  TK_TRACE(2, "xls_reader::set_sel_sheets1 - END");
}

void xls_reader::set_sel_sheets2(const std::vector<udb_selection>& entries) {
  TK_TRACE(2, "xls_reader::set_sel_sheets2(%d)", entries.size());
  TK_TRACE(1, "Total worksheets: %d", sheets_.size());
  xls_sheet_map selected;
  for (const udb_selection& entry : entries) select(entry.name, selected);
  sheets_ = std::move(selected);
  TK_TRACE(2, "xls_reader::set_sel_sheets2 - END");
}
