#include "udb_index.h"

#include "tk_logger.h"
#include "udb_name_compare.h"

udb_index::udb_index(std::u16string index_name, bool unique, bool primary)
    : name(std::move(index_name)), b_unique(unique), b_primary(primary) {
  TK_TRACE(1, "udb_index::ctor('%s',%d,%d)", name, unique, primary);
}

bool udb_index::starts_with_fields(const std::vector<std::u16string>& columns) const {
  TK_TRACE(1, "udb_index(%s)::starts_with_fields", name);
  TK_TRACE(1, "this.size=%d, that.size=%d", fields.size(), columns.size());
  if (columns.size() > fields.size()) return false;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!udb_detail::same_name(fields[i], columns[i])) {
      TK_TRACE(1, "Field '%s' not found", columns[i]);
      return false;
    }
  }
  return true;
}
