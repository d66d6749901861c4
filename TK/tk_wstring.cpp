#include "tk_wstring.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include "tk_logger.h"

std::u16string trim_right(std::u16string_view text) {
  size_t end = text.find_last_not_of(u' ');
  if (end == std::u16string_view::npos) {
    if (!text.empty()) TK_TRACE(1, "Special processing for all-spaces-string");
    return std::u16string();
  }
  return std::u16string(text.substr(0, end + 1));
}

std::u16string trim(std::u16string_view text) {
  std::u16string right = trim_right(text);
  size_t begin = right.find_first_not_of(u' ');
  return begin == std::u16string::npos ? std::u16string() : right.substr(begin);
}

std::vector<std::u16string> split(std::u16string_view text, char16_t delimiter) {
  std::vector<std::u16string> pieces;
  if (text.empty()) return pieces;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(delimiter, start);
    if (at == std::u16string_view::npos) {
      pieces.emplace_back(text.substr(start));
      return pieces;
    }
    pieces.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
}

std::u16string tk_widen_ascii(std::string_view ascii) {
  std::u16string out(ascii.size(), u'\0');
  for (size_t i = 0; i < ascii.size(); ++i) out[i] = static_cast<unsigned char>(ascii[i]);
  return out;
}

std::u16string tk_wstring::replace_all(std::u16string_view text, std::u16string_view what, std::u16string_view with) {
  TK_TRACE(1, "tk_wstring::replace_all(%s,%s)", what, with);
  std::u16string out;
  if (what.empty()) return std::u16string(text);
  size_t pos = 0;
  for (;;) {
    size_t at = text.find(what, pos);
    if (at == std::u16string_view::npos) break;
    out.append(text.substr(pos, at - pos));
    out.append(with);
    pos = at + what.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::u16string tk_wstring::to_lower(std::u16string_view text) {
  TK_TRACE(1, "tk_wstring::to_lower(%s)", text);
  std::u16string out(text);
  // Simple (one-to-one) case mapping per code point keeps the length, like
  // the runtime's per-character lower-casing.
  for (size_t i = 0; i < out.size(); ++i) {
    char16_t c = out[i];
    if (c < 0x80) {
      if (c >= u'A' && c <= u'Z') out[i] = c + 32;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) {
      const char32_t cp = 0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{out[i + 1]} - 0xDC00);
      // ICU's code points are signed; a case mapping never yields a negative one.
      auto lo = static_cast<char32_t>(u_tolower(static_cast<UChar32>(cp)));
      if (lo >= 0x10000) {
        lo -= 0x10000;
        out[i] = static_cast<char16_t>(0xD800 + (lo >> 10));
        out[i + 1] = static_cast<char16_t>(0xDC00 + (lo & 0x3FF));
      }
      ++i;
      continue;
    }
    const auto lo = static_cast<char32_t>(u_tolower(c));
    if (lo < 0x10000) out[i] = static_cast<char16_t>(lo);
  }
  return out;
}

namespace {

bool is_ascii(std::u16string_view s) {
  for (char16_t c : s)
    if (c >= 0x80) return false;
  return true;
}

inline char16_t ascii_fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + 32 : c; }

}  // namespace

int tk_wstring::compare_no_case(std::u16string_view a, std::u16string_view b) {
  if (is_ascii(a) && is_ascii(b)) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      char16_t x = ascii_fold(a[i]), y = ascii_fold(b[i]);
      if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  UErrorCode status = U_ZERO_ERROR;
  int r = u_strCaseCompare(a.data(), static_cast<int32_t>(a.size()), b.data(), static_cast<int32_t>(b.size()),
                           U_FOLD_CASE_DEFAULT, &status);
  if (U_FAILURE(status)) return a.compare(b);
  return r;
}

bool tk_wstring::equal_no_case(std::u16string_view a, std::u16string_view b) {
  if (a.size() == b.size() && is_ascii(a) && is_ascii(b)) {
    for (size_t i = 0; i < a.size(); ++i)
      if (ascii_fold(a[i]) != ascii_fold(b[i])) return false;
    return true;
  }
  return compare_no_case(a, b) == 0;
}

bool tk_wstring::equal_no_case_by_character(std::u16string_view a, std::u16string_view b) {
  int32_t i = 0, j = 0;
  const auto na = static_cast<int32_t>(a.size()), nb = static_cast<int32_t>(b.size());
  while (i < na && j < nb) {
    UChar32 ca = 0, cb = 0;
    U16_NEXT(a.data(), i, na, ca);
    U16_NEXT(b.data(), j, nb, cb);
    if (u_foldCase(ca, U_FOLD_CASE_DEFAULT) != u_foldCase(cb, U_FOLD_CASE_DEFAULT)) return false;
  }
  return i == na && j == nb;
}

bool tk_wstring::starts_with(std::u16string_view text, std::u16string_view prefix, bool ignore_case) {
  if (!ignore_case) return text.substr(0, prefix.size()) == prefix;
  if (is_ascii(prefix) && is_ascii(text.substr(0, prefix.size())))
    return text.size() >= prefix.size() && equal_no_case(text.substr(0, prefix.size()), prefix);
  // Case folding may change lengths; compare the folded forms.
  UErrorCode status = U_ZERO_ERROR;
  std::u16string ft(text.size() * 3 + 1, u'\0'), fp(prefix.size() * 3 + 1, u'\0');
  int32_t nt = u_strFoldCase(ft.data(), static_cast<int32_t>(ft.size()), text.data(), static_cast<int32_t>(text.size()),
                             U_FOLD_CASE_DEFAULT, &status);
  int32_t np = u_strFoldCase(fp.data(), static_cast<int32_t>(fp.size()), prefix.data(),
                             static_cast<int32_t>(prefix.size()), U_FOLD_CASE_DEFAULT, &status);
  if (U_FAILURE(status)) return false;
  return nt >= np && std::u16string_view(ft.data(), static_cast<size_t>(np)) ==
                         std::u16string_view(fp.data(), static_cast<size_t>(np));
}

bool tk_wstring::is_alnum(char32_t c) { return u_isalnum(static_cast<UChar32>(c)) != 0; }
