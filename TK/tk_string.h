#pragma once
// Narrow text helpers (process code page). Blanks are the space character
// only: a tab is not a blank.

#include <string>
#include <string_view>
#include <vector>

class tk_string {
 public:
  // Equality ignoring letter case (ICU case folding; ASCII compared directly).
  static bool compare_no_case(std::string_view a, std::string_view b);
  // Each byte as two upper-case hexadecimal digits, high digit first.
  static std::string to_hex(const void* bytes, size_t n);
  static void append_hex(std::string& out, const void* bytes, size_t n);
};

std::string trim_right(std::string_view text);
std::string trim(std::string_view text);
std::vector<std::string> split(std::string_view text, char delimiter);
