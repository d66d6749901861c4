#include "csv_encoding.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tk_exception.h"
#include "tk_logger.h"
#include "tk_unicode.h"

namespace {

// A byte that a single-byte code page leaves undefined (U+FFFF is no
// character, so no table maps a byte to it).
constexpr char16_t undefined_byte = 0xFFFF;

// The bytes the reader finds lines, quoted sections and fields by; a code
// page must read each of them alone as that ASCII character.
constexpr unsigned char structural_bytes[] = {'\n', '\r', '"', '\t', ';', ',', ' '};

// Windows code pages that ICU knows by another name than "windows-<n>":
// 28591 to 28605 are the ISO-8859 parts.
constexpr unsigned iso_8859_first = 28591;
constexpr unsigned iso_8859_last = 28605;

// Widens the run of ASCII bytes at `p` onto `dst` 16 bytes at a time where
// SSE2 is there; both move past what was widened (the first byte of 0x80 or
// more, or a tail shorter than 16, is left to the caller).
void widen_ascii(const unsigned char*& p, const unsigned char* end, char16_t*& dst) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (_mm_movemask_epi8(x)) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(x, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(x, zero));
    p += 16;
    dst += 16;
  }
#else
  (void)p, (void)end, (void)dst;
#endif
}

// UTF-8 to UTF-16 onto `out` in one pass, with a fast path for runs of
// ASCII; false at the first invalid sequence (an overlong form, a surrogate,
// a code point past U+10FFFF, a sequence cut short).
bool decode_utf8(std::u16string& out, std::string_view bytes) {
  const size_t old = out.size();
  // UTF-16 never needs more units than UTF-8 has bytes.
  out.resize(old + bytes.size());
  char16_t* dst = out.data() + old;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    widen_ascii(p, end, dst);
    if (p == end) break;
    const unsigned c = *p;
    if (c < 0x80) {
      *dst++ = static_cast<char16_t>(c);
      ++p;
      continue;
    }
    unsigned need = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte (no overlongs, surrogates, > U+10FFFF)
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      cp = c & 0x0F;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      cp = c & 0x07;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (end - p <= static_cast<ptrdiff_t>(need)) return false;
    for (unsigned got = 0; got < need; ++got) {
      const unsigned char b = p[1 + got];
      if (got == 0 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    p += 1 + need;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *dst++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *dst++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *dst++ = static_cast<char16_t>(cp);
    }
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  return true;
}

// A single-byte code page through its table; where the code page keeps
// ASCII as it is, runs of ASCII go 16 bytes at a time.
bool decode_table(std::u16string& out, std::string_view bytes, const char16_t* table, bool keeps_ascii) {
  const size_t old = out.size();
  out.resize(old + bytes.size());
  char16_t* dst = out.data() + old;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    if (keeps_ascii) {
      widen_ascii(p, end, dst);
      if (p == end) break;
    }
    const char16_t c = table[*p++];
    if (c == undefined_byte) return false;
    *dst++ = c;
  }
  return true;
}

// Any ICU converter, line by line; the converter stops at the first byte
// sequence that its code page does not define.
bool decode_converter(std::u16string& out, std::string_view bytes, UConverter* converter) {
  ucnv_resetToUnicode(converter);
  const char* src = bytes.data();
  const char* const end = src + bytes.size();
  size_t at = out.size();
  for (;;) {
    // Two units a byte hold every mapping but the rare one to several
    // characters, which asks for more room.
    out.resize(at + static_cast<size_t>(end - src) * 2 + 8);
    UChar* dst = out.data() + at;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &dst, out.data() + out.size(), &src, end, nullptr, true, &error);
    at = static_cast<size_t>(dst - out.data());
    if (error == U_BUFFER_OVERFLOW_ERROR) continue;
    out.resize(at);
    return U_SUCCESS(error);
  }
}

// One byte alone through a converter: the number of UTF-16 units it
// stands for (0 when it is no character by itself), the first in `unit`.
int32_t decode_byte(UConverter* converter, unsigned char byte, char16_t& unit) {
  const char in = static_cast<char>(byte);
  UChar out[4];
  UErrorCode error = U_ZERO_ERROR;
  const int32_t n = ucnv_toUChars(converter, out, static_cast<int32_t>(std::size(out)), &in, 1, &error);
  if (U_FAILURE(error) || n < 1) return 0;
  unit = out[0];
  return n;
}

// The ICU names to try for a code page as the user wrote it: a number is a
// Windows code page.
std::vector<std::string> icu_candidates(const std::string& name) {
  if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return {name};
  const unsigned long number = name.size() > 6 ? 0 : std::stoul(name);
  std::vector<std::string> out;
  if (number >= iso_8859_first && number <= iso_8859_last)
    out.push_back("ISO-8859-" + std::to_string(number - iso_8859_first + 1));
  for (const char* prefix : {"windows-", "cp", "ibm-"}) out.push_back(prefix + name);
  return out;
}

std::string unsupported(std::u16string_view name) {
  return "Unsupported CSV code page '" + tk_unicode_to_console(name) +
         "': a CSV file is read in UTF-8, UTF-16 or a code page that keeps its line ends, quotes and delimiters as "
         "the ASCII bytes";
}

// The name of a converter for messages: its IANA name, else its MIME name,
// else ICU's own.
std::string display_name(UConverter* converter) {
  UErrorCode error = U_ZERO_ERROR;
  const char* canonical = ucnv_getName(converter, &error);
  if (U_FAILURE(error) || !canonical) return "?";
  for (const char* standard : {"IANA", "MIME"}) {
    error = U_ZERO_ERROR;
    const char* name = ucnv_getStandardName(canonical, standard, &error);
    if (U_SUCCESS(error) && name) return name;
  }
  return canonical;
}

}  // namespace

void csv_encoding::converter_closer::operator()(UConverter* converter) const noexcept { ucnv_close(converter); }

csv_encoding::csv_encoding() = default;
csv_encoding::csv_encoding(kind k, std::string name) : kind_(k), name_(std::move(name)) {}
csv_encoding::~csv_encoding() = default;
csv_encoding::csv_encoding(csv_encoding&&) noexcept = default;
csv_encoding& csv_encoding::operator=(csv_encoding&&) noexcept = default;

csv_encoding csv_encoding::windows_1252() { return named(u"windows-1252"); }

size_t csv_encoding::byte_order_mark(std::string_view head, csv_encoding& selected) {
  if (head.starts_with("\xEF\xBB\xBF")) {
    selected = csv_encoding(kind::utf8, "UTF-8");
    return 3;
  }
  if (head.starts_with("\xFF\xFE")) {
    selected = csv_encoding(kind::utf16le, "UTF-16LE");
    return 2;
  }
  if (head.starts_with("\xFE\xFF")) {
    selected = csv_encoding(kind::utf16be, "UTF-16BE");
    return 2;
  }
  return 0;
}

csv_encoding csv_encoding::from_converter(std::unique_ptr<UConverter, converter_closer> converter,
                                          std::u16string_view asked, std::string& refused) {
  std::string name = display_name(converter.get());
  switch (ucnv_getType(converter.get())) {
    case UCNV_UTF8:
      return csv_encoding(kind::utf8, "UTF-8");
    case UCNV_UTF16_LittleEndian:
      return csv_encoding(kind::utf16le, "UTF-16LE");
    case UCNV_UTF16_BigEndian:
    case UCNV_UTF16:  // without a byte-order mark, big-endian
      return csv_encoding(kind::utf16be, "UTF-16BE");
    case UCNV_SBCS:
    case UCNV_LATIN_1:
    case UCNV_US_ASCII:
    case UCNV_MBCS:
    case UCNV_CESU8:
      break;
    default:
      refused = unsupported(asked);
      return {};
  }
  UErrorCode error = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
  for (unsigned char b : structural_bytes) {
    char16_t unit = 0;
    if (decode_byte(converter.get(), b, unit) != 1 || unit != b) {
      refused = unsupported(asked);
      return {};
    }
  }
  csv_encoding out(kind::single_byte, std::move(name));
  if (ucnv_getMaxCharSize(converter.get()) == 1) {
    // One byte, one character: a table decodes faster than the converter.
    out.table_ = std::make_unique<char16_t[]>(256);
    out.keeps_ascii_ = true;
    bool one_unit = true;
    for (unsigned b = 0; b < 256; ++b) {
      char16_t unit = undefined_byte;
      const int32_t n = decode_byte(converter.get(), static_cast<unsigned char>(b), unit);
      // A byte of several characters (no common code page has one) leaves
      // the decoding to the converter.
      one_unit &= n <= 1;
      out.table_[b] = n == 1 ? unit : undefined_byte;
      out.keeps_ascii_ &= b >= 0x80 || unit == b;
    }
    if (one_unit) return out;
    out.table_.reset();
  }
  out.kind_ = kind::converter;
  out.converter_ = std::move(converter);
  return out;
}

csv_encoding csv_encoding::resolve(std::u16string_view name, std::string& refused) {
  refused.clear();
  std::string narrow;
  const bool ascii = std::all_of(name.begin(), name.end(), [](char16_t c) { return c > u' ' && c < 0x7F; });
  if (ascii) narrow.assign(name.begin(), name.end());
  // ICU opens its default converter for an empty name.
  for (const std::string& candidate : ascii && !narrow.empty() ? icu_candidates(narrow) : std::vector<std::string>{}) {
    UErrorCode error = U_ZERO_ERROR;
    std::unique_ptr<UConverter, converter_closer> converter(ucnv_open(candidate.c_str(), &error));
    if (U_FAILURE(error) || !converter) continue;
    TK_TRACE(2, "CSV code page '%s' is ICU's '%s'", name, candidate);
    return from_converter(std::move(converter), name, refused);
  }
  refused = "Unknown CSV code page '" + tk_unicode_to_console(name) +
            "': name a Windows code page such as 1252 or a converter such as ISO-8859-15";
  return {};
}

csv_encoding csv_encoding::named(std::u16string_view name) {
  std::string refused;
  csv_encoding out = resolve(name, refused);
  if (!refused.empty()) throw tk_exception(refused, 1);
  return out;
}

std::string csv_encoding::refusal(std::u16string_view name) {
  if (name.empty()) return {};
  std::string refused;
  resolve(name, refused);
  return refused;
}

bool csv_encoding::decode_append(std::u16string& out, std::string_view bytes) {
  switch (kind_) {
    case kind::single_byte:
      return decode_table(out, bytes, table_.get(), keeps_ascii_);
    case kind::converter:
      return decode_converter(out, bytes, converter_.get());
    default:
      return decode_utf8(out, bytes);
  }
}

namespace csv_detail {

void utf8_check::feed(std::string_view bytes) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  // A sequence that the previous chunk left open.
  for (; need_ > 0 && p < end; --need_) {
    if (*p < lo_ || *p > hi_) {
      valid_ = false;
      return;
    }
    ++p;
    lo_ = 0x80;
    hi_ = 0xBF;
  }
  while (valid_ && p < end) {
#if defined(__SSE2__)
    // Runs of ASCII 16 bytes at a time; the first other byte by its bit.
    while (end - p >= 16) {
      const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
      if (high) {
        p += __builtin_ctz(static_cast<unsigned>(high));
        break;
      }
      p += 16;
    }
#endif
    while (p < end && *p < 0x80) ++p;
    if (p == end) return;
    const unsigned char c = *p++;
    unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range: no overlongs, surrogates, > U+10FFFF
    uint8_t need = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      valid_ = false;
      return;
    }
    if (end - p < need) {
      // The chunk ends inside the sequence: checked byte by byte from here.
      need_ = need;
      lo_ = lo;
      hi_ = hi;
      feed(std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p)));
      return;
    }
    bool ok = p[0] >= lo && p[0] <= hi;
    for (uint8_t k = 1; k < need; ++k) ok &= (p[k] & 0xC0) == 0x80;
    if (!ok) valid_ = false;
    p += need;
  }
}

namespace {

char* put_three(unsigned u, char* out) noexcept {
  *out++ = static_cast<char>(0xE0 | (u >> 12));
  *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
  *out++ = static_cast<char>(0x80 | (u & 0x3F));
  return out;
}

}  // namespace

char* utf16_to_utf8::put(char16_t unit, char* out) noexcept {
  const unsigned u = unit;
  if (high_) {
    if (u >= 0xDC00 && u <= 0xDFFF) {
      const char32_t cp = 0x10000 + ((char32_t(high_) - 0xD800) << 10) + (u - 0xDC00);
      high_ = 0;
      *out++ = static_cast<char>(0xF0 | (cp >> 18));
      *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (cp & 0x3F));
      return out;
    }
    out = put_three(std::exchange(high_, char16_t(0)), out);
  }
  if (u < 0x80) {
    *out++ = static_cast<char>(u);
  } else if (u < 0x800) {
    *out++ = static_cast<char>(0xC0 | (u >> 6));
    *out++ = static_cast<char>(0x80 | (u & 0x3F));
  } else if (u >= 0xD800 && u <= 0xDBFF) {
    high_ = unit;
  } else {
    out = put_three(u, out);  // a lone low surrogate too
  }
  return out;
}

size_t utf16_to_utf8::convert(const char* in, size_t n, char* out) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(in);
  const auto* const end = p + n;
  char* o = out;
  const auto unit = [this](unsigned char first, unsigned char second) {
    return static_cast<char16_t>(big_endian_ ? (first << 8) | second : first | (second << 8));
  };
  if (has_byte_ && p < end) {
    o = put(unit(byte_, *p++), o);
    has_byte_ = false;
  }
  while (end - p >= 2) {
#if defined(__SSE2__)
    // Eight units of ASCII at a time become eight bytes.
    if (!high_) {
      const __m128i not_ascii = _mm_set1_epi16(static_cast<short>(0xFF80));
      const __m128i zero = _mm_setzero_si128();
      while (end - p >= 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (big_endian_) x = _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(x, not_ascii), zero)) != 0xFFFF) break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(x, x));
        p += 16;
        o += 8;
      }
      if (end - p < 2) break;
    }
#endif
    o = put(unit(p[0], p[1]), o);
    p += 2;
  }
  if (p < end) {
    has_byte_ = true;
    byte_ = *p;
  }
  return static_cast<size_t>(o - out);
}

size_t utf16_to_utf8::finish(char* out) noexcept {
  char* o = out;
  if (high_) o = put_three(std::exchange(high_, char16_t(0)), o);
  if (has_byte_) *o++ = static_cast<char>(0xFF);
  has_byte_ = false;
  return static_cast<size_t>(o - out);
}

}  // namespace csv_detail
