// The first pass over a worksheet: used range, column names and types.
//
// The used range spans from the first to the last row and column holding a
// cell with a value (number, text, boolean or error); formatting-only cells
// do not extend it. With a header row the range's first row names the
// columns and is not data. Each column's type is decided from all its data
// cells. A number means what its format says (wb_number_format::
// effective_class): a moment of the calendar (date or date-time formats), a
// time of day, a duration, a currency amount, or a plain number. Then:
//   all numbers, all moments or all times of day -> date ("Format": "Long
//     Time" when every value is a pure time, "Short Date" when none has a
//     time of day, "General Date" otherwise);
//   all numbers, all durations -> date "Long Time" when each lies within
//     the server's TIME range (read as H:MM:SS texts), text 255 otherwise;
//   all numbers, all currency -> currency (double when a value does not fit
//     the currency range);
//   all numbers, all plain -> double;
//   numbers of several meanings -> text 255, each number written as its
//     format reads (wb_format_number_cell);
//   all booleans -> boolean;
//   anything else (text, mixed kinds) -> text 255, or memo when a text is
//     longer than 255 UTF-16 units; a column without values is text 255.
// Error cells count for the range but not for the type. Values below the
// sheet's last row (wb_max_rows) are left out; rows_past_limit() tells
// whether there were any. So are values out of order (in a row above one
// already read, or at the place of the cell just read, which keeps its
// value); cells_out_of_order() counts them.
//
// The pass asks the source for lengths rather than whole texts past
// header_text_limit units (wb_sheet_source::set_text_limit): a header text
// longer than that names its column by its first header_text_limit units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "wb_column_def.h"
#include "wb_sheet_source.h"

class wb_sheet_schema {
 public:
  // UTF-16 units of a text the pass reads whole; a column name is far
  // shorter than this anyway (a table takes 64 characters).
  static constexpr std::size_t header_text_limit = 64 * 1024;

  // Reads `source` from its current position to the end. Returns false
  // with `dao_error` when the source fails. A sheet without any value gets
  // one text column F1 and no rows.
  bool scan(wb_sheet_source& source, bool header_row, bool date1904, long& dao_error);
  // The same pass fed cell by cell: start(), add() for each cell as the
  // source gives it, finish(). A copy finished part way tells the columns of
  // the cells added so far; the types of more cells can only differ.
  void start(bool header_row, bool date1904);
  void add(const wb_raw_cell& c);
  void finish();
  // Told the sheet row reached every 4,096 rows while a sheet is scanned on
  // the calling thread, for a progress display; an empty one is not told.
  static void set_row_observer(std::function<void(std::uint32_t row)> observer) { row_observer_ = std::move(observer); }

  const std::vector<wb_column_def>& columns() const { return columns_; }
  // 0-based sheet column of the first field.
  std::uint32_t first_column() const { return first_column_; }
  // 0-based sheet row of the first data row, and the number of data rows
  // (rows without values inside the range included).
  std::uint32_t first_data_row() const { return first_data_row_; }
  std::uint32_t row_count() const { return row_count_; }
  bool date1904() const { return date1904_; }
  // Whether a cell below the sheet's last row holds a value: such rows are
  // not part of the table.
  bool rows_past_limit() const { return rows_past_limit_; }
  std::uint64_t cells_out_of_order() const { return cells_out_of_order_; }
  // What the source's unreadable_values() was at the end of the scan.
  std::uint64_t unreadable_values() const { return unreadable_values_; }
  std::uint64_t uncalculated_formulas() const { return uncalculated_formulas_; }
  // Cells of the rows that hold an error value (#DIV/0!, #N/A...): NULL.
  std::uint64_t error_values() const { return error_values_; }
  // Whether the scan met any value (the sheet is not empty).
  bool holds_values() const { return any_; }

  // Whether `other` gives the same columns (names, types, sizes, formats)
  // in the same place of the sheet: rows read with either are the same.
  bool same_columns(const wb_sheet_schema& other) const;
  // Takes the row count, rows_past_limit(), cells_out_of_order() and
  // unreadable_values() of `other`.
  void take_counts(const wb_sheet_schema& other) {
    row_count_ = other.row_count_;
    rows_past_limit_ = other.rows_past_limit_;
    cells_out_of_order_ = other.cells_out_of_order_;
    unreadable_values_ = other.unreadable_values_;
    uncalculated_formulas_ = other.uncalculated_formulas_;
    error_values_ = other.error_values_;
  }

 private:
  struct column_stats {
    std::uint32_t numbers = 0;  // number cells of every meaning
    std::uint32_t booleans = 0;
    std::uint32_t texts = 0;
    std::size_t longest_text = 0;
    std::uint8_t meanings = 0;
    bool any_time_of_day = false;
    bool all_pure_time = true;
    // An amount no currency column holds as it is: 10^15 or more, or of more
    // than four decimals (the column is DOUBLE).
    bool currency_unfit = false;
    bool duration_overflow = false;  // a duration past the server's TIME range
  };

  // The pass under way.
  bool header_row_ = false;
  bool any_ = false;
  std::uint32_t top_row_ = 0, last_row_ = 0, min_col_ = 0, max_col_ = 0;
  std::vector<column_stats> stats_;
  std::vector<std::pair<std::uint32_t, std::u16string>> headers_;

  std::vector<wb_column_def> columns_;
  std::uint32_t first_column_ = 0;
  std::uint32_t first_data_row_ = 0;
  std::uint32_t row_count_ = 0;
  bool date1904_ = false;
  bool rows_past_limit_ = false;
  std::uint64_t cells_out_of_order_ = 0;
  std::uint64_t unreadable_values_ = 0;
  std::uint64_t uncalculated_formulas_ = 0;
  std::uint64_t error_values_ = 0;
  std::vector<std::uint32_t> seen_in_row_;  // per column, 1 + the last row that gave it a cell
  static inline thread_local std::function<void(std::uint32_t)> row_observer_;
};
