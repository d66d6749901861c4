// The cells of a worksheet read ahead (wb_sheet_ahead) as a sheet source:
// the cells of the first rows kept, then the others as the log gives them.
// The kept cells may be read again (rewind) until a cell past them has been
// read; the first rows' types are decided from them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "wb_cell_log.h"
#include "wb_sheet_source.h"

class wb_ahead_source final : public wb_sheet_source {
 public:
  explicit wb_ahead_source(wb_cell_log& log) : log_(log) {}

  // Reads and keeps the cells up to the first one below the first `rows`
  // data rows (the rows after the first row with a value when
  // `header_row`), that one included. False when the log ends first: then
  // every cell of the sheet is kept.
  bool keep_first_rows(std::size_t rows, bool header_row);
  // From the first kept cell: only the kept cells (`only`), or the kept
  // cells and then the rest of the log.
  void replay_kept(bool only);

  bool next_cell(wb_raw_cell& cell) override;
  // Back to the first kept cell; fails (3274) once a cell past the kept
  // ones has been read.
  bool rewind() override;
  long error() const override { return error_; }

 private:
  struct kept {
    wb_raw_cell cell;
    std::u16string text;  // the copy of a text the workbook does not own
  };

  wb_cell_log& log_;
  std::vector<kept> kept_;
  std::size_t next_ = 0;  // the next kept cell to deliver
  bool only_kept_ = false;
  bool past_kept_ = false;  // a cell of the log has been delivered
  long error_ = 0;
};
