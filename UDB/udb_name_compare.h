#pragma once
// Name comparison shared by every lookup of the data model: case-insensitive
// character by character (Unicode simple case folding, as the server
// compares column names: "ß" and "ss" are two names; ASCII compared
// directly), first match wins.

#include <string_view>

#include "tk_wstring.h"

namespace udb_detail {

inline bool is_ascii(std::u16string_view s) {
  for (char16_t c : s)
    if (c >= 0x80) return false;
  return true;
}

// ASCII names of different lengths differ without a closer look.
inline bool same_name(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size() && is_ascii(a) && is_ascii(b)) return false;
  return tk_wstring::equal_no_case_by_character(a, b);
}

// The same test for a lookup that compares one key with many names: the
// key's ASCII-ness is found once. With an ASCII key, an ASCII mismatch
// before any other character decides (folding cannot make up for it), so
// most names are rejected at their first characters.
inline bool same_name(std::u16string_view name, std::u16string_view key, bool key_ascii) {
  if (!key_ascii) return tk_wstring::equal_no_case_by_character(name, key);
  if (name.size() != key.size()) return !is_ascii(name) && tk_wstring::equal_no_case_by_character(name, key);
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t a = name[i];
    if (a >= 0x80) return tk_wstring::equal_no_case_by_character(name, key);
    char16_t b = key[i];
    if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a + 32);
    if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b + 32);
    if (a != b) return false;
  }
  return true;
}

}  // namespace udb_detail
