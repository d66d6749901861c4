// Reader of OLE2 compound files, the container of .xls workbooks and of
// encrypted OOXML packages: header, DIFAT (with its extra sectors), FAT,
// mini FAT and mini stream, and the directory tree.
//
// The file is never trusted: every sector number is checked against the
// number of sectors the file holds, every chain is walked with a visited
// mark so a cycle ends it, and a stream's chain must cover its declared
// size inside the file. Any violation makes open() or open_stream() fail,
// which callers report as DAO error 3274. Streams are read on demand through
// wb_cfb_stream, so opening costs the FAT and the directory, not the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wb_cfb_storage.h"
#include "wb_cfb_stream.h"

class wb_cfb_reader {
 public:
  enum class entry_type : std::uint8_t { empty = 0, storage = 1, stream = 2, root = 5 };

  struct entry {
    std::u16string name;
    entry_type type = entry_type::empty;
    std::uint32_t left = 0, right = 0, child = 0;
    std::uint32_t start_sector = 0;
    std::uint64_t size = 0;
  };

  // True when `bytes` start with the signature D0 CF 11 E0 A1 B1 1A E1.
  static bool has_signature(const unsigned char* bytes, std::size_t size);

  // Reads the header, the allocation tables and the directory. Returns
  // nullptr for anything that is not a sound compound file.
  static std::unique_ptr<wb_cfb_reader> open(std::shared_ptr<const wb_cfb_storage> storage);

  const std::vector<entry>& entries() const { return entries_; }

  // Directory index of the stream named `name` (ASCII case ignored, as the
  // format compares names) directly inside the root storage, or -1.
  long find_stream(std::u16string_view name) const;

  // True when the root holds "EncryptionInfo" and "EncryptedPackage": an
  // OOXML package encrypted with a password.
  bool is_encrypted_package() const;

  // A reader of the stream at directory index `index`; nullptr when its
  // chain is broken, loops, leaves the file or is shorter than its size.
  std::unique_ptr<wb_cfb_stream> open_stream(std::size_t index) const;

 private:
  explicit wb_cfb_reader(std::shared_ptr<const wb_cfb_storage> storage) : storage_(std::move(storage)) {}
  bool load();
  bool read_sector(std::uint32_t sector, unsigned char* dest) const;
  // Follows `table` from `start`: until the end-of-chain mark when `needed`
  // is 0, else exactly `needed` links. False on a cycle, a free or special
  // link, or a link past `limit`.
  static bool follow(const std::vector<std::uint32_t>& table, std::uint32_t start, std::uint64_t needed,
                     std::uint64_t limit, std::vector<std::uint32_t>& chain);
  // The sectors of a regular stream of `size` bytes, each inside the file.
  bool regular_chain(std::uint32_t start, std::uint64_t size, std::vector<std::uint32_t>& chain) const;
  bool read_mini_stream(const entry& e, std::vector<unsigned char>& out) const;

  std::shared_ptr<const wb_cfb_storage> storage_;
  std::uint32_t sector_size_ = 512;
  std::uint32_t mini_sector_size_ = 64;
  std::uint32_t mini_cutoff_ = 4096;
  std::uint64_t sector_count_ = 0;  // sectors the file holds, the last one possibly short
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<entry> entries_;
};
