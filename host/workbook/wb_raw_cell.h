// A cell as a format backend delivers it, before any type decision.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class wb_cell_kind : std::uint8_t {
  empty,    // no value: formatting only, a formula without a cached value, empty text
  number,   // `number` holds the value (a date is a number with a date class)
  text,     // `text` holds the value
  boolean,  // `number` is 0 or 1
  error,    // #N/A, #DIV/0! ...: carries a value for the used range, reads as NULL
};

// What the cell's number format (through its style / XF index) says about
// a number. Only meaningful for number cells.
enum class wb_number_class : std::uint8_t {
  general,  // plain numbers, fractions, scientific, text format
  percent,  // read as a plain number
  currency,
  date,       // a date without time of day in the format
  time,       // a time of day without a date
  date_time,  // both
  duration,   // elapsed time ([h]:mm:ss, [m], [s]): a count of days, no calendar
};

// The calendar classes; a duration is not one of them.
constexpr bool wb_is_date_class(wb_number_class c) {
  return c == wb_number_class::date || c == wb_number_class::time || c == wb_number_class::date_time;
}

// The sheet size of the OOXML format; cells beyond it are not read (a
// source may deliver them; the passes skip them, and the first pass notes
// values beyond the last row: wb_sheet_schema::rows_past_limit()).
inline constexpr std::uint32_t wb_max_rows = 1048576;
inline constexpr std::uint32_t wb_max_columns = 16384;

struct wb_raw_cell {
  std::uint32_t row = 0;     // 0-based
  std::uint32_t column = 0;  // 0-based
  wb_cell_kind kind = wb_cell_kind::empty;
  wb_number_class number_class = wb_number_class::general;
  // True when `text` points into memory owned by the workbook source (for
  // example its shared-strings table), valid as long as that source lives.
  // False when it points into the sheet source's own buffer, valid only
  // until the next call of next_cell() or rewind().
  bool text_is_stable = false;
  double number = 0.0;       // raw value as stored: a date is the workbook's serial
  std::u16string_view text;  // UTF-16, for text cells
  // UTF-16 units cut off the end of `text` while the source measures long
  // texts (wb_sheet_source::set_text_limit); 0 when `text` is whole.
  std::size_t text_omitted = 0;
  // Not null for a text held in a buffer of the source's own, which holds
  // that text and nothing else: the reader may take the text over by
  // swapping the buffer with one of its own (the source reuses whatever it
  // gets back). Long texts come this way, so that they are never copied.
  std::u16string* text_buffer = nullptr;
};

// Whether `c` comes out of order: in a row above `last_row` (the row of the
// last cell taken, when `any` was taken), or at a column its row gave a cell
// already. `seen` keeps, per column, 1 + the last row that gave it a cell
// (empty at the start of a reading); it is updated for a cell in order. Both
// passes drop such cells alike.
inline bool wb_cell_out_of_order(const wb_raw_cell& c, bool any, std::uint32_t last_row,
                                 std::vector<std::uint32_t>& seen) {
  if (any && c.row < last_row) return true;
  if (c.column >= seen.size()) seen.resize(static_cast<std::size_t>(c.column) + 1);
  if (seen[c.column] == c.row + 1) return true;
  seen[c.column] = c.row + 1;
  return false;
}

// Whether a cell as a file gives it holds a value of its kind: no column
// holds NaN or an infinity, and a boolean is 0 or 1. A cell that does not
// is no value, counted as the readers' unreadable values.
inline bool wb_value_of_kind(wb_cell_kind kind, double number) {
  if (kind == wb_cell_kind::boolean) return number == 0 || number == 1;
  return kind != wb_cell_kind::number || std::isfinite(number);
}
