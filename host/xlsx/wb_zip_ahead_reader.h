// A zip entry inflated ahead of its reader by a thread of its own.
//
// The thread inflates the entry (and checks its CRC) into blocks of
// block_size bytes while the caller parses the blocks before them; at most
// max_blocks blocks wait, so memory stays bounded whatever the entry's
// size. The thread works on an archive handle of its own (libzip handles
// are not shared between threads), opened from the same file or bytes, so
// the caller may go on using the archive it came from.
//
// A failure of the inflation is reported after the blocks inflated before
// it, as read() returning -1 with error() giving 3274. When no thread can
// be started, the caller inflates the entry itself.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "wb_byte_reader.h"

struct zip;
struct zip_file;

class wb_zip_ahead_reader final : public wb_byte_reader {
 public:
  static constexpr std::size_t block_size = std::size_t(1) << 18;
  static constexpr std::size_t max_blocks = 4;

  // Takes `archive` (its own handle) and reads its entry `index`; the
  // first block is being inflated when the constructor returns. Returns
  // nullptr when the entry cannot be opened.
  static std::unique_ptr<wb_zip_ahead_reader> open(struct zip* archive, std::uint64_t index);
  ~wb_zip_ahead_reader() override;
  wb_zip_ahead_reader(const wb_zip_ahead_reader&) = delete;
  wb_zip_ahead_reader& operator=(const wb_zip_ahead_reader&) = delete;

  long read(void* buffer, std::size_t size) override;
  bool rewind() override;
  long error() const override { return error_; }

 private:
  wb_zip_ahead_reader(struct zip* archive, std::uint64_t index, struct zip_file* file);
  void start();
  void stop();
  void inflate();

  struct zip* archive_;
  std::uint64_t index_;
  struct zip_file* file_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Shared with the thread, under mutex_.
  std::deque<std::vector<char>> full_;
  std::vector<std::vector<char>> spare_;
  bool ended_ = false;               // the thread has inflated everything, or failed
  bool failed_ = false;              // the inflation failed
  std::exception_ptr error_thrown_;  // what the thread could not go on for, rethrown by read()
  bool stopping_ = false;
  // The caller's own.
  bool alone_ = false;  // no thread: read() inflates
  std::vector<char> current_;
  std::size_t taken_ = 0;
  long error_ = 0;
};
