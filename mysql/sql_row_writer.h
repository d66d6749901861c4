#pragma once
// The common base of the two table writers, the live server's (sql_table)
// and the dump file's (dmp_recordset): where the rows the server would
// refuse are reported, and the sending of what is pending.
//
// A refused row is reported with its number (1-based among the records
// appended to the table) to the sink the driver sets, or, without one,
// through the error handler with the table's name and the row's number.

#include <cstdint>
#include <string>

#include "udb_recordset.h"

class sql_row_error_sink;
class tk_exception;

class sql_row_writer : public udb_recordset {
 public:
  using udb_recordset::udb_recordset;

  // Sends (writes) the pending rows; a row refused on the way is reported.
  virtual void flush() = 0;
  // On the way out of a failure: sends what is pending as the destructor
  // would, waits for it and tells what became of the rows (stored,
  // refused); a failure of theirs is reported, not raised.
  virtual void settle() noexcept {}
  void set_row_error_sink(sql_row_error_sink* sink) noexcept { sink_ = sink; }

 protected:
  void refuse_row(uint64_t row_number, const tk_exception& e);
  // Of a committed statement's rows, `stored` were stored and `held` passed
  // over for a key the table holds.
  void commit_rows(uint64_t stored, uint64_t held);

 private:
  sql_row_error_sink* sink_ = nullptr;
};
