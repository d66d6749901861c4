// One stream of a compound file, read forward through a window buffer and
// repositioned with seek(). A stream stored in regular sectors is read
// through its (already validated) sector chain on demand, contiguous sectors
// in one read, so memory stays at the window size whatever the stream's
// size; a small stream (from the mini stream, or bytes given in memory) is
// held whole. A workbook stored without a compound file around it (Excel
// 2.x to 4.0) is a stream that is the whole storage, read the same way.
//
// The BIFF record cursor takes its records straight from the window:
// require(n) makes n bytes contiguous at data() without copying them again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "wb_cfb_storage.h"

class wb_cfb_stream {
 public:
  // The window holds the longest BIFF record (4 + 65535 bytes) with room to spare.
  static constexpr std::size_t window_bytes = std::size_t{1} << 18;

  // A stream in regular sectors: `chain` lists its sectors in order and
  // every sector lies inside `storage` (the reader checked both).
  wb_cfb_stream(std::shared_ptr<const wb_cfb_storage> storage, std::shared_ptr<const std::vector<std::uint32_t>> chain,
                std::uint32_t sector_size, std::uint64_t size);
  // A stream held whole in memory.
  explicit wb_cfb_stream(std::shared_ptr<const std::vector<unsigned char>> bytes);
  // The whole of `storage` as one stream.
  explicit wb_cfb_stream(std::shared_ptr<const wb_cfb_storage> storage);

  // A second reader of the same stream, at offset 0, with its own window.
  std::unique_ptr<wb_cfb_stream> clone() const;

  std::uint64_t size() const { return size_; }
  std::uint64_t tell() const { return window_pos_ + begin_; }
  // Moves to `offset`; false when it lies past the end.
  bool seek(std::uint64_t offset);

  // Makes at least min(n, bytes left) bytes available at data(); returns
  // how many are available (0 at the end). `n` must not exceed the window.
  // A storage read that comes up short sets failed().
  std::size_t require(std::size_t n) {
    if (end_ - begin_ >= n) return end_ - begin_;
    return refill(n);
  }
  const unsigned char* data() const { return base_ + begin_; }
  // Consumes `n` available bytes.
  void advance(std::size_t n) { begin_ += n; }

  bool failed() const { return failed_; }
  // Whether the file under the stream is as it was opened (see wb_cfb_storage).
  bool unchanged() const { return !storage_ || storage_->unchanged(); }

 private:
  std::size_t refill(std::size_t n);
  std::size_t read_chain(std::uint64_t offset, unsigned char* dest, std::size_t count);

  std::shared_ptr<const wb_cfb_storage> storage_;
  std::shared_ptr<const std::vector<std::uint32_t>> chain_;
  std::shared_ptr<const std::vector<unsigned char>> whole_;
  std::uint32_t sector_size_ = 512;
  std::uint64_t size_ = 0;
  std::vector<unsigned char> window_;
  const unsigned char* base_ = nullptr;  // window_.data(), or the whole stream
  std::uint64_t window_pos_ = 0;         // stream offset of base_[0]
  std::size_t begin_ = 0;                // read position within the window
  std::size_t end_ = 0;                  // bytes valid in the window
  bool failed_ = false;
};
