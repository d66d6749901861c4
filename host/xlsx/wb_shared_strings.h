// The shared-strings table of an OOXML workbook, kept compact: all texts in
// UTF-16 in a few large arena blocks, one (pointer, length) entry per string.
// Cells refer to entries by index; the views handed out stay valid for the
// table's lifetime, so cell values can point into it without copying.
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
  // the concatenated text of its rich-text runs (phonetic runs excluded),
  // with `_xHHHH_` escapes decoded. Returns false (with `dao_error`) on
  // malformed XML or an unreadable entry.
  bool load(wb_byte_reader& reader, long& dao_error);

  std::size_t size() const { return entries_.size(); }
  // The entry's text; an index out of range yields false.
  bool get(std::size_t index, std::u16string_view& text) const {
    if (index >= entries_.size()) return false;
    text = std::u16string_view(entries_[index].text, entries_[index].length);
    return true;
  }

  // Appends one entry given in UTF-8, decoding `_xHHHH_` escapes.
  void append(std::string_view utf8);

  // Bytes held by the arena and the index.
  std::size_t memory_bytes() const;

 private:
  struct entry {
    const char16_t* text;
    std::uint32_t length;
  };
  // Returns room for `units` code units at the arena's end.
  char16_t* reserve(std::size_t units);

  static constexpr std::size_t block_units = std::size_t{1} << 20;
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  std::vector<std::size_t> block_sizes_;
  std::size_t used_ = 0;      // units used in the last block
  std::size_t capacity_ = 0;  // units in the last block
  std::vector<entry> entries_;
};
