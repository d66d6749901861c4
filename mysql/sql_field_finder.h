#pragma once
// Finds the cell of a record that feeds a MySQL column: each of the
// record's field names is made into the column name the destination would
// give it (the dialect's field-name validator, as when the table was
// created), and a column is looked up among those names ignoring case.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class sql_dialect;
class udb_record;

class sql_field_finder {
 public:
  sql_field_finder(const udb_record& record, const sql_dialect& dialect);

  // The position in the record of the cell for `column`, -1 when none.
  ptrdiff_t get_field_idx(std::u16string_view column) const;
  // The column name made for the record's field at `i`.
  const std::u16string& column_name(size_t i) const { return names_[i]; }
  size_t size() const noexcept { return names_.size(); }

 private:
  std::vector<std::u16string> names_;
};
