// A byte stream written once and read back any number of times: in memory
// up to a bound, beyond it in an unnamed temporary file (in TMPDIR, or
// /tmp), which the system removes when the stream is closed. Memory stays
// at the bound plus one I/O buffer however much is written.
//
// A failure to create or write the file (a full file system, a file size
// limit) ends the stream: error() reports it as DAO error 3183 (wb_dao_error::temp_space), and every
// later write or read fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

class wb_spill_buffer {
 public:
  // The bytes held in memory before the stream moves to a file.
  static constexpr std::size_t default_memory_bound = std::size_t{32} << 20;

  explicit wb_spill_buffer(std::size_t memory_bound = default_memory_bound);
  ~wb_spill_buffer();
  wb_spill_buffer(const wb_spill_buffer&) = delete;
  wb_spill_buffer& operator=(const wb_spill_buffer&) = delete;

  // Empties the stream (closing its file) for writing from the start.
  void clear();

  void put(const void* bytes, std::size_t n) {
    if (n <= room_) {
      std::memcpy(write_.data() + used_, bytes, n);
      used_ += n;
      room_ -= n;
    } else {
      put_slow(static_cast<const char*>(bytes), n);
    }
  }
  void put_byte(std::uint8_t b) { put(&b, 1); }
  void put_varint(std::uint64_t v) {
    std::uint8_t bytes[10];
    std::size_t n = 0;
    for (; v >= 0x80; v >>= 7) bytes[n++] = static_cast<std::uint8_t>(v | 0x80);
    bytes[n++] = static_cast<std::uint8_t>(v);
    put(bytes, n);
  }

  // Writes out what waits in the file's buffer. False on failure.
  bool flush();
  // Ends writing and positions at the first byte. False on failure.
  bool start_reading();
  // Makes up to `n` bytes (n <= 64) ahead contiguous at data(); returns how
  // many there are (fewer only at the end or on failure).
  std::size_t ensure(std::size_t n) { return end_ - pos_ >= n ? n : refill(n); }
  const char* data() const { return read_base_ + pos_; }
  void skip(std::size_t n) { pos_ += n; }
  // Up to `n` bytes ahead, at least one unless at the end or on failure.
  std::string_view take(std::size_t n);

  // Bytes written so far.
  std::uint64_t size() const { return file_bytes_ + used_; }
  // 0, or DAO error 3183 after a failure of the file.
  long error() const { return error_; }

 private:
  void put_slow(const char* bytes, std::size_t n);
  bool to_file();
  bool write_out(const char* bytes, std::size_t n);
  std::size_t refill(std::size_t n);
  void fail();

  std::size_t memory_bound_;
  std::vector<char> write_;  // memory bytes, or the file's write buffer
  std::size_t used_ = 0;     // bytes in write_
  std::size_t room_ = 0;     // bytes that fit in write_ without growing or flushing
  int fd_ = -1;
  std::uint64_t file_bytes_ = 0;  // bytes in the file
  // Reading: the bytes at read_base_[pos_, end_) are next.
  const char* read_base_ = nullptr;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::uint64_t file_read_ = 0;  // file bytes read into the buffer so far
  long error_ = 0;
};
