#include "wb_ahead_source.h"

#include "wb_error_list.h"

bool wb_ahead_source::keep_first_rows(std::size_t rows, bool header_row) {
  bool any = false;
  std::size_t first_row = 0;
  wb_raw_cell cell;
  while (log_.pop(cell)) {
    kept& k = kept_.emplace_back();
    k.cell = cell;
    if (!cell.text.empty() && !cell.text_is_stable) {
      k.text.assign(cell.text);
      k.cell.text = {};
    }
    if (cell.column >= wb_max_columns || cell.row >= wb_max_rows) continue;
    if (!any) {
      any = true;
      first_row = cell.row + (header_row ? 1 : 0);
    }
    if (cell.row >= first_row && cell.row - first_row >= rows) return true;
  }
  return false;
}

void wb_ahead_source::replay_kept(bool only) {
  only_kept_ = only;
  next_ = 0;
}

bool wb_ahead_source::next_cell(wb_raw_cell& cell) {
  if (next_ < kept_.size()) {
    const kept& k = kept_[next_++];
    cell = k.cell;
    if (!k.text.empty()) cell.text = k.text;
    return true;
  }
  if (only_kept_) return false;
  past_kept_ = true;
  return log_.pop(cell);
}

bool wb_ahead_source::rewind() {
  if (past_kept_) {
    error_ = wb_dao_error::unexpected_format;
    return false;
  }
  next_ = 0;
  return true;
}
