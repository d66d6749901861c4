// Read-only access to a ZIP package through libzip.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "wb_byte_reader.h"

struct zip;

class wb_zip_archive {
 public:
  ~wb_zip_archive();
  wb_zip_archive(const wb_zip_archive&) = delete;
  wb_zip_archive& operator=(const wb_zip_archive&) = delete;

  // Opens the archive at `path`; the archive and its readers go on reading
  // that file when the path is given to another one. On failure returns nullptr and sets
  // `dao_error` to 3274 (not a readable ZIP: truncated, corrupt).
  static std::unique_ptr<wb_zip_archive> open(const std::string& path, long& dao_error);
  // Opens an archive held in memory (tests, fuzzing); `bytes` must outlive it.
  static std::unique_ptr<wb_zip_archive> open_memory(std::string_view bytes, long& dao_error);

  // Index of the entry for an OPC part name ("xl/workbook.xml" or
  // "/xl/workbook.xml"), compared ignoring case as part names are; -1 if
  // there is none.
  std::int64_t find(std::string_view part_name) const;

  // A streaming reader of the entry, inflating chunk by chunk; an entry of
  // ahead_bytes or more is inflated ahead by a thread of its own. The
  // archive must outlive the reader. On failure returns nullptr and sets
  // `dao_error` (3161 for an encrypted entry, 3274 otherwise).
  std::unique_ptr<wb_byte_reader> open_entry(std::int64_t index, long& dao_error);

  static constexpr std::uint64_t ahead_bytes = std::uint64_t(1) << 20;

 private:
  wb_zip_archive(struct zip* archive, int fd, std::string path, std::string_view memory)
      : archive_(archive), fd_(fd), path_(std::move(path)), memory_(memory) {}
  // A second handle on the same file or bytes, or nullptr.
  struct zip* reopen() const;

  struct zip* archive_;
  int fd_;                   // the file opened, or -1
  std::string path_;         // its path
  std::string_view memory_;  // the bytes opened, when no file
};
