// Cells handed in order from the thread that reads a worksheet to the
// thread that uses them: the first pass over a sheet, run on a thread of
// its own, gives a copy of every cell with a value to the copy of its rows,
// which goes on meanwhile.
//
// Cells travel in blocks. A text the workbook owns (text_is_stable) travels
// as its view; any other text is copied into its block. Memory stays
// bounded whatever the sheet's size: the writer waits while max_blocks full
// blocks wait for the reader.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "wb_raw_cell.h"

class wb_cell_log {
 public:
  static constexpr std::size_t block_cells = 2048;
  static constexpr std::size_t max_blocks = 8;

  // The writer's side. Adds a copy of `cell` (its text_buffer is not
  // carried: the copy's text is a view). False once the reader has
  // cancelled: the writer should stop.
  bool push(const wb_raw_cell& cell);
  // Ends the log after the cells pushed so far.
  void close();

  // The reader's side. The next cell, whose text stays valid until the next
  // call; false after the last one (or after cancel()).
  bool pop(wb_raw_cell& cell);
  // The reader reads no more: a waiting writer is woken, and its next push
  // fails.
  void cancel();
  // The reader needs no more cells but the writer should go on to its end:
  // what waits is dropped, and later pushes succeed without copying.
  void stop_copying();

 private:
  struct entry {
    wb_raw_cell cell;        // text empty unless it is a view of stable text
    std::size_t offset = 0;  // of a copied text, in the block's text
    std::size_t length = 0;
    bool copied = false;
  };
  struct block {
    std::vector<entry> cells;
    std::u16string text;
  };
  void publish();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<block> full_;             // under mutex_
  std::vector<block> spare_;           // under mutex_: read blocks, for reuse
  bool closed_ = false;                // under mutex_
  bool cancelled_ = false;             // under mutex_
  std::atomic<bool> dropping_{false};  // stop_copying() was called
  block writing_;                      // the writer's own
  block reading_;                      // the reader's own
  std::size_t read_pos_ = 0;           // the reader's next cell in reading_
};
