#include "udb_indexes.h"

#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "udb_name_compare.h"

namespace {

// The existing entry takes the new definition's name and flags, and its
// columns when it has any.
void take_attributes(udb_index& existing, const udb_index& index) {
  existing.name = index.name;
  existing.b_unique = index.b_unique;
  existing.b_primary = index.b_primary;
  existing.b_unique_constraint = index.b_unique_constraint;
  if (!index.fields.empty()) {
    existing.fields = index.fields;
    existing.field_attributes = index.field_attributes;
  }
}

}  // namespace

ptrdiff_t udb_indexes::find(std::u16string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (udb_detail::same_name(items_[i].name, name)) return static_cast<ptrdiff_t>(i);
  return -1;
}

bool udb_indexes::is_acceptable_name(std::u16string_view name) const {
  TK_TRACE(1, "udb_indexes::is_acceptable_name(%s)", name);
  return find(name) < 0;
}

udb_index& udb_indexes::get_index(std::u16string_view name) {
  ptrdiff_t i = find(name);
  if (i < 0) throw tk_mail_assertion("udb_idx", 179);
  return items_[static_cast<size_t>(i)];
}

const udb_index& udb_indexes::get_index(std::u16string_view name) const {
  return const_cast<udb_indexes*>(this)->get_index(name);
}

void udb_indexes::push_back(const udb_index& index) {
  TK_TRACE(1, "udb_indexes::push_back(%s)", index.name);
  ptrdiff_t at = find(index.name);
  if (at < 0) {
    TK_TRACE(1, "Index does not exist, add it");
    items_.push_back(index);
    return;
  }
  udb_index& existing = items_[static_cast<size_t>(at)];
  if (existing.b_primary) {
    TK_TRACE(1, "Primary key with the same name exists, skip it.");
  } else if (index.b_primary) {
    TK_TRACE(1, "Upgrade existing index to primary key.");
    take_attributes(existing, index);
  } else if (existing.b_unique_constraint) {
    TK_TRACE(1, "Unique constraint with the same name exists, skip it.");
  } else if (index.b_unique_constraint) {
    TK_TRACE(1, "Set unique constraint attributes for existing index.");
    take_attributes(existing, index);
  } else if (existing.b_unique) {
    TK_TRACE(1, "Unique index with the same name exists, skip it.");
  } else if (index.b_unique) {
    TK_TRACE(1, "Set unique attribute for existing index.");
    take_attributes(existing, index);
  }
}

bool udb_indexes::is_idx_field(std::u16string_view column, bool any_index) const {
  TK_TRACE(1, "udb_indexes::is_idx_field(%s)", column);
  for (const udb_index& index : items_) {
    if (!any_index && !index.b_primary) continue;
    for (const std::u16string& f : index.fields) {
      if (udb_detail::same_name(f, column)) {
        TK_TRACE(1, "index field");
        return true;
      }
    }
  }
  TK_TRACE(1, "non-index field");
  return false;
}
