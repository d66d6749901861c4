#pragma once
// Widens destination text columns that prove too narrow for CSV values.
// Every CSV column is created as text of csv_file::column_size characters;
// the first value longer than that in a column makes do_upsize run once for
// that column (the destination's form turns it into TEXT); later long values
// in the same column do nothing.
//
// Holds, not owned: the destination database and the destination table,
// whose schema gives the column descriptor of each position.

#include <cstddef>
#include <vector>

struct t_ftd;
class udb_database;
class udb_record;
class udb_recordset;

class csv_field_upsizer {
 public:
  csv_field_upsizer(udb_database* database, udb_recordset* table);
  virtual ~csv_field_upsizer();

  // Looks at every field of a record about to be appended.
  void process(const udb_record& record);
  // The columns widened so far, by position; columns another upsizer of the
  // same table widened already are taken as widened.
  const std::vector<bool>& upsized() const noexcept { return upsized_; }
  void assume_upsized(const std::vector<bool>& columns) { upsized_ = columns; }

 protected:
  // Widens one column; the base does nothing.
  virtual void do_upsize(const t_ftd& column);

  udb_database* database_;
  udb_recordset* table_;

 private:
  std::vector<bool> upsized_;  // one bit per column position, set once widened
};
