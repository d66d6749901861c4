#include "udb_names_map.h"

#include "tk_logger.h"
#include "udb_name_compare.h"

void udb_names_map::add_fn_map(const std::u16string& table, name_pairs pairs) {
  TK_TRACE(1, "udb_names_map::add_fn_map(%s)", table);
  columns_[table] = std::move(pairs);
}

const udb_names_map::name_pairs* udb_names_map::get_fn_map(std::u16string_view table) const {
  auto it = columns_.find(table);
  return it == columns_.end() ? nullptr : &it->second;
}

std::u16string_view udb_names_map::get_fn_mapped_name(std::u16string_view table, std::u16string_view column,
                                                      bool case_sensitive) const {
  TK_TRACE(1, "udb_names_map::get_fn_mapped_name(%s,%s)", table, column);
  const name_pairs* pairs = get_fn_map(table);
  if (!pairs) {
    TK_TRACE(1, "Table '%s' not found", table);
    return column;
  }
  for (const auto& [used, source] : *pairs) {
    if (case_sensitive ? used == column : udb_detail::same_name(used, column)) {
      TK_TRACE(1, "Got mapped name: %s", source);
      return source;
    }
  }
  return column;
}
