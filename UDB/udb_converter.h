#pragma once
// The source-independent part of a converter: the processing mode, the
// tables selected for conversion, and the counters of the table and record
// being converted.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tk_converter.h"

class udb_profile;

// A table chosen for conversion: its name and, for a query, its text.
struct udb_selection {
  std::u16string name;
  std::u16string query;
};

class udb_converter : public tk_converter {
 public:
  // 0 overwrite the entire database, 1 overwrite existing tables only,
  // 2 skip existing tables, 3 merge.
  void set_mode(int32_t mode);
  int32_t mode() const { return mode_; }

  // Takes the generic settings and the selected tables of a profile.
  virtual bool load_profile(const udb_profile& profile);

  bool only_definitions() const { return only_definitions_; }
  bool skip_indexes() const { return skip_indexes_; }
  const std::u16string& current_table() const { return current_table_; }
  unsigned long record_no() const { return record_no_; }
  const std::vector<udb_selection>& selected_entries() const { return selected_entries_; }

 protected:
  int32_t mode_ = 0;
  int32_t n_sel_tables_ = 0;
  int32_t cur_table_ = 0;
  std::u16string current_table_;
  unsigned long record_no_ = 0;
  std::vector<std::u16string> sel_tables_;
  std::vector<udb_selection> selected_entries_;
  std::vector<udb_selection> selected_views_;
  std::vector<udb_selection> available_queries_;
  bool only_definitions_ = false;
  bool skip_indexes_ = false;
};
