#include "udb_database.h"

#include "tk_logger.h"
#include "udb_name_compare.h"
#include "udb_recordset.h"

udb_database::udb_database(std::u16string name, uint32_t mode) : name_(std::move(name)), mode_(mode) {
  TK_TRACE(1, "udb_database::ctor(%s, mode=%d)", name_, mode_);
}

udb_database::~udb_database() = default;

std::unique_ptr<udb_recordset> udb_database::create_table(const std::u16string& name, const udb_schema&,
                                                          const udb_indexes&) {
  TK_TRACE(1, "udb_database::create_table(%s)", name);
  return nullptr;
}

void udb_database::delete_tab(const std::u16string& name) {
  TK_TRACE(1, "udb_database::delete_tab(%s)", name);
  remove_table_name(name);
}

std::unique_ptr<udb_recordset> udb_database::get_table(const std::u16string& name, uint32_t) {
  TK_TRACE(1, "udb_database::get_table(%s)", name);
  return nullptr;
}

bool udb_database::is_table_exist(std::u16string_view name, bool case_sensitive) const {
  TK_TRACE(1, "udb_database::is_table_exist(%s)", name);
  if (tables_.empty()) {
    TK_TRACE(1, "Tables list is EMPTY!");
    return false;
  }
  for (const std::u16string& table : tables_)
    if (case_sensitive ? table == name : udb_detail::same_name(table, name)) return true;
  return false;
}

std::u16string udb_database::listed_name(std::u16string_view name) const {
  const std::u16string* listed = nullptr;
  for (const std::u16string& table : tables_) {
    if (table == name) return table;
    if (!listed && udb_detail::same_name(table, name)) listed = &table;
  }
  return listed ? *listed : std::u16string(name);
}

void udb_database::add_table_name(std::u16string name) { tables_.push_back(std::move(name)); }

bool udb_database::remove_table_name(std::u16string_view name) {
  for (auto it = tables_.begin(); it != tables_.end(); ++it) {
    if (udb_detail::same_name(*it, name)) {
      tables_.erase(it);
      return true;
    }
  }
  TK_TRACE(1, "Table not found!");
  return false;
}
