// wb_sheet_source for one worksheet of a BIFF5/7 or BIFF8 workbook.
//
// The sheet is read from its BOF record to the matching EOF through its own
// window on the workbook stream; records of embedded substreams (charts
// inside the sheet) are skipped. Cells are decoded one row block at a time
// (the rows a writer groups between ROW records and a DBCELL, at most 32)
// into a small queue that next_cell() drains. A block whose rows are out of
// order is sorted by row, so rows reach the common layer ascending. Texts of
// LABEL, RSTRING and formula STRING records go to an arena reused from block
// to block; shared strings point into the workbook's table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wb_biff_record_cursor.h"
#include "wb_cfb_stream.h"
#include "wb_sheet_source.h"

class wb_biff_workbook;

class wb_biff_sheet final : public wb_sheet_source {
 public:
  // `book` must outlive the sheet; `stream` is the sheet's own reader of the
  // workbook stream and `bof_offset` the offset of the sheet's BOF record.
  wb_biff_sheet(const wb_biff_workbook& book, std::unique_ptr<wb_cfb_stream> stream, std::uint64_t bof_offset);

  bool next_cell(wb_raw_cell& cell) override;
  bool rewind() override;
  long error() const override { return error_; }
  std::uint64_t uncalculated_formulas() const override { return uncalculated_; }
  std::uint64_t unreadable_values() const override { return unreadable_; }

 private:
  struct queued_cell {
    std::uint32_t row;
    std::uint32_t column;
    wb_cell_kind kind;
    wb_number_class number_class;
    bool stable;
    double number;
    const char16_t* stable_text;  // when `stable`
    std::uint32_t text_offset;    // into text_arena_ otherwise
    std::uint32_t text_length;
  };

  // A block ends at its DBCELL, at the ROW record that starts the next
  // block, or after this many cells when a writer leaves blocks out.
  static constexpr std::size_t max_block_cells = 8192;
  // Also after this many UTF-16 units of LABEL and formula texts, so a block
  // of long texts cannot grow the arena without bound.
  static constexpr std::size_t max_block_text_units = std::size_t{1} << 22;

  bool read_block();
  void read_cell_record();
  void push_number(std::uint32_t row, std::uint32_t column, std::uint16_t xf, double value);
  void push_plain(std::uint32_t row, std::uint32_t column, wb_cell_kind kind, double value);
  // A boolean byte: 0 or 1, any other is no value.
  void push_boolean(std::uint32_t row, std::uint32_t column, std::uint8_t value);
  void push_text(std::uint32_t row, std::uint32_t column, std::size_t offset);
  // Reads a LABEL/RSTRING/STRING text at the cursor into the arena; returns its offset.
  std::size_t read_text(bool wide_count);
  void fail();
  // The sheet's data ended: done, or failed when the file changed meanwhile.
  void end_sheet();

  const wb_biff_workbook& book_;
  std::unique_ptr<wb_cfb_stream> stream_;
  wb_biff_record_cursor cursor_;
  std::uint64_t bof_offset_;
  bool biff8_;
  long error_ = 0;
  std::uint64_t uncalculated_ = 0;  // formula records without a result, this reading
  // Values that are none of their cell's kind (a number that is NaN or
  // infinite, a boolean byte other than 0 and 1, a shared-text index past
  // the table), this reading: no value.
  std::uint64_t unreadable_ = 0;
  bool done_ = false;
  int depth_ = 0;  // nesting of BOF/EOF; the sheet's own records are at depth 1

  // A formula whose string result follows in a STRING record.
  bool string_pending_ = false;
  std::uint32_t pending_row_ = 0;
  std::uint32_t pending_column_ = 0;

  std::vector<queued_cell> queue_;
  std::size_t queue_pos_ = 0;
  std::u16string text_arena_;
  std::vector<unsigned char> bytes_;  // a BIFF5 byte string before decoding
};
