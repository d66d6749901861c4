#pragma once
// One index of a table: its name, its kind (primary key, unique index,
// unique constraint, plain index) and its columns in order. A plain value
// type.

#include <string>
#include <string_view>
#include <vector>

struct udb_index {
  std::u16string name;
  bool b_unique = false;
  bool b_primary = false;
  bool b_unique_constraint = false;
  std::vector<std::u16string> fields;
  // Per-column texts carried with the columns (for example a sort order);
  // copied together with `fields`, never interpreted here.
  std::vector<std::u16string> field_attributes;

  udb_index() = default;
  udb_index(std::u16string name, bool b_unique, bool b_primary);
};
