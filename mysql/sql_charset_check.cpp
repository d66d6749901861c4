#include "sql_charset_check.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <algorithm>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tk_wstring.h"

// The server's sets that ICU converts nearly as the server does, and where
// the two differ for a character of the Basic Multilingual Plane (found by
// asking the server of each; other sets, such as big5 and ujis, differ in
// hundreds and are left to the server).
struct sql_code_page_set {
  const char16_t* server;
  const char* icu;
  std::u16string_view held;    // held by the server, not converted by ICU
  std::u16string_view unheld;  // converted by ICU, refused by the server
  bool private_use;            // the server holds what ICU converts of the private use area
  bool cp932_extensions;       // ... and the codes of lead bytes 0x87 and 0xED-0xFC
};

namespace {

// The position of the first high surrogate (the first half of a character
// of four UTF-8 bytes), or the text's size: every text of a row is looked at.
size_t first_high_surrogate(std::u16string_view text) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i mask = _mm_set1_epi16(static_cast<short>(0xFC00));
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xD800));
  for (; i + 8 <= text.size(); i += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, mask), high)) != 0) break;
  }
#endif
  for (; i < text.size(); ++i)
    if ((text[i] & 0xFC00) == 0xD800) return i;
  return text.size();
}

constexpr sql_code_page_set code_page_sets[] = {
    // The server's latin1 gives the five bytes cp1252 leaves undefined to
    // the C1 controls of the same numbers.
    {u"latin1", "windows-1252", u"\u0081\u008D\u008F\u0090\u009D", {}, true, true},
    {u"latin2", "ISO-8859-2", {}, {}, true, true},
    {u"latin5", "ISO-8859-9", {}, {}, true, true},
    {u"latin7", "ISO-8859-13", {}, {}, true, true},
    {u"ascii", "US-ASCII", {}, {}, true, true},
    {u"cp1250", "windows-1250", {}, u"\u0081\u0083\u0088\u0090\u0098", true, true},
    {u"cp1251", "windows-1251", {}, u"\u0098", true, true},
    {u"cp1256", "windows-1256", {}, u"\u0679\u0688\u0691\u06A9\u06BA\u06BE\u06C1\u06D2", true, true},
    {u"cp1257", "windows-1257", {}, u"\u0081\u0083\u0088\u008A\u008C\u0090\u0098\u009A\u009C\u009F", true, true},
    {u"greek", "ISO-8859-7", u"\u02BC\u02BD", u"\u037A\u2018\u2019\u20AC\u20AF", true, true},
    {u"hebrew", "ISO-8859-8", u"\u203E", u"\u00AF", true, true},
    {u"koi8r", "KOI8-R", {}, {}, true, true},
    {u"koi8u", "KOI8-U", u"\u2022", u"\u2219", true, true},
    {u"cp850", "ibm-850", {}, {}, true, true},
    {u"cp852", "ibm-852", u"\u00AC", {}, true, true},
    {u"cp866", "ibm-866", u"\u00B2\u207F", u"\u00A4\u2116", true, true},
    {u"macroman", "macintosh", {}, {}, true, true},
    {u"macce", "x-mac-centraleurope", {}, {}, true, true},
    {u"cp932", "windows-31j", {}, u"\uF86F", true, true},
    // Shift-JIS is cp932 without its extensions, and six characters mapped
    // to other codes.
    {u"sjis", "windows-31j", u"\u00A2\u00A3\u00AC\u2016\u2212\u301C", u"\u2225\uFF0D\uFF3C\uFF5E\uFFE0\uFFE1\uFFE2",
     false, false},
    {u"gbk", "windows-936-2000", {}, u"\u20AC", false, true},
    {u"gb2312", "ibm-5478_P100-1995", u"\uFF07", u"\u00B4", false, true},
    {u"euckr", "windows-949-2000", {}, u"\u0080", false, true},
};

}  // namespace

sql_charset_check::sql_charset_check(std::u16string_view char_set) {
  kind_ = kind::bmp;
  // The sets of UTF-16 and UTF-32 could hold every character, but a dump
  // talks to them in three-byte UTF-8.
  for (std::u16string_view every : {u"utf8mb4", u"binary"})
    if (tk_wstring::equal_no_case(char_set, every)) kind_ = kind::all;
  for (const sql_code_page_set& set : code_page_sets) {
    if (!tk_wstring::equal_no_case(char_set, set.server)) continue;
    UErrorCode status = U_ZERO_ERROR;
    converter_ = ucnv_open(set.icu, &status);
    if (U_FAILURE(status)) {
      converter_ = nullptr;
      return;
    }
    status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(converter_, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    kind_ = kind::code_page;
    set_ = &set;
    known_.assign(0x10000, 0);
  }
}

sql_charset_check::~sql_charset_check() {
  if (converter_) ucnv_close(converter_);
}

bool sql_charset_check::holds(char16_t c) const {
  if (c < 0x80) return true;
  std::uint8_t& known = known_[c];
  if (known == 0) known = converts(c) ? 1 : 2;
  return known == 1;
}

bool sql_charset_check::converts(char16_t c) const {
  if (set_->held.find(c) != std::u16string_view::npos) return true;
  if (set_->unheld.find(c) != std::u16string_view::npos) return false;
  if (!set_->private_use && c >= 0xE000 && c <= 0xF8FF) return false;
  char out[8];
  UErrorCode status = U_ZERO_ERROR;
  ucnv_resetFromUnicode(converter_);
  const int32_t n = ucnv_fromUChars(converter_, out, sizeof out, reinterpret_cast<const UChar*>(&c), 1, &status);
  // ICU drops the characters that are to be ignored (a soft hyphen, the
  // zero-width ones); the server has no code for them.
  if (U_FAILURE(status) || n == 0) return false;
  const auto lead = static_cast<unsigned char>(out[0]);
  return set_->cp932_extensions || n != 2 || (lead != 0x87 && lead < 0xED);
}

bool sql_charset_check::holds_all(std::string_view utf8) const noexcept {
  switch (kind_) {
    case kind::all:
      return true;
    case kind::bmp:
      // A character beyond the plane is the one of four bytes (0xF0 on).
      return std::none_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xF0; });
    case kind::code_page:
      return false;
  }
  return false;
}

size_t sql_charset_check::first_unheld(std::u16string_view text) const {
  switch (kind_) {
    case kind::all:
      return text.size();
    case kind::bmp:
      return first_high_surrogate(text);
    case kind::code_page:
      for (size_t i = 0; i < text.size(); ++i)
        if (!holds(text[i])) return i;
      return text.size();
  }
  return text.size();
}
