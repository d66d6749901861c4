#pragma once
// Finds the cell of a record that feeds a MySQL column: a field of the
// column's own name, or else one whose name the destination would make into
// it (the dialect's field-name validator, as when the table was created);
// letter case is ignored. (A table made elsewhere may name a column with
// characters the validator replaces.)

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
  std::vector<std::u16string> own_names_;  // the fields' names as the record gives them
};
