// The shared-strings table of an OOXML workbook, kept compact: all texts as
// they stand in the part (UTF-8, `_xHHHH_` escapes undecoded) in a few large
// arena blocks, one (pointer, length) entry per string. Cells refer to
// entries by index; a text is converted to UTF-16 (wb_utf8_to_utf16 with
// escapes decoded) when its cell is delivered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "wb_byte_reader.h"

class wb_shared_strings {
 public:
  // Parses a sharedStrings part: each <si> is one entry, its plain text or
  // the concatenated text of its rich-text runs (phonetic runs excluded).
  // Returns false (with `dao_error`) on malformed XML or an unreadable
  // entry.
  bool load(wb_byte_reader& reader, long& dao_error);

  std::size_t size() const { return entries_.size(); }
  // The entry's text; an index out of range yields false.
  bool get(std::size_t index, std::string_view& utf8) const {
    if (index >= entries_.size()) return false;
    utf8 = std::string_view(entries_[index].text, entries_[index].length);
    return true;
  }

  // Appends one entry given in UTF-8.
  void append(std::string_view utf8);

 private:
  struct entry {
    const char* text;
    std::uint32_t length;
  };
  // Returns room for `bytes` bytes at the arena's end.
  char* reserve(std::size_t bytes);

  static constexpr std::size_t block_bytes = std::size_t{2} << 20;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t used_ = 0;      // bytes used in the last block
  std::size_t capacity_ = 0;  // bytes in the last block
  std::vector<entry> entries_;
};
