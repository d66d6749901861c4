#include "wb_biff_record_cursor.h"

#include <algorithm>

#include "wb_biff_records.h"

namespace {
constexpr std::size_t header_bytes = 4;
}

bool wb_biff_record_cursor::seek(std::uint64_t offset) {
  body_ = nullptr;
  size_ = pos_ = length_ = 0;
  type_ = 0;
  short_ = false;
  return stream_.seek(offset);
}

bool wb_biff_record_cursor::next() {
  body_ = nullptr;
  size_ = pos_ = length_ = 0;
  type_ = 0;
  short_ = false;
  if (failed_) return false;
  offset_ = stream_.tell();
  const std::size_t have = stream_.require(header_bytes);
  if (stream_.failed()) {
    failed_ = true;
    return false;
  }
  // Fewer than four bytes left: the end (streams are padded after the last EOF).
  if (have < header_bytes) return false;
  const unsigned char* h = stream_.data();
  const std::uint16_t type = static_cast<std::uint16_t>(h[0] | (h[1] << 8));
  const std::size_t length = static_cast<std::size_t>(h[2] | (h[3] << 8));
  if (stream_.require(header_bytes + length) < header_bytes + length) {
    failed_ = true;  // the record runs past the end of the stream
    return false;
  }
  type_ = type;
  length_ = size_ = length;
  body_ = stream_.data() + header_bytes;
  stream_.advance(header_bytes + length);
  return true;
}

bool wb_biff_record_cursor::enter_continue() {
  if (failed_) return false;
  const std::size_t have = stream_.require(header_bytes);
  if (stream_.failed()) failed_ = true;
  if (have < header_bytes) return false;
  const unsigned char* h = stream_.data();
  if (static_cast<std::uint16_t>(h[0] | (h[1] << 8)) != wb_biff_record::continue_) return false;
  const std::size_t length = static_cast<std::size_t>(h[2] | (h[3] << 8));
  if (stream_.require(header_bytes + length) < header_bytes + length) {
    failed_ = true;
    return false;
  }
  body_ = stream_.data() + header_bytes;
  size_ = length;
  pos_ = 0;
  stream_.advance(header_bytes + length);
  return true;
}

bool wb_biff_record_cursor::has_more() {
  while (pos_ == size_) {
    if (short_ || !enter_continue()) return false;
  }
  return true;
}

void wb_biff_record_cursor::read_slow(unsigned char* dest, std::size_t count) {
  unsigned char* const start = dest;
  const std::size_t total = count;
  while (count != 0) {
    if (pos_ == size_ && (short_ || !enter_continue())) {
      short_ = true;
      std::memset(start, 0, total);
      return;
    }
    const std::size_t n = std::min(count, size_ - pos_);
    std::memcpy(dest, body_ + pos_, n);
    pos_ += n;
    dest += n;
    count -= n;
  }
}

void wb_biff_record_cursor::skip(std::size_t count) {
  while (count != 0) {
    if (pos_ == size_ && (short_ || !enter_continue())) {
      short_ = true;
      return;
    }
    const std::size_t n = std::min(count, size_ - pos_);
    pos_ += n;
    count -= n;
  }
}

void wb_biff_record_cursor::chars(std::size_t count, bool two_byte, char16_t* out) {
  while (count != 0) {
    if (pos_ == size_) {
      if (short_ || !enter_continue()) {
        short_ = true;
        std::fill(out, out + count, u'\0');
        return;
      }
      if (size_ == 0) continue;
      two_byte = (body_[pos_++] & 0x01) != 0;
    }
    const std::size_t avail = size_ - pos_;
    const std::size_t n = std::min(count, two_byte ? avail / 2 : avail);
    if (n == 0) {
      // Half a character before the record ends.
      short_ = true;
      std::fill(out, out + count, u'\0');
      return;
    }
    const unsigned char* p = body_ + pos_;
    if (two_byte) {
      for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
      pos_ += 2 * n;
    } else {
      for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char16_t>(p[i]);
      pos_ += n;
    }
    out += n;
    count -= n;
  }
}
