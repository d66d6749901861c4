#include "ole_scan.h"

namespace {

inline bool is_white(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int ole_scan::scan(std::string_view input, std::string_view pattern, items& out) {
  out = items();
  size_t i = 0;
  size_t p = 0;
  int count = 0;
  int n_numbers = 0;
  // An input failure (the text ended) before the first item gives -1.
  auto input_failure = [&]() { return count == 0 ? -1 : count; };
  while (p < pattern.size()) {
    char c = pattern[p];
    if (is_white(c)) {
      while (p < pattern.size() && is_white(pattern[p])) ++p;
      while (i < input.size() && is_white(input[i])) ++i;
      continue;
    }
    if (c != '%') {
      if (i >= input.size()) return input_failure();
      if (input[i] != c) return count;
      ++i;
      ++p;
      continue;
    }
    ++p;
    size_t width = 0;
    while (p < pattern.size() && is_digit(pattern[p])) width = width * 10 + static_cast<size_t>(pattern[p++] - '0');
    int bits = 32;
    if (pattern.substr(p, 3) == "I64") {
      bits = 64;
      p += 3;
    } else if (p < pattern.size() && pattern[p] == 'h') {
      bits = 16;
      ++p;
    } else if (p < pattern.size() && pattern[p] == 'l') {
      ++p;
    }
    if (p >= pattern.size()) return count;
    const char conv = pattern[p++];
    while (i < input.size() && is_white(input[i])) ++i;
    if (i >= input.size()) return input_failure();
    const size_t limit = width == 0 ? input.size() - i : width;
    if (conv == 's') {
      size_t start = i;
      while (i < input.size() && i - start < limit && !is_white(input[i])) ++i;
      out.text = input.substr(start, i - start);
      ++count;
      out.end = i;
      continue;
    }
    if (conv != 'd' && conv != 'u') return count;
    size_t start = i;
    bool neg = false;
    if (input[i] == '+' || input[i] == '-') {
      neg = input[i] == '-';
      ++i;
    }
    uint64_t v = 0;
    size_t digits = 0;
    while (i < input.size() && i - start < limit && is_digit(input[i])) {
      v = v * 10 + static_cast<unsigned>(input[i++] - '0');
      ++digits;
    }
    if (digits == 0) return count;
    if (neg) v = 0 - v;
    int64_t stored;
    if (conv == 'd') {
      stored = bits == 16 ? static_cast<int16_t>(v) : bits == 32 ? static_cast<int32_t>(v) : static_cast<int64_t>(v);
    } else {
      stored = bits == 16   ? static_cast<uint16_t>(v)
               : bits == 32 ? static_cast<int64_t>(static_cast<uint32_t>(v))
                            : static_cast<int64_t>(v);
    }
    if (n_numbers < max_items) out.numbers[n_numbers++] = stored;
    ++count;
    out.end = i;
  }
  return count;
}
