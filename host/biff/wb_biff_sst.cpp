#include "wb_biff_sst.h"

#include <algorithm>

#include "wb_biff_record_cursor.h"

namespace {
constexpr std::uint8_t flag_two_byte = 0x01;
constexpr std::uint8_t flag_phonetic = 0x04;
constexpr std::uint8_t flag_rich = 0x08;
constexpr std::size_t rich_run_bytes = 4;
}  // namespace

char16_t* wb_biff_sst::reserve(std::size_t units) {
  if (blocks_.empty() || block_units - used_ < units) {
    blocks_.push_back(std::make_unique<char16_t[]>(block_units));
    used_ = 0;
  }
  char16_t* p = blocks_.back().get() + used_;
  used_ += units;
  return p;
}

bool wb_biff_sst::load(wb_biff_record_cursor& cursor) {
  entries_.clear();
  blocks_.clear();
  used_ = 0;
  cursor.u32();  // references to strings in the whole workbook
  const std::uint32_t unique = cursor.u32();
  if (cursor.short_read()) return false;
  entries_.reserve(std::min<std::size_t>(unique, max_reserved_entries));
  // Writers sometimes claim more strings than they store; the data ends the table.
  for (std::uint32_t i = 0; i < unique && cursor.has_more(); ++i) {
    const std::uint16_t count = cursor.u16();
    const std::uint8_t flags = cursor.u8();
    const std::size_t runs = (flags & flag_rich) != 0 ? cursor.u16() : 0;
    const std::size_t phonetic = (flags & flag_phonetic) != 0 ? cursor.u32() : 0;
    char16_t* text = reserve(count);
    cursor.chars(count, (flags & flag_two_byte) != 0, text);
    cursor.skip(runs * rich_run_bytes);
    cursor.skip(phonetic);
    if (cursor.short_read()) return false;
    entries_.push_back({text, count});
  }
  return !cursor.failed();
}
