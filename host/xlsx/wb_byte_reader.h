// A rewindable stream of bytes: a zip entry, or memory for tests and fuzzing.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

class wb_byte_reader {
 public:
  virtual ~wb_byte_reader() = default;
  // Reads up to `size` bytes. Returns the count, 0 at the end, -1 on failure.
  virtual long read(void* buffer, std::size_t size) = 0;
  // Starts again at the first byte. Returns false on failure.
  virtual bool rewind() = 0;
  // DAO error number explaining the last failure (3274 or 3161), 0 if none.
  virtual long error() const = 0;
};

// Reads a caller-owned buffer that must outlive the reader.
class wb_memory_reader final : public wb_byte_reader {
 public:
  explicit wb_memory_reader(std::string_view bytes) : bytes_(bytes) {}
  long read(void* buffer, std::size_t size) override {
    const std::size_t n = size < bytes_.size() - pos_ ? size : bytes_.size() - pos_;
    if (n != 0) std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<long>(n);
  }
  bool rewind() override {
    pos_ = 0;
    return true;
  }
  long error() const override { return 0; }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};
