#include "tk_string.h"

#include "tk_logger.h"
#include "tk_unicode.h"
#include "tk_wstring.h"

std::string trim_right(std::string_view text) {
  size_t end = text.find_last_not_of(' ');
  if (end == std::string_view::npos) {
    if (!text.empty()) TK_TRACE(1, "Special processing for all-spaces-string");
    return std::string();
  }
  return std::string(text.substr(0, end + 1));
}

std::string trim(std::string_view text) {
  std::string right = trim_right(text);
  size_t begin = right.find_first_not_of(' ');
  return begin == std::string::npos ? std::string() : right.substr(begin);
}

std::vector<std::string> split(std::string_view text, char delimiter) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(delimiter, start);
    if (at == std::string_view::npos) {
      pieces.emplace_back(text.substr(start));
      return pieces;
    }
    pieces.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
}

bool tk_string::compare_no_case(std::string_view a, std::string_view b) {
  TK_TRACE(1, "tk_string::compare_no_case");
  std::u16string wa, wb;
  if (!tk_ansi_to_unicode2(std::string(a).c_str(), wa) || !tk_ansi_to_unicode2(std::string(b).c_str(), wb))
    return a == b;
  return tk_wstring::equal_no_case(wa, wb);
}

void tk_string::append_hex(std::string& out, const void* bytes, size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  size_t old = out.size();
  out.resize(old + 2 * n);
  char* dst = out.data() + old;
  for (size_t i = 0; i < n; ++i) {
    *dst++ = digits[p[i] >> 4];
    *dst++ = digits[p[i] & 0x0F];
  }
}
