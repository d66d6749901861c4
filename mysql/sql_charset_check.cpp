#include "sql_charset_check.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tk_wstring.h"

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

// The server's one-byte sets and ICU's names for the same code pages.
constexpr struct {
  const char16_t* server;
  const char* icu;
} one_byte_sets[] = {
    {u"latin1", "windows-1252"}, {u"latin2", "ISO-8859-2"},   {u"latin5", "ISO-8859-9"},   {u"latin7", "ISO-8859-13"},
    {u"ascii", "US-ASCII"},      {u"cp1250", "windows-1250"}, {u"cp1251", "windows-1251"}, {u"cp1256", "windows-1256"},
    {u"cp1257", "windows-1257"}, {u"greek", "ISO-8859-7"},    {u"hebrew", "ISO-8859-8"},   {u"koi8r", "KOI8-R"},
    {u"koi8u", "KOI8-U"},        {u"cp850", "ibm-850"},       {u"cp852", "ibm-852"},       {u"cp866", "ibm-866"},
};

}  // namespace

sql_charset_check::sql_charset_check(std::u16string_view char_set) {
  kind_ = kind::bmp;
  for (std::u16string_view every : {u"utf8mb4", u"utf16", u"utf16le", u"utf32", u"binary"})
    if (tk_wstring::equal_no_case(char_set, every)) kind_ = kind::all;
  for (const auto& set : one_byte_sets) {
    if (!tk_wstring::equal_no_case(char_set, set.server)) continue;
    UErrorCode status = U_ZERO_ERROR;
    converter_ = ucnv_open(set.icu, &status);
    if (U_FAILURE(status)) {
      converter_ = nullptr;
      return;
    }
    status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(converter_, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    kind_ = kind::one_byte;
    // The server's latin1 gives the five bytes cp1252 leaves undefined to
    // the C1 controls of the same numbers.
    c1_controls_ = tk_wstring::equal_no_case(char_set, u"latin1");
    known_.assign(0x10000, 0);
  }
}

sql_charset_check::~sql_charset_check() {
  if (converter_) ucnv_close(converter_);
}

bool sql_charset_check::holds(char16_t c) const {
  if (c < 0x80) return true;
  if (c1_controls_ && (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D)) return true;
  std::uint8_t& known = known_[c];
  if (known == 0) {
    char out[8];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_resetFromUnicode(converter_);
    ucnv_fromUChars(converter_, out, sizeof out, reinterpret_cast<const UChar*>(&c), 1, &status);
    known = U_SUCCESS(status) ? 1 : 2;
  }
  return known == 1;
}

size_t sql_charset_check::first_unheld(std::u16string_view text) const {
  switch (kind_) {
    case kind::all:
      return text.size();
    case kind::bmp:
      return first_high_surrogate(text);
    case kind::one_byte:
      for (size_t i = 0; i < text.size(); ++i)
        if (!holds(text[i])) return i;
      return text.size();
  }
  return text.size();
}
