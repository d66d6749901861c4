#pragma once
// A foreign key between two tables, as a source describes it.

#include <string>
#include <vector>

struct udb_relationship {
  std::u16string name;
  std::u16string fk_table;  // the referencing table
  std::u16string pk_table;  // the referenced table
  std::vector<std::u16string> fk_columns;
  std::vector<std::u16string> pk_columns;
};
