#pragma once
// The output file of a dump: a descriptor opened for writing (created, or
// emptied when it exists) and a small buffer that gathers the short lines
// of definitions and comments. Large texts (a full multi-row statement) go
// to the file straight after what is buffered, without a copy.
//
// A write the system refuses (a full disk, a file size limit) raises a
// level-1 failure "Cannot write dump file '<path>': " + the system's text.
// After the first failure the file is marked failed and later writes are
// dropped, so that the report names the first cause; close() raises that
// failure again (once), since the caller of the failed write may have
// given up on a single statement and gone on. close() is the only way to
// learn that the last bytes reached the file; the destructor closes
// without reporting.

#include <cstddef>
#include <string>
#include <string_view>

class dmp_file {
 public:
  // Lines gather up to this many bytes before they are written.
  static constexpr size_t buffer_bytes = 64 * 1024;

  // Opens `path` (narrow, the process code page). Throws the level-1
  // failure when the file cannot be created.
  explicit dmp_file(std::string path);
  ~dmp_file();
  dmp_file(const dmp_file&) = delete;
  dmp_file& operator=(const dmp_file&) = delete;

  void write(std::string_view text);
  // Writes what is buffered.
  void flush();
  // Writes what is buffered and closes the descriptor; throws the level-1
  // failure when either fails or when an earlier write failed. Does nothing
  // once closed (or once it has reported the failure).
  void close();

  bool is_open() const noexcept { return fd_ >= 0; }
  bool failed() const noexcept { return error_ != 0; }
  const std::string& path() const noexcept { return path_; }

 private:
  // Writes all of `text`; the system's error number, or 0.
  int write_through(std::string_view text);
  [[noreturn]] void fail(int error_number);
  [[noreturn]] void raise() const;

  std::string path_;
  int fd_ = -1;
  int error_ = 0;  // the system's error number of the first failure
  bool close_reported_ = false;
  std::string buffer_;
};
