#pragma once
// Wide (UTF-16) text helpers. Case-insensitive comparison uses full Unicode
// case folding through ICU, with a fast path for pure ASCII text.

#include <string>
#include <string_view>
#include <vector>

class tk_wstring {
 public:
  // Replaces every occurrence of `what`, left to right; an inserted
  // replacement is never scanned again.
  static std::u16string replace_all(std::u16string_view text, std::u16string_view what, std::u16string_view with);
  static std::u16string to_lower(std::u16string_view text);
  static bool equal_no_case(std::u16string_view a, std::u16string_view b);
  // Equal ignoring case character by character (simple case folding: no
  // character stands for two, so "ß" is not "ss"), as the server compares
  // the names of columns.
  static bool equal_no_case_by_character(std::u16string_view a, std::u16string_view b);
  // <0, 0, >0 as `a` sorts before, equal to, or after `b` ignoring case.
  static int compare_no_case(std::u16string_view a, std::u16string_view b);
  static bool starts_with(std::u16string_view text, std::u16string_view prefix, bool ignore_case);
  // Whether the code point at `text[i]` is a letter or a digit.
  static bool is_alnum(char32_t c);
};

std::u16string trim_right(std::u16string_view text);
std::u16string trim(std::u16string_view text);
std::vector<std::u16string> split(std::u16string_view text, char16_t delimiter);
// ASCII text widened unit by unit, for literals built from narrow constants.
std::u16string tk_widen_ascii(std::string_view ascii);
