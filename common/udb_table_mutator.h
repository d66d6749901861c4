#pragma once
// The user's rules for one source table: an optional new table name, the
// table's properties (for example "engine", "character set") and the rules
// of its columns, keyed by source column name and, a second index, by new
// column name. Names compare exactly (case matters).
//
// It rewrites the table's schema (modify1), its indexes (modify3) and each
// record (modify2). The record rewrite is on the copy path: the table
// mutator owns the output record and reuses it, with its fields' storage,
// from row to row; it works from a plan (per source field: copy, rewrite or
// drop) made on the first record and kept while the records keep the same
// field names in the same order.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "udb_field_mutator.h"
#include "udb_properties.h"
#include "udb_record.h"

class udb_indexes;
class udb_schema;

class udb_table_mutator : public udb_properties {
 public:
  explicit udb_table_mutator(std::u16string source_name);
  ~udb_table_mutator() override;
  udb_table_mutator(const udb_table_mutator&) = delete;
  udb_table_mutator& operator=(const udb_table_mutator&) = delete;

  const std::u16string& source_name() const { return source_name_; }
  // Empty when the table keeps its name.
  const std::u16string& new_name() const { return new_name_; }
  void set_new_name(std::u16string_view name);

  // Finds or creates the rule of column `old_name` and gives it the new
  // name and the mapping.
  udb_field_mutator& update_field(std::u16string_view old_name, std::u16string_view new_name,
                                  const udb_field_mapping& mapping);

  const udb_field_mutator* find_field(std::u16string_view source_name) const;
  bool has_field_mutators() const { return !field_mutators_.empty(); }
  const std::map<std::u16string, std::unique_ptr<udb_field_mutator>, std::less<>>& field_mutators() const {
    return field_mutators_;
  }

  // Rewrites the schema in place: dropped columns removed, the others with
  // a rule renamed and retyped. Nothing happens without column rules.
  void modify1(udb_schema& schema) const;
  // Rewrites the indexes in place: dropped columns leave every index, the
  // others take their new names. An index left without columns is removed.
  void modify3(udb_indexes& indexes) const;
  // The record to store for `record`: `record` itself when the table has no
  // column rules, else the owned output record rewritten from it. The
  // output record is valid until the next modify2 call on this object (or
  // its destruction); it must not be kept beyond that.
  const udb_record& modify2(const udb_record& record);

 protected:
  // A new column rule; a destination derives to make its own kind.
  virtual std::unique_ptr<udb_field_mutator> create_field_mutator(std::u16string source_name) const;

 private:
  // One source field's part in the output record; a null mutator copies it.
  struct plan_step {
    size_t source_index;
    const udb_field_mutator* mutator;
  };

  bool plan_fits(const udb_record& record) const;
  void make_plan(const udb_record& record);

  std::u16string source_name_;
  std::u16string new_name_;
  std::map<std::u16string, std::unique_ptr<udb_field_mutator>, std::less<>> field_mutators_;

  std::vector<std::u16string> plan_names_;  // the source field names the plan was made for
  std::vector<plan_step> plan_;
  bool has_plan_ = false;
  udb_record out_;
};
