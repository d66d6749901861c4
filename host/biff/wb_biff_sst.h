// The shared-strings table of a BIFF8 workbook (the SST record and its
// CONTINUE records). All texts are kept in UTF-16 in a few large arena
// blocks with one (pointer, length) entry per string; rich-text runs and
// phonetic data are skipped. The views it hands out stay valid for the
// table's lifetime, so cells can refer to them without copying.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class wb_biff_record_cursor;

class wb_biff_sst {
 public:
  // Reads the strings of the SST record the cursor stands on (its body not
  // yet read). Returns false when a string is cut short: the file is damaged.
  bool load(wb_biff_record_cursor& cursor);

  std::size_t size() const { return entries_.size(); }
  // The entry's text; false for an index out of range.
  bool get(std::size_t index, std::u16string_view& text) const {
    if (index >= entries_.size()) return false;
    text = std::u16string_view(entries_[index].text, entries_[index].length);
    return true;
  }

 private:
  struct entry {
    const char16_t* text;
    std::uint32_t length;
  };
  char16_t* reserve(std::size_t units);

  // A BIFF8 string holds at most 65,535 characters, so one always fits a block.
  static constexpr std::size_t block_units = std::size_t{1} << 20;
  // Entries reserved up front at most, whatever count the record claims.
  static constexpr std::size_t max_reserved_entries = std::size_t{1} << 16;
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  std::size_t used_ = 0;  // units used in the last block
  std::vector<entry> entries_;
};
