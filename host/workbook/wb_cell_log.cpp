#include "wb_cell_log.h"

#include <utility>

bool wb_cell_log::push(const wb_raw_cell& cell) {
  if (dropping_.load(std::memory_order_relaxed)) return true;
  entry& e = writing_.cells.emplace_back();
  e.cell = cell;
  e.cell.text_buffer = nullptr;
  if (!cell.text.empty() && !cell.text_is_stable) {
    e.cell.text = {};
    e.copied = true;
    e.offset = writing_.text.size();
    e.length = cell.text.size();
    writing_.text.append(cell.text);
  }
  if (writing_.cells.size() < block_cells) return true;
  publish();
  std::lock_guard<std::mutex> lock(mutex_);
  return !cancelled_;
}

void wb_cell_log::publish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return full_.size() < max_blocks || cancelled_ || dropping_; });
  if (cancelled_ || dropping_) {
    writing_.cells.clear();
    writing_.text.clear();
    return;
  }
  full_.push_back(std::move(writing_));
  if (!spare_.empty()) {
    writing_ = std::move(spare_.back());
    spare_.pop_back();
  } else {
    writing_ = block();
  }
  writing_.cells.clear();
  writing_.text.clear();
  changed_.notify_all();
}

void wb_cell_log::close() {
  if (!writing_.cells.empty()) publish();
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

bool wb_cell_log::pop(wb_raw_cell& cell) {
  if (read_pos_ == reading_.cells.size()) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!reading_.cells.empty()) {
      spare_.push_back(std::move(reading_));
      reading_ = block();
    }
    changed_.wait(lock, [this] { return !full_.empty() || closed_ || cancelled_; });
    if (full_.empty() || cancelled_) return false;
    reading_ = std::move(full_.front());
    full_.pop_front();
    read_pos_ = 0;
    changed_.notify_all();
  }
  const entry& e = reading_.cells[read_pos_++];
  cell = e.cell;
  if (e.copied) cell.text = std::u16string_view(reading_.text).substr(e.offset, e.length);
  return true;
}

void wb_cell_log::cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
  changed_.notify_all();
}

void wb_cell_log::stop_copying() {
  std::lock_guard<std::mutex> lock(mutex_);
  dropping_ = true;
  full_.clear();
  changed_.notify_all();
}
