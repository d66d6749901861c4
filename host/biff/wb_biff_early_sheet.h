// wb_sheet_source for one worksheet of an Excel 2.x-4.0 file (BIFF2-4).
//
// The sheet is read record by record from its BOF to the matching EOF
// through its own window on the file, each cell record handed out as it is
// met: these versions store a sheet row by row, with no row blocks to
// reorder. The number class of a cell comes from its number format: in
// BIFF2 the cell's own attribute bytes name it (or, when they name the
// General format, its XF record); in BIFF3 and 4 its XF record does.
// Formats are referred to by the position of their FORMAT record; a sheet
// that stores no FORMAT or XF records of its own uses those of the
// workbook's globals. Texts are decoded from the workbook's code page into a
// buffer reused from cell to cell.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wb_biff_record_cursor.h"
#include "wb_cfb_stream.h"
#include "wb_sheet_source.h"

class wb_biff_early_workbook;

class wb_biff_early_sheet final : public wb_sheet_source {
 public:
  // `book` must outlive the sheet; `stream` is the sheet's own reader of the
  // file and `bof_offset` the offset of the sheet's BOF record.
  wb_biff_early_sheet(const wb_biff_early_workbook& book, std::unique_ptr<wb_cfb_stream> stream,
                      std::uint64_t bof_offset);

  bool next_cell(wb_raw_cell& cell) override;
  bool rewind() override;
  long error() const override { return error_; }
  std::uint64_t unreadable_values() const override { return unreadable_; }

 private:
  // Turns the current record into `cell`; false when it holds no value.
  bool read_cell(wb_raw_cell& cell);
  // Whether `cell` holds a value of its kind; counts it when not.
  bool readable(const wb_raw_cell& cell);
  // Reads the cell's attributes (BIFF2) or XF index (BIFF3-4) at the cursor
  // and returns the class of its number format.
  wb_number_class read_style();
  wb_number_class format_class(std::size_t format) const;
  // Reads a byte string with an 8-bit or 16-bit length into text_.
  void read_text(bool wide_count);
  void fail();
  // The sheet's data ended: done, or failed when the file changed meanwhile.
  void end_sheet();

  const wb_biff_early_workbook& book_;
  std::unique_ptr<wb_cfb_stream> stream_;
  wb_biff_record_cursor cursor_;
  std::uint64_t bof_offset_;
  long error_ = 0;
  // Values that are none of their cell's kind (a number that is NaN or
  // infinite, a boolean byte other than 0 and 1), this reading: no value.
  std::uint64_t unreadable_ = 0;
  bool done_ = false;
  int depth_ = 0;  // nesting of BOF/EOF; the sheet's own records are at depth 1

  std::vector<wb_number_class> formats_;   // the sheet's own, by FORMAT position
  std::vector<std::uint16_t> xf_formats_;  // the sheet's own XF records' formats
  std::uint16_t ixfe_ = 0;                 // BIFF2: the XF of a cell whose attributes say 63

  // A formula whose string result follows in a STRING record.
  bool string_pending_ = false;
  std::uint32_t pending_row_ = 0;
  std::uint32_t pending_column_ = 0;

  std::u16string text_;
  std::vector<unsigned char> bytes_;
};
