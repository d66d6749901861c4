#include "dmp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tk_exception_ex.h"
#include "tk_logger.h"

namespace {

// Temporary files not yet committed: removed when the process exits, also
// when a level-1 error ends it without unwinding the stack.
struct pending_files {
  std::vector<std::string> paths;
  ~pending_files() {
    for (const std::string& p : paths) ::unlink(p.c_str());
  }
  void forget(const std::string& path) { std::erase(paths, path); }
};

pending_files& pending() {
  static pending_files files;
  return files;
}

}  // namespace

dmp_file::dmp_file(std::string path) : path_(std::move(path)) {
  std::string name = path_ + ".tmp-XXXXXX";
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) {
    error_ = errno;
    TK_TRACE(2, "Failed to open file");
    raise();
  }
  temporary_ = std::move(name);
  pending().paths.push_back(temporary_);
  // The file gets the permissions a newly created file would have.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  buffer_.reserve(buffer_bytes);
}

dmp_file::~dmp_file() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    pending().forget(temporary_);
  }
}

void dmp_file::commit() {
  close();
  if (temporary_.empty()) return;
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
    error_ = errno;
    raise();
  }
  pending().forget(temporary_);
  temporary_.clear();
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
    // The bytes reach the disk before the file takes the destination's
    // place; some file systems report a failed write only now (network file
    // systems, quotas checked at close).
    if (error_ == 0 && ::fsync(fd_) != 0 && errno != EINVAL) error_ = errno;
    if (::close(fd_) != 0 && errno != EINTR && error_ == 0) error_ = errno;
    fd_ = -1;
  }
  if (error_ != 0 && !close_reported_) {
    close_reported_ = true;
    raise();
  }
}
