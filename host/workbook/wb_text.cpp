#include "wb_text.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <cstdint>
#include <cstring>

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Recognises `_xHHHH_` at s[i]; returns the code unit or -1.
int escape_at(const unsigned char* s, std::size_t i, std::size_t n) {
  if (i + 7 > n || s[i + 1] != 'x' || s[i + 6] != '_') return -1;
  int v = 0;
  for (std::size_t k = 2; k < 6; ++k) {
    const int h = hex_value(static_cast<char>(s[i + k]));
    if (h < 0) return -1;
    v = v * 16 + h;
  }
  return v;
}

// Whether the bytes from s[i] ('_') to the end could still grow into an
// `_xHHHH_` escape.
bool escape_prefix_at(const unsigned char* s, std::size_t i, std::size_t n) {
  for (std::size_t k = 1; i + k < n; ++k)
    if (k == 1 ? s[i + k] != 'x' : hex_value(static_cast<char>(s[i + k])) < 0) return false;
  return true;
}

// The conversion of wb_utf8_to_utf16. With `partial`, the text goes on
// after `in`: it stops before an escape or a UTF-8 sequence that the end
// of `in` cuts off, and `consumed` tells where. Each step depends only on
// the bytes from its position on, so converting the rest later, with what
// follows in front, gives what converting the whole at once would.
std::size_t convert(std::string_view in, char16_t* out, bool decode_escapes, bool partial, std::size_t& consumed) {
  const auto* s = reinterpret_cast<const unsigned char*>(in.data());
  const std::size_t n = in.size();
  std::size_t i = 0;
  char16_t* o = out;
  while (i < n) {
    // Runs of ASCII without an underscore widen eight bytes at a time.
    while (i + 8 <= n) {
      std::uint64_t w;
      std::memcpy(&w, s + i, 8);
      const std::uint64_t x = w ^ 0x5F5F5F5F5F5F5F5FULL;  // a zero byte where w has '_'
      const std::uint64_t underscore = (x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL;
      if ((w & 0x8080808080808080ULL) != 0 || (decode_escapes && underscore != 0)) break;
      for (std::size_t k = 0; k < 8; ++k) o[k] = s[i + k];
      o += 8;
      i += 8;
    }
    if (i == n) break;
    const unsigned char c = s[i];
    if (c < 0x80) {
      if (c == '_' && decode_escapes) {
        if (partial && i + 7 > n && escape_prefix_at(s, i, n)) break;
        const int v = escape_at(s, i, n);
        if (v >= 0) {
          *o++ = static_cast<char16_t>(v);
          i += 7;
          continue;
        }
      }
      *o++ = c;
      ++i;
      continue;
    }
    std::size_t len;
    char32_t cp;
    if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      *o++ = 0xFFFD;
      ++i;
      continue;
    }
    if (i + len > n) {
      if (partial) break;
      *o++ = 0xFFFD;
      ++i;
      continue;
    }
    bool ok = true;
    for (std::size_t k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (!ok || cp > 0x10FFFF) {
      *o++ = 0xFFFD;
      ++i;
      continue;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *o++ = static_cast<char16_t>(cp);
    }
  }
  consumed = i;
  return static_cast<std::size_t>(o - out);
}

}  // namespace

std::size_t wb_utf8_to_utf16(std::string_view in, char16_t* out, bool decode_escapes) {
  std::size_t consumed = 0;
  return convert(in, out, decode_escapes, false, consumed);
}

std::size_t wb_utf8_to_utf16_partial(std::string_view in, char16_t* out, bool decode_escapes, std::size_t& consumed) {
  return convert(in, out, decode_escapes, true, consumed);
}

void wb_append_utf16(std::u16string& out, std::string_view utf8, bool decode_escapes) {
  const std::size_t old = out.size();
  out.resize(old + utf8.size());
  out.resize(old + wb_utf8_to_utf16(utf8, out.data() + old, decode_escapes));
}

std::u16string wb_to_utf16(std::string_view utf8) {
  std::u16string s;
  wb_append_utf16(s, utf8, false);
  return s;
}

std::string wb_to_utf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

bool wb_equal_ignore_case(std::u16string_view a, std::u16string_view b) {
  UErrorCode status = U_ZERO_ERROR;
  const int r = u_strCaseCompare(a.data(), static_cast<int32_t>(a.size()), b.data(), static_cast<int32_t>(b.size()),
                                 U_FOLD_CASE_DEFAULT, &status);
  return U_SUCCESS(status) && r == 0;
}

bool wb_ascii_equal_ignore_case(std::u16string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i];
    char y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != static_cast<unsigned char>(y)) return false;
  }
  return true;
}
