#include "tk_unicode.h"

#include <langinfo.h>
#include <unicode/ucnv.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "tk_exception_ex.h"
#include "tk_logger.h"

namespace {

struct code_page {
  bool utf8 = true;
  std::string name = "UTF-8";
  UConverter* cnv = nullptr;
  ~code_page() {
    if (cnv) ucnv_close(cnv);
  }
};

code_page& current() {
  static code_page cp;
  return cp;
}

bool is_utf8_name(const char* name) { return strcasecmp(name, "UTF-8") == 0 || strcasecmp(name, "UTF8") == 0; }

// A converter that stops at the first character it cannot map.
UConverter* open_strict(const std::string& name) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(name.c_str(), &status);
  if (U_FAILURE(status)) return nullptr;
  status = U_ZERO_ERROR;
  ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  return cnv;
}

[[noreturn]] void raise(const char* prefix) { throw tk_exception_ex(prefix, 0, EILSEQ); }

}  // namespace

void tk_init_code_page() {
  code_page& cp = current();
  if (cp.cnv) {
    ucnv_close(cp.cnv);
    cp.cnv = nullptr;
  }
  const char* codeset = nl_langinfo(CODESET);
  // The C/POSIX locale reports ASCII; the agent takes that as UTF-8.
  if (!codeset || !*codeset || is_utf8_name(codeset) || strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
      strcmp(codeset, "ASCII") == 0) {
    cp.utf8 = true;
    cp.name = "UTF-8";
    return;
  }
  cp.cnv = open_strict(codeset);
  cp.utf8 = cp.cnv == nullptr;
  cp.name = cp.cnv ? codeset : "UTF-8";
}

bool tk_code_page_is_utf8() { return current().utf8; }
const std::string& tk_code_page_name() { return current().name; }

void tk_append_utf8(std::string& out, std::u16string_view text) {
  const char16_t* p = text.data();
  const char16_t* end = p + text.size();
  while (p < end) {
    // ASCII runs are the common case: copy them without per-character branches.
    const char16_t* run = p;
    while (p < end && *p < 0x80) ++p;
    if (p > run) {
      size_t old = out.size();
      out.resize(old + static_cast<size_t>(p - run));
      char* dst = out.data() + old;
      for (const char16_t* q = run; q < p; ++q) *dst++ = static_cast<char>(*q);
      if (p == end) break;
    }
    char32_t c = *p++;
    if (c >= 0xD800 && c <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

bool tk_append_utf8_strict(std::string& out, std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDFFF) {
      bool paired = c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
      if (!paired) return false;
      ++i;
    }
  }
  tk_append_utf8(out, text);
  return true;
}

bool tk_append_utf16(std::u16string& out, std::string_view utf8) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const unsigned char* end = p + utf8.size();
  size_t old = out.size();
  // UTF-16 never needs more units than UTF-8 has bytes.
  out.resize(old + utf8.size());
  char16_t* dst = out.data() + old;
  bool ok = true;
  while (p < end) {
    unsigned c = *p;
    if (c < 0x80) {
      *dst++ = static_cast<char16_t>(c);
      ++p;
      continue;
    }
    unsigned need;
    char32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      need = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 3;
      cp = c & 0x07;
    } else {
      ok = false;
      break;
    }
    if (static_cast<size_t>(end - p) <= need) {
      ok = false;
      break;
    }
    bool bad = false;
    for (unsigned k = 1; k <= need; ++k) {
      if ((p[k] & 0xC0) != 0x80) {
        bad = true;
        break;
      }
      cp = (cp << 6) | (p[k] & 0x3F);
    }
    // Overlong forms, surrogates and values above U+10FFFF are invalid.
    if (bad || (need == 2 && cp < 0x800) || (need == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      ok = false;
      break;
    }
    p += need + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *dst++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *dst++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *dst++ = static_cast<char16_t>(cp);
    }
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  return ok;
}

std::u16string tk_utf8_to_unicode(std::string_view text) {
  std::u16string out;
  if (!tk_append_utf16(out, text)) raise("Cannot convert to UNICODE string: ");
  return out;
}

std::string tk_unicode_to_utf8(std::u16string_view text) {
  std::string out;
  if (!tk_append_utf8_strict(out, text)) raise("Cannot convert to UTF8 string: ");
  return out;
}

bool tk_ansi_to_unicode2(const char* text, std::u16string& out) {
  out.clear();
  if (!text) return false;
  std::string_view in(text);
  code_page& cp = current();
  if (cp.utf8) return tk_append_utf16(out, in);
  UErrorCode status = U_ZERO_ERROR;
  out.resize(in.size() * 2 + 2);
  int32_t n = ucnv_toUChars(cp.cnv, out.data(), static_cast<int32_t>(out.size()), in.data(),
                            static_cast<int32_t>(in.size()), &status);
  if (U_FAILURE(status)) {
    out.clear();
    return false;
  }
  out.resize(static_cast<size_t>(n));
  return true;
}

std::u16string tk_ansi_to_unicode(std::string_view text) {
  code_page& cp = current();
  if (cp.utf8) return tk_utf8_to_unicode(text);
  std::u16string out;
  std::string copy(text);
  if (!tk_ansi_to_unicode2(copy.c_str(), out)) raise("Cannot convert to UNICODE string: ");
  return out;
}

bool tk_unicode_to_ansi2(std::u16string_view text, std::string& out) {
  TK_TRACE(1, "tk_unicode_to_ansi2");
  out.clear();
  code_page& cp = current();
  bool ok;
  if (cp.utf8) {
    ok = tk_append_utf8_strict(out, text);
  } else {
    UErrorCode status = U_ZERO_ERROR;
    // Up to four bytes per UTF-16 unit in any multi-byte code page.
    out.resize(text.size() * 4 + 4);
    int32_t n = ucnv_fromUChars(cp.cnv, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                static_cast<int32_t>(text.size()), &status);
    ok = U_SUCCESS(status);
    out.resize(ok ? static_cast<size_t>(n) : 0);
  }
  TK_TRACE(1, "n_ansi=%d, n_unicode=%d", out.size(), text.size());
  return ok;
}

tk_utf8_count tk_utf8_counts(std::string_view utf8) noexcept {
  // A character starts at every byte but a continuation byte (10xxxxxx);
  // one of four bytes starts at 0xF0 or above.
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* const end = p + utf8.size();
  size_t follows = 0, fours = 0;
#if defined(__SSE2__)
  const __m128i top = _mm_set1_epi8(static_cast<char>(0xC0));
  const __m128i follow = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i four = _mm_set1_epi8(static_cast<char>(0xF0));
  while (end - p >= 16) {
    // Per byte lane, counted by subtracting the all-ones of a match; summed
    // before a lane could pass 255.
    __m128i follow_count = _mm_setzero_si128(), four_count = _mm_setzero_si128();
    for (int round = 0; round < 255 && end - p >= 16; ++round, p += 16) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      follow_count = _mm_sub_epi8(follow_count, _mm_cmpeq_epi8(_mm_and_si128(x, top), follow));
      four_count = _mm_sub_epi8(four_count, _mm_cmpeq_epi8(_mm_max_epu8(x, four), x));
    }
    const __m128i sums = _mm_sad_epu8(follow_count, _mm_setzero_si128());
    const __m128i four_sums = _mm_sad_epu8(four_count, _mm_setzero_si128());
    follows += static_cast<size_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
    fours += static_cast<size_t>(_mm_cvtsi128_si32(four_sums) + _mm_extract_epi16(four_sums, 4));
  }
#endif
  for (; p < end; ++p) {
    follows += (*p & 0xC0) == 0x80;
    fours += *p >= 0xF0;
  }
  const size_t characters = utf8.size() - follows;
  return {characters, characters + fours};
}

bool tk_unicode_has_ansi_form(std::u16string_view text) {
  if (text.empty()) return false;
  code_page& cp = current();
  if (cp.utf8) {
    // UTF-8 takes everything but a lone surrogate.
    size_t i = 0;
#if defined(__SSE2__)
    // Blocks of eight units without a surrogate are passed over whole.
    const __m128i mask = _mm_set1_epi16(static_cast<short>(0xF800));
    const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
    for (; i + 8 <= text.size(); i += 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, mask), surrogate))) break;
    }
#endif
    for (; i < text.size(); ++i) {
      const char16_t c = text[i];
      if (c < 0xD800 || c > 0xDFFF) continue;
      if (c > 0xDBFF || i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    }
    return true;
  }
  // Units converted at a time; a surrogate pair stays in one slice.
  constexpr size_t slice_units = 1024;
  char narrow[slice_units * 4 + 8];
  size_t bytes = 0;
  for (size_t pos = 0; pos < text.size();) {
    size_t n = std::min(slice_units, text.size() - pos);
    if (pos + n < text.size() && text[pos + n - 1] >= 0xD800 && text[pos + n - 1] <= 0xDBFF) ++n;
    UErrorCode status = U_ZERO_ERROR;
    const int32_t m = ucnv_fromUChars(cp.cnv, narrow, static_cast<int32_t>(sizeof narrow), text.data() + pos,
                                      static_cast<int32_t>(n), &status);
    if (U_FAILURE(status)) return false;
    bytes += static_cast<size_t>(m);
    pos += n;
  }
  return bytes != 0;
}

std::string tk_unicode_to_ansi(std::u16string_view text) {
  std::string out;
  if (!tk_unicode_to_ansi2(text, out)) raise("Cannot convert to ANSI string: ");
  return out;
}

std::string tk_unicode_to_console(std::u16string_view text) {
  code_page& cp = current();
  std::string out;
  if (cp.utf8) {
    tk_append_utf8(out, text);
    return out;
  }
  // Character by character, so that one unmappable character costs only itself.
  for (size_t i = 0; i < text.size(); ++i) {
    size_t len = 1;
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size()) len = 2;
    char buf[16];
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = ucnv_fromUChars(cp.cnv, buf, sizeof buf, text.data() + i, static_cast<int32_t>(len), &status);
    if (U_FAILURE(status) || n <= 0) {
      out += '?';
    } else {
      out.append(buf, static_cast<size_t>(n));
    }
    i += len - 1;
  }
  return out;
}
