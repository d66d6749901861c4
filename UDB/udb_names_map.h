#pragma once
// The names a destination gave to tables and columns, kept so that rows can
// be matched with the columns made for them:
// per table (exact comparison of the table name), the pairs (column name
// used at the destination, name of the source field it was made from).
// Lookups walk the pairs in order; the first match wins. Owns its texts.

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class udb_names_map {
 public:
  using name_pairs = std::vector<std::pair<std::u16string, std::u16string>>;

  // Sets the column pairs of a table (replacing earlier ones).
  void add_fn_map(const std::u16string& table, name_pairs pairs);

  // The source field name of a destination column; the column name itself
  // when the table or the column is not in the map. Columns compare
  // exactly when `case_sensitive`, ignoring case otherwise. The view refers
  // to the map's storage or to `column`.
  std::u16string_view get_fn_mapped_name(std::u16string_view table, std::u16string_view column,
                                         bool case_sensitive) const;
  // The column pairs of a table, or null.
  const name_pairs* get_fn_map(std::u16string_view table) const;

 private:
  std::map<std::u16string, name_pairs, std::less<>> columns_;
};
