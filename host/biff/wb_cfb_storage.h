// Random-access bytes under a compound file: a file read with pread(), or a
// caller's buffer (tests, fuzzing). Streams share one storage, so several
// readers can be open at once without sharing a file position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class wb_cfb_storage {
 public:
  virtual ~wb_cfb_storage() = default;
  std::uint64_t size() const { return size_; }
  // Copies up to `count` bytes at `offset` into `dest`; returns the number
  // copied, which is less than `count` only at the end or on a read error.
  virtual std::size_t read_at(std::uint64_t offset, void* dest, std::size_t count) const = 0;
  // Whether the file is as it was opened (its size and time of change): a
  // file written in place while it is read gives the records of two files.
  virtual bool unchanged() const { return true; }

  // Opens a file (`path` in UTF-8). Returns nullptr when it cannot be opened.
  static std::shared_ptr<wb_cfb_storage> open_file(const std::string& path);
  // Reads a caller-owned buffer that must outlive the storage and its streams.
  static std::shared_ptr<wb_cfb_storage> from_memory(std::string_view bytes);

 protected:
  std::uint64_t size_ = 0;
};
