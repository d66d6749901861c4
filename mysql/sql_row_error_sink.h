#pragma once
// Receives the rows of a batch that the server refused, so that the caller
// reports each with its own record number and the conversion goes on.

#include <cstdint>

class tk_exception;

class sql_row_error_sink {
 public:
  virtual ~sql_row_error_sink() = default;
  // `row_number` is the 1-based position of the row among the records
  // appended to the table.
  virtual void refused_row(uint64_t row_number, const tk_exception& error) = 0;
  // A statement committed: `stored` rows are stored for good, `held` were
  // passed over as the table holds their unique key (or a row before them
  // of the same source held it).
  virtual void rows_committed(uint64_t stored, uint64_t held) {
    (void)stored;
    (void)held;
  }
};
