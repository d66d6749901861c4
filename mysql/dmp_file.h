#pragma once
// The output file of a dump. The text goes into a temporary file beside the
// destination (named after it, with a random suffix), and commit() renames
// it over the destination only once the last byte is written: a run that
// fails leaves an earlier file at the destination as it was, and no
// temporary file behind (a file not committed is removed when the object
// goes, or when the process exits). A small buffer gathers the short lines
// of definitions and comments; large texts (a full multi-row statement) go
// to the file straight after what is buffered, without a copy.
//
// A destination that is not a plain file (a pipe, a terminal, a device;
// /dev/stdout also when the output goes to a file) is written straight
// through instead, and a symbolic link is kept: the file it leads to is
// the one replaced.
//
// A write the system refuses (a full disk, a file size limit) raises a
// level-1 failure "Cannot write dump file '<path>': " + the system's text.
// After the first failure the file is marked failed and later writes are
// dropped, so that the report names the first cause; close() raises that
// failure again (once), since the caller of the failed write may have
// given up on a single statement and gone on.

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

class dmp_file {
 public:
  // Lines gather up to this many bytes before they are written.
  static constexpr size_t buffer_bytes = 64 * 1024;

  // Creates the temporary file for `path` (narrow, the process code page).
  // Throws the level-1 failure when it cannot be created.
  explicit dmp_file(std::string path);
  // Removes the temporary file unless it was committed.
  ~dmp_file();
  dmp_file(const dmp_file&) = delete;
  dmp_file& operator=(const dmp_file&) = delete;

  void write(std::string_view text);
  // Writes what is buffered.
  void flush();
  // Writes what is buffered and closes the file; throws the level-1
  // failure when either fails or when an earlier write failed. Does nothing
  // once closed (or once it has reported the failure).
  void close();
  // close(), then the file takes the destination's place. Throws the
  // level-1 failure when it cannot.
  void commit();

  bool is_open() const noexcept { return fd_ >= 0; }
  bool failed() const noexcept { return error_ != 0; }
  const std::string& path() const noexcept { return path_; }
  const std::string& temporary_path() const noexcept { return temporary_; }

 private:
  // Writes all of `text`; the system's error number, or 0.
  int write_through(std::string_view text);
  [[noreturn]] void fail(int error_number);
  [[noreturn]] void raise() const;

  std::string path_;
  std::string target_;      // the file replaced: path_, or where its link leads
  std::string temporary_;   // empty once committed or removed (or never made)
  bool streaming_ = false;  // written straight through
  int fd_ = -1;
  int error_ = 0;  // the system's error number of the first failure
  bool close_reported_ = false;
  std::string buffer_;
  // Bytes written, and those handed to the disk since (in steps of this).
  static constexpr off_t writeback_bytes = off_t{8} << 20;
  off_t written_ = 0;
  off_t synced_ = 0;
};
