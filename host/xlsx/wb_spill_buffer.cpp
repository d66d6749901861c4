#include "wb_spill_buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "wb_error_list.h"

namespace {

// Bytes written to or read from the file at a time.
constexpr std::size_t io_bytes = std::size_t{1} << 20;

int open_unnamed_file() {
  const char* env = std::getenv("TMPDIR");
  const std::string dir = env != nullptr && *env != '\0' ? env : "/tmp";
#ifdef O_TMPFILE
  const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
#endif
  // A file system without unnamed files: a named one, removed at once.
  std::string name = dir + "/gridload-spill-XXXXXX";
  const int named = ::mkstemp(name.data());
  if (named >= 0) ::unlink(name.c_str());
  return named;
}

}  // namespace

wb_spill_buffer::wb_spill_buffer(std::size_t memory_bound) : memory_bound_(std::max<std::size_t>(memory_bound, 64)) {}

wb_spill_buffer::~wb_spill_buffer() {
  if (fd_ >= 0) ::close(fd_);
}

void wb_spill_buffer::clear() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  std::vector<char>().swap(write_);
  used_ = room_ = 0;
  file_bytes_ = 0;
  read_base_ = nullptr;
  pos_ = end_ = 0;
  file_read_ = 0;
  error_ = 0;
}

void wb_spill_buffer::fail() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  error_ = wb_dao_error::temp_space;
  std::vector<char>().swap(write_);
  used_ = room_ = 0;
  read_base_ = nullptr;
  pos_ = end_ = 0;
}

bool wb_spill_buffer::write_out(const char* bytes, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd_, bytes, std::min(n, std::size_t{1} << 30));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      fail();
      return false;
    }
    bytes += w;
    n -= static_cast<std::size_t>(w);
    file_bytes_ += static_cast<std::uint64_t>(w);
  }
  return true;
}

bool wb_spill_buffer::to_file() {
  fd_ = open_unnamed_file();
  if (fd_ < 0) {
    fail();
    return false;
  }
  if (!write_out(write_.data(), used_)) return false;
  std::vector<char>(io_bytes).swap(write_);
  used_ = 0;
  room_ = write_.size();
  return true;
}

void wb_spill_buffer::put_slow(const char* bytes, std::size_t n) {
  if (error_ != 0) return;
  if (fd_ < 0) {
    if (used_ + n <= memory_bound_) {
      // Grows by doubling up to the bound.
      const std::size_t size = std::min(memory_bound_, std::max({write_.size() * 2, used_ + n, std::size_t{64} << 10}));
      write_.resize(size);
      std::memcpy(write_.data() + used_, bytes, n);
      used_ += n;
      room_ = write_.size() - used_;
      return;
    }
    if (!to_file()) return;
  }
  if (!write_out(write_.data(), used_)) return;
  used_ = 0;
  if (n >= write_.size()) {
    room_ = write_.size();
    write_out(bytes, n);
    return;
  }
  std::memcpy(write_.data(), bytes, n);
  used_ = n;
  room_ = write_.size() - n;
}

bool wb_spill_buffer::flush() {
  if (error_ != 0) return false;
  if (fd_ < 0 || used_ == 0) return true;
  if (!write_out(write_.data(), used_)) return false;
  room_ += used_;
  used_ = 0;
  return true;
}

bool wb_spill_buffer::start_reading() {
  if (!flush()) return false;
  if (fd_ >= 0) {
    room_ = 0;
    end_ = 0;
  } else {
    room_ = 0;
    end_ = used_;
  }
  read_base_ = write_.data();
  pos_ = 0;
  file_read_ = 0;
  return true;
}

std::size_t wb_spill_buffer::refill(std::size_t n) {
  if (fd_ < 0 || error_ != 0) return end_ - pos_;
  char* buffer = write_.data();
  const std::size_t left = end_ - pos_;
  std::memmove(buffer, buffer + pos_, left);
  pos_ = 0;
  end_ = left;
  while (end_ < n && file_read_ < file_bytes_) {
    const ssize_t r = ::pread(fd_, buffer + end_, write_.size() - end_, static_cast<off_t>(file_read_));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      fail();
      return 0;
    }
    end_ += static_cast<std::size_t>(r);
    file_read_ += static_cast<std::uint64_t>(r);
  }
  return std::min(n, end_);
}

std::string_view wb_spill_buffer::take(std::size_t n) {
  if (pos_ == end_ && refill(1) == 0) return {};
  const std::size_t size = std::min(n, end_ - pos_);
  const std::string_view piece(read_base_ + pos_, size);
  pos_ += size;
  return piece;
}
