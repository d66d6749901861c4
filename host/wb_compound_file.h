// A read-only reader of OLE2 compound files (the container of .xls
// workbooks and of encrypted OOXML packages): header, sector allocation
// table, directory, and whole-stream reads from regular and mini sectors.
// Every index read from the file is bounds-checked and every sector chain is
// limited to the number of sectors in the file, so a corrupt file fails
// instead of looping or reading out of bounds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class wb_compound_file {
 public:
  enum class entry_type : std::uint8_t { empty = 0, storage = 1, stream = 2, root = 5 };

  struct entry {
    std::u16string name;
    entry_type type = entry_type::empty;
    std::uint32_t left = 0, right = 0, child = 0;  // directory tree links
    std::uint32_t start_sector = 0;
    std::uint64_t size = 0;
  };

  ~wb_compound_file();
  wb_compound_file(const wb_compound_file&) = delete;
  wb_compound_file& operator=(const wb_compound_file&) = delete;

  // True when `bytes` start with the compound-file signature D0 CF 11 E0 A1 B1 1A E1.
  static bool has_signature(const unsigned char* bytes, std::size_t size);

  // Opens the file and reads its directory. On failure returns nullptr and
  // sets `dao_error` to 3274.
  static std::unique_ptr<wb_compound_file> open(const std::string& path, long& dao_error);

  const std::vector<entry>& entries() const { return entries_; }

  // The directory index of the stream or storage named `name` (ignoring
  // ASCII case) directly inside the root storage, or -1.
  long find_in_root(std::u16string_view name) const;

  // Reads a whole stream. False for a broken chain or an out-of-range index.
  bool read_stream(std::size_t index, std::vector<unsigned char>& out) const;

 private:
  wb_compound_file() = default;
  bool load();
  bool read_sector(std::uint32_t sector, unsigned char* dest) const;
  bool follow_chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                    std::vector<std::uint32_t>& chain) const;

  std::FILE* file_ = nullptr;
  std::uint64_t file_size_ = 0;
  std::uint32_t sector_size_ = 512;
  std::uint32_t mini_sector_size_ = 64;
  std::uint32_t mini_cutoff_ = 4096;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<entry> entries_;
};
