#pragma once
// What the user sees of one table's copy: the progress line while the
// records are read (see tk_status_line) and, after the table, its account:
//   Orders: 1,000,000 rows read, 999,998 stored, 2 refused; qty VARCHAR(255) → INT; 12.4 s
// with, when rows were passed over for a key the table holds,
//   Orders: 5 rows read, 2 stored, 3 passed over (key held), 0 refused; 0.1 s
// on a terminal, and always in the trace log. The run's total adds up the
// tables' accounts.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tk_status_line.h"

class udb_recordset;

class table_progress {
 public:
  explicit table_progress(std::u16string table);

  // The records of a reading before the copy, which stores nothing.
  void begin_first_reading() noexcept { first_reading_ = true; }
  void end_first_reading() noexcept { first_reading_ = false; }

  // One more record read from `source`; the line is shown when due.
  void record_read(const udb_recordset& source) {
    if (first_reading_) {
      ++first_read_;
    } else {
      ++read_;
    }
    if (((first_read_ + read_) & 1023) == 0 && tk_status_line::due()) show(source);
  }
  void record_refused() noexcept { ++refused_; }
  void record_skipped() noexcept { ++skipped_; }
  // Of the rows of a statement the server committed: those it stored for
  // good (of a table whose rows stay when it fails, rows added to a table
  // that was there, the account of a failure tells them) and those it passed
  // over, as the table holds their unique key.
  void record_committed(uint64_t stored, uint64_t held) noexcept {
    committed_ += stored;
    held_ += held;
  }
  void set_rows_stay(bool stay) noexcept { rows_stay_ = stay; }
  // A column change the table went through ("qty VARCHAR(255) → INT").
  void add_change(std::string change) { changes_.push_back(std::move(change)); }

  // Erases the line, then writes the account (terminal and trace log); a
  // table that failed says so, and how many rows it read.
  void finish(bool failed = false);

  uint64_t read() const noexcept { return read_; }
  uint64_t stored() const noexcept { return read_ - refused_ - skipped_ - held_; }
  uint64_t refused() const noexcept { return refused_; }
  uint64_t held() const noexcept { return held_; }
  double seconds() const;

  // "1,234,567".
  static std::string grouped(uint64_t n);

 private:
  void show(const udb_recordset& source);

  std::u16string table_;
  std::chrono::steady_clock::time_point start_;
  bool first_reading_ = false;
  uint64_t first_read_ = 0;
  uint64_t read_ = 0;
  uint64_t refused_ = 0;
  uint64_t skipped_ = 0;
  uint64_t held_ = 0;
  uint64_t committed_ = 0;
  bool rows_stay_ = false;
  std::vector<std::string> changes_;
};
