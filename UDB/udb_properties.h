#pragma once
// Named text properties of a database, a table or a column, as the user's
// type mappings give them (for a table: "engine", "character set"; for a
// column: "new_name", "type", "default_value", "character_set", "length",
// "scale", "precision"). Keys compare exactly.
//
// The database's list also answers for its tables: the destinations ask it
// for a table's properties when they create the table.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class udb_properties {
 public:
  virtual ~udb_properties();

  // The value of a property, or the empty text when it is absent.
  virtual std::u16string get_property(std::u16string_view key) const;
  // The properties of one table of this database (by its destination or
  // its source name), or null when the table has none. Base: null.
  virtual const udb_properties* get_table_properties(std::u16string_view table) const;

  // Sets a property; a later value for the same key replaces the earlier one.
  void set_property(std::u16string key, std::u16string value);
  const std::vector<std::pair<std::u16string, std::u16string>>& properties() const { return properties_; }

 protected:
  std::vector<std::pair<std::u16string, std::u16string>> properties_;
};
