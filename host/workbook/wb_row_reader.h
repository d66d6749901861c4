// The second pass over a worksheet: assembles the data rows of the used
// range, one at a time, into one wb_value per column, converted to the
// column's type:
//   text column: texts as they are; numbers as their format reads them
//     (wb_format_number_cell: dates, times, durations, currency and plain
//     numbers each in their own form); booleans as TRUE / FALSE;
//   date column: the OLE date, or for a column of durations the text
//     H:MM:SS; currency: the amount scaled by 10,000;
//   double: the number; boolean: the boolean.
// Error cells and empty cells are NULL; a row without values arrives with
// every field NULL.
//
// No allocation per cell once the buffers have grown: each field owns a
// text buffer reused from row to row, and shared strings are not copied.
// A long text that the source holds in a buffer of its own is taken over
// (the buffers are swapped) rather than copied, and a field buffer grown
// to a long text is released when the row ends, so that the next row's
// cells do not sit beside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wb_sheet_schema.h"
#include "wb_sheet_source.h"
#include "wb_value.h"

class wb_row_reader {
 public:
  // Both must outlive the reader. An `open_ended` reader reads rows until
  // the source ends rather than schema.row_count() of them (the schema of a
  // sheet's first rows, whose count is not known yet).
  wb_row_reader(wb_sheet_source& source, const wb_sheet_schema& schema, bool open_ended = false);

  // Rewinds the source to before the first data row. False on failure.
  bool restart();
  // Reads the next data row into values(). Returns false after the last
  // row or on failure (error() != 0).
  bool next_row();

  const std::vector<wb_value>& values() const { return values_; }
  // The text buffer of field `field`, which its value views when it is a
  // text of the sheet's own (not a shared string); see wb_field::take_text.
  std::u16string& buffer(std::size_t field) { return buffers_.at(field); }
  // Sets every value to NULL (no current row).
  void clear_values();
  long error() const { return error_; }
  // The rows read since the last restart.
  std::uint32_t rows_read() const { return next_row_; }

 private:
  void set_value(std::size_t field, const wb_raw_cell& cell);
  void release_long_buffers();

  wb_sheet_source& source_;
  const wb_sheet_schema& schema_;
  const bool open_ended_;
  std::vector<wb_value> values_;
  std::vector<std::u16string> buffers_;
  std::uint32_t next_row_ = 0;  // index (0-based, within the data rows) of the row next_row() reads
  std::uint32_t last_row_seen_ = 0;
  std::vector<std::uint32_t> seen_in_row_;  // as wb_cell_out_of_order keeps it
  bool any_seen_ = false;
  wb_raw_cell pending_;
  bool has_pending_ = false;
  bool source_done_ = false;
  bool took_buffers_ = false;  // a buffer was taken over from the source since the last release
  long error_ = 0;
};
