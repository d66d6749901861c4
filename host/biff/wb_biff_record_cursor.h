// The one bounds-checked reader of BIFF records. It walks a workbook stream
// record by record (type, length, body) and hands out the body through
// typed reads. A read that runs past the end of the body continues in the
// next record when that is a CONTINUE record, as the format splits long data
// (the shared-strings table, long strings) over CONTINUE records; in
// characters of a BIFF8 string each CONTINUE starts with a fresh flag byte
// that says whether the characters go on in one or two bytes. A read past
// the end of the record and its CONTINUEs returns zeros and marks the record
// short; a record cut off by the end of the stream, or a stream whose sectors
// cannot be read, marks the cursor failed. Callers check once per record.
//
// The body lives in the stream's window: it stays valid until the cursor
// reads the next record header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "wb_cfb_stream.h"

class wb_biff_record_cursor {
 public:
  explicit wb_biff_record_cursor(wb_cfb_stream& stream) : stream_(stream) {}

  // Positions before the record starting at `offset`. False when outside the stream.
  bool seek(std::uint64_t offset);
  // Reads the next record's header and body. False at the end of the stream
  // or when the stream is damaged (failed()).
  bool next();

  std::uint16_t type() const { return type_; }
  std::uint64_t offset() const { return offset_; }
  // Length of the record's own body (without its CONTINUE records).
  std::size_t length() const { return length_; }
  // True when the stream is damaged: a record cut off, a sector unreadable.
  bool failed() const { return failed_; }
  // True when a read of this record ran past its end (and its CONTINUEs).
  bool short_read() const { return short_; }

  // Bytes left in the current piece (the record or the CONTINUE being read).
  std::size_t left() const { return size_ - pos_; }
  // True while the record has data left, in this piece or a following CONTINUE.
  bool has_more();

  std::uint8_t u8() {
    if (pos_ < size_) return body_[pos_++];
    unsigned char b = 0;
    read_slow(&b, 1);
    return b;
  }
  std::uint16_t u16() {
    if (size_ - pos_ >= 2) {
      const std::uint16_t v = static_cast<std::uint16_t>(body_[pos_] | (body_[pos_ + 1] << 8));
      pos_ += 2;
      return v;
    }
    unsigned char b[2] = {};
    read_slow(b, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  }
  std::uint32_t u32() {
    unsigned char b[4] = {};
    take(b, 4);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  }
  double f64() {
    unsigned char b[8] = {};
    take(b, 8);
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[i];
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  // Copies `count` bytes; crossing into CONTINUE records without flag bytes.
  void take(void* dest, std::size_t count) {
    if (count == 0) return;
    if (size_ - pos_ >= count) {
      std::memcpy(dest, body_ + pos_, count);
      pos_ += count;
    } else {
      read_slow(static_cast<unsigned char*>(dest), count);
    }
  }
  void skip(std::size_t count);

  // Reads `count` characters of a BIFF8 string into `out`: one byte each
  // (the low byte of the UTF-16 unit) when `two_byte` is false, else two;
  // a CONTINUE record on the way restarts with its own flag byte.
  void chars(std::size_t count, bool two_byte, char16_t* out);

 private:
  void read_slow(unsigned char* dest, std::size_t count);
  // Moves into the CONTINUE record that follows, if there is one.
  bool enter_continue();

  wb_cfb_stream& stream_;
  const unsigned char* body_ = nullptr;
  std::size_t size_ = 0;  // bytes in the current piece
  std::size_t pos_ = 0;   // read position in the current piece
  std::size_t length_ = 0;
  std::uint16_t type_ = 0;
  std::uint64_t offset_ = 0;
  bool short_ = false;
  bool failed_ = false;
};
