#include "dmp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "error_handler.h"
#include "tk_exception_ex.h"
#include "tk_interrupt.h"
#include "tk_logger.h"

namespace {

// The descriptor among the standard output and error that writes to the
// file `st` describes, or -1.
int standard_stream_of(const struct stat& st) {
  for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat out {};
    if (::fstat(fd, &out) == 0 && out.st_dev == st.st_dev && out.st_ino == st.st_ino) return fd;
  }
  return -1;
}

// Opens a destination that is no plain file for writing. A named pipe
// without a reader yet is waited for, but not past an interruption (a
// blocking open would outlast it).
int open_stream(const std::string& path, bool fifo) {
  if (!fifo) return ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  for (;;) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    if (errno != ENXIO) return -1;
    tk_interrupt::check();
    ::usleep(50000);
  }
}

}  // namespace

dmp_file::dmp_file(std::string path) : path_(std::move(path)) {
  // A destination that is no plain file of its own (a pipe, a terminal, a
  // device, /dev/stdout with the output sent to a file) is written straight
  // through: putting a file in its place would replace the device or the
  // link, and its reader would get nothing.
  struct stat st {};
  const bool exists = ::stat(path_.c_str(), &st) == 0;  // the file a link leads to
  if (exists) {
    // Messages printed into the statements would stop their loading; with
    // the dump on the standard output they go to the standard error.
    if (standard_stream_of(st) == STDOUT_FILENO) tk_send_messages_to(stderr);
    const int stream = S_ISREG(st.st_mode) ? standard_stream_of(st) : -1;
    if (!S_ISREG(st.st_mode) || stream >= 0) {
      std::fflush(nullptr);
      fd_ = stream >= 0 ? ::fcntl(stream, F_DUPFD_CLOEXEC, 0) : open_stream(path_, S_ISFIFO(st.st_mode));
      streaming_ = true;
      if (fd_ < 0) {
        error_ = errno;
        raise();
      }
      buffer_.reserve(buffer_bytes);
      return;
    }
  }
  // A symbolic link stays: the file it leads to is the one replaced.
  std::string target = path_;
  struct stat link {};
  if (::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (char* resolved = ::realpath(path_.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }
  std::string name = target + ".tmp-XXXXXX";
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) {
    error_ = errno;
    TK_TRACE(2, "Failed to open file");
    raise();
  }
  target_ = std::move(target);
  temporary_ = std::move(name);
  tk_interrupt::remove_at_exit(temporary_);
  // The file gets the permissions (and owner) of the file it replaces, or
  // those a newly created file would have.
  if (exists) {
    if (::fchown(fd_, st.st_uid, st.st_gid) != 0) TK_TRACE(2, "The dump file keeps its owner");
    ::fchmod(fd_, st.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
  }
  buffer_.reserve(buffer_bytes);
}

dmp_file::~dmp_file() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    tk_interrupt::forget(temporary_);
  }
}

void dmp_file::commit() {
  close();
  if (temporary_.empty()) return;
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    error_ = errno;
    raise();
  }
  tk_interrupt::forget(temporary_);
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
  // Lines the run printed before go first when both share a stream.
  if (streaming_) std::fflush(tk_message_stream());
  while (!text.empty()) {
    const ssize_t n = ::write(fd_, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    // A write that takes nothing and reports no error would loop for ever.
    if (n == 0) return EIO;
    text.remove_prefix(static_cast<size_t>(n));
    written_ += n;
  }
  // A file of our own is handed to the disk as it grows: the fsync before
  // the rename then waits for the last stretch only, not the whole dump.
  if (!streaming_ && written_ - synced_ >= writeback_bytes) {
    ::sync_file_range(fd_, synced_, written_ - synced_, SYNC_FILE_RANGE_WRITE);
    synced_ = written_;
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
