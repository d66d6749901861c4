#include "dmp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "tk_exception_ex.h"
#include "tk_logger.h"

dmp_file::dmp_file(std::string path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    error_ = errno;
    TK_TRACE(2, "Failed to open file");
    raise();
  }
  buffer_.reserve(buffer_bytes);
}

dmp_file::~dmp_file() {
  if (fd_ >= 0) ::close(fd_);
}

void dmp_file::raise() const { throw tk_exception_ex("Cannot write dump file '" + path_ + "': ", 1, error_); }

void dmp_file::fail(int error_number) {
  error_ = error_number;
  ::close(fd_);
  fd_ = -1;
  buffer_.clear();
  raise();
}

int dmp_file::write_through(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd_, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    // A write that takes nothing and reports no error would loop for ever.
    if (n == 0) return EIO;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

void dmp_file::write(std::string_view text) {
  if (fd_ < 0) return;
  if (buffer_.size() + text.size() <= buffer_bytes) {
    buffer_ += text;
    return;
  }
  flush();
  if (text.size() < buffer_bytes) {
    buffer_ += text;
  } else if (const int error = write_through(text)) {
    fail(error);
  }
}

void dmp_file::flush() {
  if (fd_ < 0 || buffer_.empty()) return;
  if (const int error = write_through(buffer_)) fail(error);
  buffer_.clear();
}

void dmp_file::close() {
  if (fd_ >= 0) {
    error_ = buffer_.empty() ? 0 : write_through(buffer_);
    buffer_.clear();
    // Some file systems report a failed write only now (network file
    // systems, quotas checked at close).
    if (::close(fd_) != 0 && errno != EINTR && error_ == 0) error_ = errno;
    fd_ = -1;
  }
  if (error_ != 0 && !close_reported_) {
    close_reported_ = true;
    raise();
  }
}
