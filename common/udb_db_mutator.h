#pragma once
// The user's type and name mappings for a whole run: the database's
// properties and one table rule (udb_table_mutator) per listed source table,
// read from the "Type Mappings" section of a profile. Table names compare
// exactly (case matters). Built when the profile is loaded; read during the
// conversion (only the table rules' output records change).
//
// The section is indentation-sensitive: each keyword must start its line
// with exactly the spaces shown, and keywords are case-sensitive.
//
//   database:                  optional, first line only
//     key: value               a database property (two spaces)
//   tables:                    required after the database block; without
//                              it the rest of the section is skipped
//     - name: Sheet1           a table (two spaces)
//       new_name: customers    only right after "- name:"
//       fields:                the column list
//         - name: F1           a column (six spaces)
//           new_name: id       eight spaces: new_name, status ("deleted"
//           type: INT          drops the column), type, default_value,
//           length: 11         character_set, length, scale, precision
//       properties:            closes the table: only property lines
//           engine: MyISAM     (eight spaces) may follow
//
// A property line whose value holds another ":" is ignored. Any other line
// in the table list, or a keyword out of its place, fails the load.

#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "udb_properties.h"
#include "udb_table_mutator.h"

class udb_indexes;
class udb_profile;
class udb_record;
class udb_schema;

class udb_db_mutator : public udb_properties {
 public:
  udb_db_mutator();
  ~udb_db_mutator() override;
  udb_db_mutator(const udb_db_mutator&) = delete;
  udb_db_mutator& operator=(const udb_db_mutator&) = delete;

  // Reads the profile's "Type Mappings" section, replacing every earlier
  // rule and property. False when the table list holds a malformed line; no
  // rules are kept then. An absent or empty section succeeds with no rules.
  bool load(const udb_profile& profile);
  // The same from the section's bare lines, as the profile keeps them.
  bool load_mappings(std::span<const std::u16string> lines);
  void clear_mutators();

  // The destination name of source table `table`, after rewriting its schema
  // and indexes in place by the table's rules; `table` itself when it has no
  // rule, or a rule without a new name.
  std::u16string modify1(std::u16string_view table, udb_schema& schema, udb_indexes& indexes);
  // The record to store for `record` of source table `table`: `record`
  // itself when the table has no column rules; otherwise the table rule's
  // output record, valid until the next modify2 call for the same table.
  const udb_record& modify2(std::u16string_view table, const udb_record& record);

  udb_table_mutator* find_table_mutator(std::u16string_view source_table);
  const udb_table_mutator* find_table_mutator(std::u16string_view source_table) const;
  const std::map<std::u16string, std::unique_ptr<udb_table_mutator>, std::less<>>& table_mutators() const {
    return tables_;
  }

  // The properties of a table, found by its source name or else by its new
  // name; null when the table has no rule or its rule no properties.
  const udb_properties* get_table_properties(std::u16string_view table) const override;

 protected:
  // A new table rule; a destination derives to make its own kind.
  virtual std::unique_ptr<udb_table_mutator> create_table_mutator(std::u16string source_name) const;

 private:
  std::map<std::u16string, std::unique_ptr<udb_table_mutator>, std::less<>> tables_;
  // modify2 runs once per record, mostly for the same table as before.
  std::u16string last_table_;
  udb_table_mutator* last_mutator_ = nullptr;
  bool has_last_ = false;
};
