#pragma once
// The ordered indexes of a table, names unique ignoring case. push_back
// merges a second definition of an existing name: a primary key is never
// replaced; otherwise the stronger kind (primary, then unique constraint,
// then unique) takes over the entry, and a plain index never replaces one.

#include <cstddef>
#include <string_view>
#include <vector>

#include "udb_index.h"

class udb_indexes {
 public:
  using const_iterator = std::vector<udb_index>::const_iterator;

  void push_back(const udb_index& index);
  // Whether no index has this name yet.
  bool is_acceptable_name(std::u16string_view name) const;
  // Position of the index of that name, -1 when none.
  ptrdiff_t find(std::u16string_view name) const;
  // The index of that name; a missing name is an internal error.
  udb_index& get_index(std::u16string_view name);
  const udb_index& get_index(std::u16string_view name) const;
  // Whether the column belongs to a primary key (or, when `any_index`, to
  // any index).
  bool is_idx_field(std::u16string_view column, bool any_index = false) const;

  size_t size() const noexcept { return items_.size(); }
  bool empty() const noexcept { return items_.empty(); }
  const udb_index& operator[](size_t i) const { return items_[i]; }
  udb_index& operator[](size_t i) { return items_[i]; }
  const_iterator begin() const noexcept { return items_.begin(); }
  const_iterator end() const noexcept { return items_.end(); }
  void clear() noexcept { items_.clear(); }

 private:
  std::vector<udb_index> items_;
};
