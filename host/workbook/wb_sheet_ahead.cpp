#include "wb_sheet_ahead.h"

wb_sheet_ahead::wb_sheet_ahead(wb_sheet_source& source, bool header_row, bool date1904)
    : source_(source), header_row_(header_row), date1904_(date1904) {
  thread_ = std::thread([this] { run(); });
}

wb_sheet_ahead::~wb_sheet_ahead() {
  log_.cancel();
  if (!joined_) thread_.join();
}

void wb_sheet_ahead::run() {
  try {
    tee reading(*this);
    ok_ = schema_.scan(reading, header_row_, date1904_, error_);
  } catch (...) {
    thrown_ = std::current_exception();
  }
  log_.close();
}

bool wb_sheet_ahead::tee::next_cell(wb_raw_cell& cell) {
  if (!owner_.source_.next_cell(cell)) return false;
  if (cell.kind == wb_cell_kind::empty) return true;
  if (cell.text_omitted != 0) owner_.cut_ = true;
  if ((++owner_.cells_ & (look_every - 1)) == 0 && owner_.has_expected_.load(std::memory_order_acquire)) owner_.look();
  // A reader that went away ends the pass early; its outcome is not used.
  return owner_.log_.push(cell);
}

void wb_sheet_ahead::expect(const wb_sheet_schema& columns) {
  expected_ = columns;
  has_expected_.store(true, std::memory_order_release);
}

void wb_sheet_ahead::look() {
  if (broken_.load(std::memory_order_relaxed)) return;
  // The pass's state between two cells, finished on a copy.
  wb_sheet_schema now = schema_;
  now.finish();
  if (!now.same_columns(expected_)) broken_.store(true, std::memory_order_relaxed);
}

bool wb_sheet_ahead::finish(long& dao_error) {
  if (!joined_) {
    thread_.join();
    joined_ = true;
  }
  if (thrown_) std::rethrow_exception(thrown_);
  dao_error = error_;
  return ok_;
}
