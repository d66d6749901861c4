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

  // Takes from a profile, in this order: the selected tables ("Selected
  // Tables": a bare line selects a table, a "name=text" line a query), the
  // views and the saved queries, then "src", "dest", "logfile", "only
  // definitions", "mode" and "skip indexes" of "Generic settings", each only
  // when present and not empty. A list is replaced when the profile has its
  // section. "mode" must be one digit from 0 to 3; any other value raises
  // the level-1 "Invalid merge/overwrite mode". The two flags are false for
  // "0" and true for any other value. Returns true.
  virtual bool load_profile(const udb_profile& profile);

  // A file the run reads (its source, profile, table list, settings or the
  // client's option files), which neither the trace log nor a dump may be.
  void keep_from_log(const std::string& path) { read_files_.push_back(path); }
  // The dump the run writes, which the trace log must not be either.
  void keep_dump_from_log(const std::string& path) { written_files_.push_back(path); }
  // The files a profile names: its source, and its destination when the run
  // writes a dump there. Known before the profile is loaded, since a log
  // opened ahead of it would empty them.
  void keep_from_log(const udb_profile& profile, bool dump);
  const std::vector<std::string>& read_files() const { return read_files_; }
  // set_logfile, after refusing (level 1) a path that names the source or a
  // file given to keep_from_log or keep_dump_from_log: the log empties its
  // file, which would be lost.
  void open_log(const std::string& path);

  bool only_definitions() const { return only_definitions_; }
  bool skip_indexes() const { return skip_indexes_; }
  const std::u16string& current_table() const { return current_table_; }
  unsigned long record_no() const { return record_no_; }
  const std::vector<udb_selection>& selected_entries() const { return selected_entries_; }
  const std::vector<udb_selection>& selected_views() const { return selected_views_; }
  const std::vector<udb_selection>& available_queries() const { return available_queries_; }
  // Whether a loaded profile set the mode (a CSV source otherwise defaults to 1).
  bool mode_from_profile() const { return mode_from_profile_; }

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
  bool mode_from_profile_ = false;
  std::vector<std::string> read_files_;
  std::vector<std::string> written_files_;
};
