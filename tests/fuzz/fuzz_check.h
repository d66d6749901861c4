#pragma once
// An invariant of a fuzz target that does not hold aborts the run, which
// libFuzzer and the corpus replay both report with the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

inline void check(bool ok) {
  if (!ok) std::abort();
}

// The bytes taken in pairs as UTF-16 units, low byte first; an odd last
// byte is left out.
inline std::u16string utf16_pairs(const uint8_t* data, size_t size) {
  std::u16string out;
  for (size_t i = 0; i + 1 < size; i += 2) out += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  return out;
}
