#pragma once
// A reader for the handful of scanf patterns the date parser uses, with the
// runtime's semantics: a blank in the pattern matches any run of white space
// (also none); other pattern characters must match exactly; "%d" and "%hd"
// skip white space, then read an optional sign and decimal digits (at most
// the field width, sign included) and store the low 32 or 16 bits; "%u" and
// "%I64u" likewise into unsigned 32 or 64 bits; "%s" skips white space and
// takes the following run of non-white characters. The result is the number
// of items stored, or -1 when the input ended before the first conversion.

#include <cstdint>
#include <string>
#include <string_view>

class ole_scan {
 public:
  // The integer items in pattern order; the "%s" item, if any, in `text`.
  static constexpr int max_items = 8;
  struct items {
    int64_t numbers[max_items] = {};
    std::string_view text;
    size_t end = 0;  // input position after the last item stored
  };

  static int scan(std::string_view input, std::string_view pattern, items& out);
};
