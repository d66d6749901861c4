#pragma once
// Name comparison shared by every lookup of the data model: case-insensitive
// (Unicode case folding, ASCII compared directly), first match wins.

#include <string_view>

#include "tk_wstring.h"

namespace udb_detail {

inline bool is_ascii(std::u16string_view s) {
  for (char16_t c : s)
    if (c >= 0x80) return false;
  return true;
}

// Folding can change lengths only outside ASCII, so ASCII names of different
// lengths differ without a closer look.
inline bool same_name(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size() && is_ascii(a) && is_ascii(b)) return false;
  return tk_wstring::equal_no_case(a, b);
}

}  // namespace udb_detail
