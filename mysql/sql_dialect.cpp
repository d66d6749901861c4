#include "sql_dialect.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

// The sanitizers take a read past a text's end, even one within its page,
// for a fault.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GRIDLOAD_SANITIZED_READS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define GRIDLOAD_SANITIZED_READS 1
#endif
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ole_coerce.h"
#include "ole_date.h"
#include "ole_guid_extractor.h"
#include "sql_new_validator.h"
#include "sql_old_validator.h"
#include "t_ftd.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_string.h"
#include "tk_unicode.h"
#include "tk_wstring.h"
#include "udb_field.h"
#include "udb_record.h"

namespace {

constexpr const char* source_unit = "sql_util";

// ---- Escaping -------------------------------------------------------------

// For each ASCII code: 0 when the character stands as it is, otherwise the
// letter written after the backslash.
struct escape_table {
  std::array<char, 128> code{};
  bool dump;
  constexpr explicit escape_table(bool dump_style) : dump(dump_style) {
    code['\\'] = '\\';
    code['\''] = '\'';
    if (dump_style) {
      code[0] = '0';
      code['\r'] = 'r';
      code['\n'] = 'n';
      code[0x1A] = 'Z';
    }
  }
};

constexpr escape_table live_escapes(false);
constexpr escape_table dump_escapes(true);

// One unit (two for a surrogate pair) at `s`, escaped and encoded; returns
// the unit after it.
inline const char16_t* put_unit(char*& p, const char16_t* s, const char16_t* end, const escape_table& table) {
  char16_t c = *s++;
  if (c < 0x80) {
    const char e = table.code[c];
    if (e) {
      *p++ = '\\';
      *p++ = e;
    } else {
      *p++ = static_cast<char>(c);
    }
  } else if (c < 0x800) {
    *p++ = static_cast<char>(0xC0 | (c >> 6));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c >= 0xD800 && c <= 0xDBFF && s < end && *s >= 0xDC00 && *s <= 0xDFFF) {
    const char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (static_cast<char32_t>(*s++) - 0xDC00);
    *p++ = static_cast<char>(0xF0 | (cp >> 18));
    *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    *p++ = static_cast<char>(0xE0 | (c >> 12));
    *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return s;
}

#if defined(__SSE2__)
// The bit mask of the bytes to be escaped.
[[gnu::always_inline]] inline unsigned escape_mask(__m128i bytes, const escape_table& table) {
  __m128i bad = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\'')));
  if (table.dump) {
    bad = _mm_or_si128(
        bad, _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_setzero_si128()), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
    bad = _mm_or_si128(
        bad, _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x1A))));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(bad));
}

// Of eight units narrowed to bytes (a unit over 0xFF saturated to 0xFF), the
// bit mask of those that are not plain ASCII: not ASCII, or to be escaped.
inline unsigned unplain_mask(__m128i units, __m128i bytes, const escape_table& table) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i high = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80)));
  __m128i bad = _mm_packs_epi16(_mm_xor_si128(_mm_cmpeq_epi16(high, zero), _mm_set1_epi16(-1)), zero);
  bad = _mm_or_si128(
      bad, _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\''))));
  if (table.dump) {
    bad = _mm_or_si128(bad, _mm_or_si128(_mm_cmpeq_epi8(bytes, zero), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
    bad = _mm_or_si128(
        bad, _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x1A))));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(bad)) & 0xFFu;
}
#endif

// UTF-16 to UTF-8 with the escapes, in one pass. A lone surrogate becomes
// U+FFFD: the session expects well-formed UTF-8.
void append_escaped_utf8(std::string& out, std::u16string_view text, const escape_table& table) {
  const size_t old = out.size();
  // Every unit takes at most three bytes (an escaped ASCII character two, a
  // surrogate pair four for two units).
  out.resize(old + text.size() * 3);
  char* p = out.data() + old;
  const char16_t* s = text.data();
  const char16_t* end = s + text.size();
#if defined(__SSE2__)
  // Eight units at a time: the plain ASCII ones before the first other one
  // are narrowed and stored whole (the eight bytes stored always fit: the
  // room left is three bytes a unit), then the others go one by one.
  while (end - s >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i bytes = _mm_packus_epi16(units, units);
    const unsigned bad = unplain_mask(units, bytes, table);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), bytes);
    if (bad == 0) {
      p += 8;
      s += 8;
      continue;
    }
    const auto plain = static_cast<size_t>(__builtin_ctz(bad));
    p += plain;
    s += plain;
    // A run of such units (text in another script) stays here.
    do {
      s = put_unit(p, s, end, table);
    } while (s < end && (*s >= 0x80 || table.code[*s]));
  }
#endif
  while (s < end) s = put_unit(p, s, end, table);
  out.resize(static_cast<size_t>(p - out.data()));
}

// The place of the first byte of `text` to escape, or its size.
size_t first_to_escape(std::string_view text, const escape_table& table) {
  const char* s = text.data();
  const size_t n = text.size();
#if defined(__SSE2__)
  const auto block = [&table](const char* at) {
    return escape_mask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), table);
  };
  if (n >= 16) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16)
      if (const unsigned bad = block(s + i)) return i + static_cast<size_t>(__builtin_ctz(bad));
    // The last few as the end of the block that ends with them.
    if (i < n)
      if (const unsigned bad = block(s + n - 16) >> (16 - (n - i))) return i + static_cast<size_t>(__builtin_ctz(bad));
    return n;
  }
#if !defined(GRIDLOAD_SANITIZED_READS)
  // A short text in one block, read past its end where that stays within
  // its page (the bytes past it count for nothing).
  if (n > 0 && (reinterpret_cast<uintptr_t>(s) & 4095) <= 4096 - 16) {
    const unsigned bad = block(s) & ((1u << n) - 1);
    return bad != 0 ? static_cast<size_t>(__builtin_ctz(bad)) : n;
  }
#endif
#endif
  for (size_t i = 0; i < n; ++i)
    if (const auto c = static_cast<unsigned char>(s[i]); c < 0x80 && table.code[c]) return i;
  return n;
}

// Escapes UTF-8 text into room that holds twice its bytes and sixteen more
// past them (a whole block may be stored past the last byte); returns the
// end of what was written.
[[gnu::always_inline]] inline char* put_escaped(char* p, const char* s, const char* end, const escape_table& table) {
#if defined(__SSE2__)
  while (end - s >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const unsigned bad = escape_mask(bytes, table);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), bytes);
    if (bad == 0) {
      p += 16;
      s += 16;
      continue;
    }
    const auto plain = static_cast<size_t>(__builtin_ctz(bad));
    p += plain;
    s += plain;
    *p++ = '\\';
    *p++ = table.code[static_cast<unsigned char>(*s++)];
  }
#if !defined(GRIDLOAD_SANITIZED_READS)
  // The last few in one block read past them where that stays within their
  // page (the bytes past them count for nothing).
  if (const auto n = static_cast<size_t>(end - s); n > 0 && (reinterpret_cast<uintptr_t>(s) & 4095) <= 4096 - 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    if ((escape_mask(bytes, table) & ((1u << n) - 1)) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), bytes);
      return p + n;
    }
  }
#endif
#endif
  for (; s < end; ++s) {
    const auto c = static_cast<unsigned char>(*s);
    if (c < 0x80 && table.code[c]) {
      TK_TRACE(1, "Got symbol to mask (2): %c", *s);
      *p++ = '\\';
      *p++ = table.code[c];
    } else {
      *p++ = *s;
    }
  }
  return p;
}

// Narrow (UTF-8) text: multi-byte sequences never contain ASCII bytes, so
// escaping byte by byte is safe.
void append_escaped(std::string& out, std::string_view text, const escape_table& table) {
  // Most texts hold nothing to escape: they are copied as they are, and
  // the rest of one that does from its first such byte on.
  const size_t clean = first_to_escape(text, table);
  out.append(text.data(), clean);
  if (clean == text.size()) return;
  text.remove_prefix(clean);
  const size_t old = out.size();
  out.resize(old + text.size() * 2 + 16);
  char* const p = put_escaped(out.data() + old, text.data(), text.data() + text.size(), table);
  out.resize(static_cast<size_t>(p - out.data()));
}

// ---- Text classification ---------------------------------------------------

template <class C>
bool is_digit(C c) {
  return c >= C('0') && c <= C('9');
}

template <class C>
bool is_hex_digit(C c) {
  return is_digit(c) || (c >= C('a') && c <= C('f')) || (c >= C('A') && c <= C('F'));
}

// A number MySQL reads bare: an optional sign, digits with at most one
// point (at least one digit), an optional exponent with digits.
template <class C>
bool is_plain_number(std::basic_string_view<C> s) {
  size_t i = 0, n = s.size();
  if (i < n && (s[i] == C('+') || s[i] == C('-'))) ++i;
  size_t digits = 0;
  while (i < n && is_digit(s[i])) ++i, ++digits;
  if (i < n && s[i] == C('.')) {
    ++i;
    while (i < n && is_digit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (s[i] == C('e') || s[i] == C('E'))) {
    ++i;
    if (i < n && (s[i] == C('+') || s[i] == C('-'))) ++i;
    size_t exp_digits = 0;
    while (i < n && is_digit(s[i])) ++i, ++exp_digits;
    if (exp_digits == 0) return false;
  }
  return i == n;
}

// The rendering of a binary value is written bare when it is "0x" and hex
// digits, or two or more decimal digits.
template <class C>
bool is_valid_blob_literal(std::basic_string_view<C> s) {
  if (s.size() < 2 || !is_digit(s[0])) return false;
  if (s[0] == C('0') && (s[1] == C('x') || s[1] == C('X'))) {
    for (size_t i = 2; i < s.size(); ++i)
      if (!is_hex_digit(s[i])) return false;
    return true;
  }
  for (size_t i = 1; i < s.size(); ++i)
    if (!is_digit(s[i])) return false;
  return true;
}

// Only a text that is a GUID as a whole (bare or in braces) is written as
// one: a longer text that mentions a GUID is the user's text and is kept.
bool may_hold_guid(size_t n) {
  return n == ole_guid_extractor::guid_length || n == ole_guid_extractor::guid_length + 2;
}

// Whether UTF-8 text may be a GUID as a whole (whole_guid tells): of a
// GUID's length, with its first dash or its brace in place.
bool may_be_guid(std::string_view text) {
  return (text.size() == ole_guid_extractor::guid_length && text[8] == '-') ||
         (text.size() == ole_guid_extractor::guid_length + 2 && text[0] == '{');
}

bool equal_no_case(std::u16string_view a, std::u16string_view b) { return tk_wstring::equal_no_case(a, b); }

bool one_of_no_case(std::u16string_view text, std::initializer_list<std::u16string_view> words) {
  for (std::u16string_view w : words)
    if (equal_no_case(text, w)) return true;
  return false;
}

// A date as the literals print it: ole_date::to_wstring(6) (a pure time
// without the zero date). Kind 0 prints nothing.
void append_date_text(std::string& out, const ole_date& date) {
  const size_t at = out.size();
  date.append_to(out, 6);
  if (date.kind == ole_date::kind_time) {
    constexpr size_t zero_date = sizeof("0000-00-00 ") - 1;
    if (out.size() >= at + zero_date) out.erase(at, zero_date);
  }
}

// ---- Literals from text and tag -------------------------------------------

void append_quoted_utf8(std::string& out, std::u16string_view text, const escape_table& table) {
  out += '\'';
  append_escaped_utf8(out, text, table);
  out += '\'';
}

void append_quoted(std::string& out, std::string_view text, const escape_table& table) {
  out += '\'';
  append_escaped(out, text, table);
  out += '\'';
}

// Text of either width in a literal: quoted and escaped, or (ASCII known
// to be safe) written as it stands.
void append_quoted_text(std::string& out, std::u16string_view text, const escape_table& table) {
  append_quoted_utf8(out, text, table);
}
void append_quoted_text(std::string& out, std::string_view text, const escape_table& table) {
  append_quoted(out, text, table);
}
void append_bare(std::string& out, std::u16string_view text) {
  for (char16_t c : text) out += static_cast<char>(c);
}
void append_bare(std::string& out, std::string_view text) { out += text; }

// The GUID a text is as a whole, when it is one.
bool whole_guid(std::u16string_view text, std::u16string& guid) {
  ole_guid_extractor found(text);
  if (!found.is_well_formed()) return false;
  guid = found.guid();
  return true;
}
bool whole_guid(std::string_view text, std::u16string& guid) {
  std::u16string wide;
  return tk_append_utf16(wide, text) && whole_guid(std::u16string_view(wide), guid);
}

// The literal of a text with a tag (wide text written as UTF-8).
template <class C>
void append_text_literal(std::string& out, std::basic_string_view<C> text, VARTYPE vt, const escape_table& table) {
  if (vt < VT_I2) {
    TK_TRACE(1, "******* NULL VALUE ******");
    out += "NULL";
    return;
  }
  if (text.empty()) {
    out += "''";
    return;
  }
  if (vt == VT_DATE) {
    ole_date date(text);
    if (date.is_valid()) {
      out += '\'';
      append_date_text(out, date);
      out += '\'';
      return;
    }
    append_quoted_text(out, text, table);
    return;
  }
  if (ole_variant::is_binary(vt)) {
    TK_TRACE(1, "GOT BLOB");
    if (is_valid_blob_literal(text)) {
      TK_TRACE(1, "BLOB IS VALID");
      append_bare(out, text);
      return;
    }
    append_quoted_text(out, text, table);
    return;
  }
  if (vt == VT_BSTR) {
    std::u16string guid;
    // Only a GUID of the 8-4-4-4-12 shape replaces the text.
    if (may_hold_guid(text.size()) && whole_guid(text, guid)) {
      TK_TRACE(1, "BSTR IS AN GUID");
      append_quoted_utf8(out, guid, table);
      return;
    }
    append_quoted_text(out, text, table);
    return;
  }
  // Numbers and booleans are bare; text that is not a plain number is
  // quoted instead, so that it can never end the literal.
  if (is_plain_number(text)) {
    append_bare(out, text);
    return;
  }
  append_quoted_text(out, text, table);
}

void append_literal_utf8(std::string& out, std::u16string_view text, VARTYPE vt, const escape_table& table) {
  append_text_literal(out, text, vt, table);
}

void append_literal_narrow(std::string& out, std::string_view text, VARTYPE vt, const escape_table& table) {
  append_text_literal(out, text, vt, table);
}

// The literal of a variant through its own text form and tag; binary values
// as 0x + hex of every byte, NULL when empty.
void append_variant_literal(std::string& out, const ole_variant& value, const escape_table& table) {
  const VARTYPE vt = value.get_type();
  if (value.is_binary()) {
    TK_TRACE(1, "special processing for BLOBs");
    const auto& bytes = value.bytes();
    if (bytes.empty()) {
      out += "NULL";
    } else {
      out += "0x";
      tk_string::append_hex(out, bytes.data(), bytes.size());
    }
    TK_TRACE(1, "to_mysql_str - at the END");
    return;
  }
  switch (vt) {
    case VT_BSTR:
      append_literal_utf8(out, value.text(), vt, table);
      return;
    case VT_DATE: {
      const ole_date& date = value.get_date();
      if (date.kind == ole_date::kind_none) {
        out += "''";
        return;
      }
      out += '\'';
      append_date_text(out, date);
      out += '\'';
      return;
    }
    default:
      break;
  }
  if (vt < VT_I2) {
    append_literal_narrow(out, {}, vt, table);
    return;
  }
  // A double as the shortest decimal that reads back as the same double: the
  // server stores the same value as from any longer form. A whole number
  // below 1e21 is written with all its digits (100000, not 1e+05), so that
  // it reads as an integer literal, in an INSERT and in a LOAD DATA field.
  if (vt == VT_R8 && std::isfinite(value.get_r8())) {
    const double r8 = value.get_r8();
    char buf[32];
    const bool whole = std::fabs(r8) < 1e21 && std::trunc(r8) == r8;
    const auto [end, ec] = whole ? std::to_chars(buf, buf + sizeof buf, r8, std::chars_format::fixed)
                                 : std::to_chars(buf, buf + sizeof buf, r8);
    if (ec == std::errc()) {
      out.append(buf, end);
      return;
    }
  }
  // Numbers print straight into the output; the rare text that is not a
  // plain number (an infinity) is taken back out and quoted.
  const size_t at = out.size();
  value.append_to_string(out);
  std::string_view printed(out.data() + at, out.size() - at);
  if (printed.empty()) {
    out += "''";
  } else if (!is_plain_number(printed)) {
    std::string text(printed);
    out.resize(at);
    append_quoted(out, text, table);
  }
}

// ---- Type-name table -------------------------------------------------------

const std::array<std::u16string, 28>& type_names() {
  static const std::array<std::u16string, 28> names = {
      u"BINARY", u"BIT",          u"TINYINT",    u"TINYINT UNSIGNED", u"SMALLINT", u"SMALLINT UNSIGNED",
      u"INT",    u"INT UNSIGNED", u"BIGINT",     u"BIGINT UNSIGNED",  u"FLOAT",    u"DECIMAL",
      u"DOUBLE", u"CHAR",         u"VARBINARY",  u"VARCHAR",          u"DATETIME", u"DATE",
      u"TIME",   u"TIMESTAMP",    u"LONGBLOB",   u"TINYBLOB",         u"BLOB",     u"MEDIUMBLOB",
      u"TEXT",   u"LONGTEXT",     u"MEDIUMTEXT", u"TINYTEXT"};
  return names;
}

std::u16string with_size(int key, uint32_t size) {
  std::u16string out = sql_dialect::type_name(key);
  out += u'(';
  out += tk_widen_ascii(std::to_string(size));
  out += u')';
  return out;
}

std::u16string with_precision(int key, uint32_t precision, uint32_t scale) {
  std::u16string out = sql_dialect::type_name(key);
  out += u'(';
  out += tk_widen_ascii(std::to_string(precision));
  out += u',';
  out += tk_widen_ascii(std::to_string(scale));
  out += u')';
  return out;
}

std::u16string date_type(const t_ftd& field, bool name_only, uint32_t version) {
  const std::u16string def = field.def_value.to_wstring();
  TK_TRACE(1, "Got date def.value: '%s'", def);
  if (field.reserved == t_ftd::date_time_default_now ||
      one_of_no_case(def, {u"NOW()", u"sysdate", u"getdate()", u"getutcdate()", u"CURRENT_TIMESTAMP"})) {
    TK_TRACE(1, "Customize date type due to NOW() def.value");
    return sql_dialect::type_name(sql_type_key::timestamp);
  }
  if (field.reserved == t_ftd::date_default_today || equal_no_case(def, u"date()")) {
    TK_TRACE(1, "Customize date type due to date() def.value");
    return sql_dialect::type_name(sql_type_key::date);
  }
  switch (field.date_kind()) {
    case t_ftd::date_kind_unspecified:
      return name_only ? sql_dialect::type_name(sql_type_key::char_) : with_size(sql_type_key::char_, 19);
    case t_ftd::date_kind_date_time:
      if (version >= sql_dialect::version_5_6_4) TK_TRACE(1, "MySQL ver >= 5.6.4, modern datetime can be used");
      return sql_dialect::type_name(sql_type_key::datetime);
    case t_ftd::date_kind_date:
      TK_TRACE(1, "Got pure date");
      return sql_dialect::type_name(sql_type_key::date);
    default:
      if (version >= sql_dialect::version_5_6_4) TK_TRACE(1, "MySQL ver >= 5.6.4, modern time can be used");
      return sql_dialect::type_name(sql_type_key::time);
  }
}

std::u16string text_type(const t_ftd& field, bool name_only) {
  TK_TRACE(1, "process as text");
  if (field.is_geometry()) {
    TK_TRACE(1, "process VT_BSTR as geometry");
    return u"geometry";
  }
  if (field.reserved == t_ftd::text_fixed_width) {
    TK_TRACE(1, "process VT_BSTR as fixed width CHAR");
    return name_only ? sql_dialect::type_name(sql_type_key::char_) : with_size(sql_type_key::char_, field.size);
  }
  if (field.size == 0 || field.size > sql_max_mediumtext_chars) return sql_dialect::type_name(sql_type_key::longtext);
  if (field.size > sql_max_varchar_chars) {
    TK_TRACE(1, "case insensitive MEDIUMTEXT");
    return sql_dialect::type_name(sql_type_key::mediumtext);
  }
  TK_TRACE(1, "case insensitive VARCHAR");
  return name_only ? sql_dialect::type_name(sql_type_key::varchar) : with_size(sql_type_key::varchar, field.size);
}

std::u16string blob_type(const t_ftd& field, bool name_only) {
  TK_TRACE(1, "process as blob");
  const uint32_t size = field.size;
  if (size == 0 || size > sql_max_mediumblob_bytes) return sql_dialect::type_name(sql_type_key::longblob);
  if (size > sql_max_blob_bytes) return sql_dialect::type_name(sql_type_key::mediumblob);
  if (size > sql_max_varbinary_bytes) return sql_dialect::type_name(sql_type_key::blob);
  return name_only ? sql_dialect::type_name(sql_type_key::varbinary) : with_size(sql_type_key::varbinary, size);
}

// The decimal integer of the text printed back equals the text.
template <class I>
bool reads_back(std::string_view text) {
  I value{};
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return false;
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string_view(buf, static_cast<size_t>(res.ptr - buf)) == text;
}

std::string narrow_ascii(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// A name in a dump comment: control characters (a line feed would end the
// comment and start a statement) become '?'.
void append_comment_text(std::string& out, std::string_view text) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    out += u < 0x20 || u == 0x7F ? '?' : c;
  }
}

const escape_table& escapes_of(sql_dialect::target where) {
  return where == sql_dialect::target::dump ? dump_escapes : live_escapes;
}

}  // namespace

sql_dialect::sql_dialect(uint32_t version, target where) : version_(version), where_(where) {}

bool sql_dialect::is_old_version() const {
  TK_TRACE(1, "is_old_version(%08X)", version_);
  return version_ < version_4_1_0;
}

std::unique_ptr<udb_validator> sql_dialect::create_tn_validator(const std::vector<std::u16string>& tables) const {
  TK_TRACE(2, "sql_engine::create_tn_validator");
  if (is_old_version()) return std::make_unique<sql_old_tn_validator>(tables, std::vector<std::u16string>{});
  return std::make_unique<sql_new_tn_validator>(tables, std::vector<std::u16string>{});
}

std::unique_ptr<udb_validator> sql_dialect::create_fn_validator(const udb_record& record) const {
  TK_TRACE(2, "sql_engine::create_fn_validator( const udb_record& )");
  if (is_old_version()) return std::make_unique<sql_old_fn_validator>(record);
  return std::make_unique<sql_new_fn_validator>(record);
}

std::unique_ptr<udb_validator> sql_dialect::create_fn_validator(const udb_schema& schema) const {
  TK_TRACE(2, "sql_engine::create_fn_validator( const udb_schema& )");
  if (is_old_version()) return std::make_unique<sql_old_fn_validator>(schema);
  return std::make_unique<sql_new_fn_validator>(schema);
}

std::unique_ptr<udb_validator> sql_dialect::create_in_validator(const std::vector<std::u16string>& indexes) const {
  TK_TRACE(2, "sql_engine::create_in_validator");
  if (is_old_version()) return std::make_unique<sql_old_in_validator>(indexes);
  return std::make_unique<sql_new_in_validator>(indexes);
}

bool sql_dialect::is_system_database(std::u16string_view name) {
  for (const char16_t* system : {u"mysql", u"sys", u"information_schema", u"performance_schema"})
    if (equal_no_case(name, system)) return true;
  return false;
}

void sql_dialect::check_droppable(std::u16string_view database) {
  if (is_system_database(database))
    throw tk_exception(u"Database '" + std::u16string(database) +
                           u"' is the server's own: it is not dropped and made anew; choose another destination",
                       1);
}

bool sql_dialect::is_plain_word(std::u16string_view name) {
  if (name.empty()) return false;
  for (char16_t c : name) {
    const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
    if (!ok) return false;
  }
  return true;
}

bool sql_dialect::is_known_engine(std::u16string_view name) {
  return one_of_no_case(
      name, {u"InnoDB",      u"MyISAM", u"Aria",       u"Maria",      u"MEMORY",  u"HEAP",       u"CSV",     u"ARCHIVE",
             u"BLACKHOLE",   u"MERGE",  u"MRG_MyISAM", u"FEDERATED",  u"NDB",     u"NDBCLUSTER", u"TokuDB",  u"RocksDB",
             u"ColumnStore", u"Spider", u"S3",         u"CONNECT",    u"Mroonga", u"SEQUENCE",   u"OQGRAPH", u"SPHINX",
             u"EXAMPLE",     u"ISAM",   u"BDB",        u"BerkeleyDB", u"InfiniDB"});
}

bool sql_dialect::is_known_char_set(std::u16string_view name) {
  return one_of_no_case(
      name, {u"armscii8", u"ascii",   u"big5",   u"binary",   u"cp1250",  u"cp1251",  u"cp1256",  u"cp1257", u"cp850",
             u"cp852",    u"cp866",   u"cp932",  u"dec8",     u"eucjpms", u"euckr",   u"gb18030", u"gb2312", u"gbk",
             u"geostd8",  u"greek",   u"hebrew", u"hp8",      u"keybcs2", u"koi8r",   u"koi8u",   u"latin1", u"latin2",
             u"latin5",   u"latin7",  u"macce",  u"macroman", u"sjis",    u"swe7",    u"tis620",  u"ucs2",   u"ujis",
             u"utf16",    u"utf16le", u"utf32",  u"utf8",     u"utf8mb3", u"utf8mb4", u"default"});
}

// ---- Identifiers ------------------------------------------------------------------

void sql_dialect::append_name(std::string& out, std::u16string_view name) const {
  if (!quotes_names()) {
    tk_append_utf8(out, name);
    return;
  }
  out += '`';
  size_t run = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != u'`') continue;
    tk_append_utf8(out, name.substr(run, i + 1 - run));
    out += '`';
    run = i + 1;
  }
  tk_append_utf8(out, name.substr(run));
  out += '`';
}

std::string sql_dialect::name(std::u16string_view name) const {
  std::string out;
  append_name(out, name);
  return out;
}

// ---- Types and defaults ----------------------------------------------------------

const std::u16string& sql_dialect::type_name(int key) {
  static const std::u16string unknown = u"<Unknown type>";
  const auto& names = type_names();
  if (key < 0 || static_cast<size_t>(key) >= names.size()) {
    TK_TRACE(3, "Type %d wasn't found", key);
    return unknown;
  }
  return names[static_cast<size_t>(key)];
}

std::u16string sql_dialect::column_type(const t_ftd& field, bool name_only) const {
  TK_TRACE(2, "get_sql_native_type2: %s(%d,%d,%d)", field.name, field.vartype, field.size, field.reserved);
  switch (field.vartype) {
    case VT_I2:
      return type_name(sql_type_key::smallint);
    case VT_I4:
    case VT_INT:
      return type_name(sql_type_key::int_);
    case VT_R4:
      return type_name(sql_type_key::float_);
    case VT_R8:
      return type_name(sql_type_key::double_);
    case VT_CY:
      return name_only ? type_name(sql_type_key::decimal) : with_precision(sql_type_key::decimal, 19, 4);
    case VT_DATE:
      return date_type(field, name_only, version_);
    case VT_BSTR:
      return text_type(field, name_only);
    case VT_BOOL:
      return name_only ? type_name(sql_type_key::tinyint) : with_size(sql_type_key::tinyint, 1);
    case VT_DECIMAL:
      TK_TRACE(1, "Scale/precision for decimal column: (%d, %d)", field.scale, field.precision);
      if (field.precision == 0) return type_name(sql_type_key::double_);
      return name_only ? type_name(sql_type_key::decimal)
                       : with_precision(sql_type_key::decimal, field.precision, field.scale);
    case VT_I1:
      return type_name(sql_type_key::tinyint);
    case VT_UI1:
      return type_name(sql_type_key::tinyint_unsigned);
    case VT_UI2:
      return type_name(sql_type_key::smallint_unsigned);
    case VT_UI4:
    case VT_UINT:
      return type_name(sql_type_key::int_unsigned);
    case VT_I8:
      return type_name(sql_type_key::bigint);
    case VT_UI8:
      return type_name(sql_type_key::bigint_unsigned);
    case VT_BLOB:
    case VT_ARRAY_UI1:
      return blob_type(field, name_only);
    default:
      throw tk_mail_assertion(source_unit, __LINE__);
  }
}

std::u16string sql_dialect::mapped_type(const sql_native_type& type) {
  TK_TRACE(2, "get_sql_native_type1");
  std::u16string buf;
  if (equal_no_case(type.name, type_name(sql_type_key::varchar)) ||
      equal_no_case(type.name, type_name(sql_type_key::char_))) {
    buf = type.name + u"(" + tk_widen_ascii(std::to_string(type.length)) + u")";
  } else if (equal_no_case(type.name, type_name(sql_type_key::decimal))) {
    buf = type.name + u"(" + tk_widen_ascii(std::to_string(type.precision)) + u"," +
          tk_widen_ascii(std::to_string(type.scale)) + u")";
  } else {
    buf = type.name;
  }
  TK_TRACE(1, "buf=%s", buf);
  return buf;
}

uint32_t sql_dialect::text_bytes_limit(std::u16string_view type, unsigned char_bytes) {
  if (type.empty()) return 0;
  const std::u16string_view word = type_word(type);
  // TEXT(M) and BLOB(M) are the smallest of their kind that holds M
  // characters (bytes, of a BLOB).
  const bool text = equal_no_case(word, u"TEXT");
  if ((text || equal_no_case(word, u"BLOB")) && word.size() < type.size() && type[word.size()] == u'(') {
    uint64_t m = 0;
    for (size_t i = word.size() + 1; i < type.size() && type[i] >= u'0' && type[i] <= u'9' && m < (uint64_t{1} << 40);
         ++i)
      m = m * 10 + static_cast<uint64_t>(type[i] - u'0');
    const uint64_t bytes = m * (text ? char_bytes : 1);
    return bytes <= 255 ? 255u : bytes <= 65535 ? 65535u : bytes <= 16777215 ? 16777215u : 0u;
  }
  for (const auto& [name, bytes] :
       {std::pair{u"TINYTEXT", 255u}, std::pair{u"TINYBLOB", 255u}, std::pair{u"TEXT", 65535u},
        std::pair{u"BLOB", 65535u}, std::pair{u"MEDIUMTEXT", 16777215u}, std::pair{u"MEDIUMBLOB", 16777215u}})
    if (equal_no_case(word, name)) return bytes;
  return 0;
}

bool sql_dialect::is_time_column(const t_ftd& column) {
  return column.date_kind() == t_ftd::date_kind_time ||
         (!column.native_type.empty() && tk_wstring::equal_no_case(type_word(column.native_type), u"time"));
}

std::u16string_view sql_dialect::type_word(std::u16string_view type) {
  size_t n = 0;
  while (n < type.size() && type[n] != u'(' && type[n] != u' ') ++n;
  return type.substr(0, n);
}

VARTYPE sql_dialect::vartype_from_name(std::u16string_view name, uint32_t& size) {
  TK_TRACE(2, "get_vartype_from_name(%s)", name);
  // The type's first word decides, with UNSIGNED anywhere after it;
  // "VARCHAR(30) NOT NULL" has its length in the parentheses after it.
  const std::u16string_view word = type_word(name);
  const bool is_unsigned =
      tk_wstring::to_lower(std::u16string(name.substr(word.size()))).find(u"unsigned") != std::u16string::npos;
  const auto is = [word](std::initializer_list<std::u16string_view> words) {
    return std::any_of(words.begin(), words.end(), [word](std::u16string_view w) { return equal_no_case(word, w); });
  };
  const auto sized = [&size](VARTYPE vt, uint32_t bytes) {
    size = bytes;
    return vt;
  };
  if (is({u"VARCHAR", u"CHAR", u"CHARACTER", u"NCHAR", u"NVARCHAR", u"VARCHARACTER", u"BINARY", u"VARBINARY"})) {
    size_t i = word.size();
    while (i < name.size() && name[i] == u' ') ++i;
    if (i < name.size() && name[i] == u'(') {
      uint32_t n = 0;
      bool digits = false;
      for (++i; i < name.size() && name[i] >= u'0' && name[i] <= u'9' && n < 100000000; ++i, digits = true)
        n = n * 10 + static_cast<uint32_t>(name[i] - u'0');
      if (digits && i < name.size() && name[i] == u')') size = n;
    }
    return VT_BSTR;
  }
  if (is({u"BIT"})) return sized(VT_I1, 1);
  if (is({u"TINYINT", u"INT1", u"BOOL", u"BOOLEAN"})) return sized(is_unsigned ? VT_UI1 : VT_I1, 1);
  if (is({u"SMALLINT", u"INT2"})) return sized(is_unsigned ? VT_UI2 : VT_I2, 2);
  if (is({u"MEDIUMINT", u"MIDDLEINT", u"INT3", u"INT", u"INTEGER", u"INT4"}))
    return sized(is_unsigned ? VT_UI4 : VT_I4, 4);
  if (is({u"BIGINT", u"INT8"})) return sized(is_unsigned ? VT_UI8 : VT_I8, 8);
  if (is({u"SERIAL"})) return sized(VT_UI8, 8);
  if (is({u"YEAR"})) return sized(VT_UI2, 2);
  if (is({u"DATE", u"TIME", u"DATETIME", u"TIMESTAMP"})) return sized(VT_DATE, 8);
  if (is({u"DOUBLE", u"REAL", u"FLOAT8"})) return sized(VT_R8, 8);
  if (is({u"FLOAT", u"FLOAT4"})) return sized(VT_R4, 4);
  if (is({u"DECIMAL", u"DEC", u"NUMERIC", u"FIXED"})) return VT_DECIMAL;
  // Any other type (TEXT, BLOB, JSON): its values go as text, of the bytes
  // a long text or binary type holds (text_bytes_limit), else of any length.
  size = text_bytes_limit(name);
  if (size == 0) size = std::numeric_limits<uint32_t>::max();
  return VT_BSTR;
}

const char16_t* sql_dialect::refined_type_text(refined_type type) {
  switch (type) {
    case refined_type::char19:
      return u"CHAR(19)";
    case refined_type::datetime:
      return u"DATETIME";
    case refined_type::date:
      return u"DATE";
    case refined_type::time:
      return u"TIME";
    case refined_type::varchar255:
      return u"VARCHAR (255)";
    case refined_type::double_:
      return u"DOUBLE";
    case refined_type::bigint:
      return u"BIGINT";
    case refined_type::int_:
      return u"INT";
  }
  throw tk_mail_assertion(source_unit, __LINE__);
}

namespace {

// The whole digits of a plain number (checked by the caller) once rounded
// half away from zero to `scale` digits after the point, as a DECIMAL
// column stores it: 99.999 at scale 2 has three.
size_t whole_digits_at_scale(std::u16string_view text, uint32_t scale) {
  std::string digits;  // significant digits, the point after `point` of them
  long point = 0;
  size_t i = text.find_first_not_of(u"+-");
  for (; i < text.size() && is_digit(text[i]); ++i) {
    digits += static_cast<char>(text[i]);
    ++point;
  }
  if (i < text.size() && text[i] == u'.')
    for (++i; i < text.size() && is_digit(text[i]); ++i) digits += static_cast<char>(text[i]);
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    const bool negative = ++i < text.size() && text[i] == u'-';
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
    long exponent = 0;
    for (; i < text.size() && is_digit(text[i]) && exponent < 100000; ++i) exponent = exponent * 10 + (text[i] - u'0');
    point += negative ? -exponent : exponent;
  }
  // Leading zeros count for nothing.
  while (!digits.empty() && digits.front() == '0') {
    digits.erase(0, 1);
    --point;
  }
  const long kept = point + static_cast<long>(scale);  // digits before the rounding one
  if (kept < 0) return 0;
  if (static_cast<size_t>(kept) < digits.size() && digits[static_cast<size_t>(kept)] >= '5') {
    // Rounding up carries through the nines; all nines make one digit more.
    long at = kept - 1;
    for (; at >= 0 && digits[static_cast<size_t>(at)] == '9'; --at) digits[static_cast<size_t>(at)] = '0';
    if (at < 0) {
      digits.insert(0, 1, '1');
      ++point;
    }
  }
  return point > 0 ? static_cast<size_t>(point) : 0;
}

}  // namespace

size_t sql_dialect::characters(std::u16string_view text) {
  return text.size() - static_cast<size_t>(std::count_if(text.begin(), text.end(),
                                                         [](char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }));
}

std::string sql_dialect::default_refusal(const t_ftd& field, std::u16string_view column) const {
  if (field.def_value.get_type() != VT_BSTR) return {};
  const std::u16string& given = field.def_value.text();
  if (given.empty() || given == u"to_char(sysdate,'yyyy-mm-dd hh24:mi:ss')" || equal_no_case(given, u"newid()"))
    return {};
  if (ole_variant::is_numeric(field.vartype) && is_plain_number(std::u16string_view(given))) {
    const std::string narrow = narrow_ascii(given);
    double value = 0;
    std::from_chars(narrow.data() + (narrow[0] == '+'), narrow.data() + narrow.size(), value);
    if (ole_coerce::fits_integer(value, field.vartype)) return {};
  }
  return "Invalid default value for '" + tk_unicode_to_utf8(column) + "'";
}

std::string sql_dialect::column_refusal(const t_ftd& field, std::u16string_view column, unsigned& error_number) const {
  const std::string name = tk_unicode_to_utf8(column);
  // A type the type mappings give: the server knows its first word.
  if (!field.native_type.empty()) {
    const std::u16string_view type = field.native_type;
    size_t n = 0;
    while (n < type.size() && type[n] != u'(' && type[n] != u' ') ++n;
    static constexpr std::u16string_view known[] = {u"BIT",
                                                    u"TINYINT",
                                                    u"BOOL",
                                                    u"BOOLEAN",
                                                    u"SMALLINT",
                                                    u"MEDIUMINT",
                                                    u"INT",
                                                    u"INTEGER",
                                                    u"BIGINT",
                                                    u"SERIAL",
                                                    u"DECIMAL",
                                                    u"DEC",
                                                    u"NUMERIC",
                                                    u"FIXED",
                                                    u"FLOAT",
                                                    u"DOUBLE",
                                                    u"REAL",
                                                    u"DATE",
                                                    u"TIME",
                                                    u"DATETIME",
                                                    u"TIMESTAMP",
                                                    u"YEAR",
                                                    u"CHAR",
                                                    u"CHARACTER",
                                                    u"NCHAR",
                                                    u"NATIONAL",
                                                    u"VARCHAR",
                                                    u"NVARCHAR",
                                                    u"BINARY",
                                                    u"VARBINARY",
                                                    u"TINYBLOB",
                                                    u"BLOB",
                                                    u"MEDIUMBLOB",
                                                    u"LONGBLOB",
                                                    u"LONG",
                                                    u"TINYTEXT",
                                                    u"TEXT",
                                                    u"MEDIUMTEXT",
                                                    u"LONGTEXT",
                                                    u"ENUM",
                                                    u"SET",
                                                    u"JSON",
                                                    u"INET4",
                                                    u"INET6",
                                                    u"UUID",
                                                    u"GEOMETRY",
                                                    u"POINT",
                                                    u"LINESTRING",
                                                    u"POLYGON",
                                                    u"MULTIPOINT",
                                                    u"MULTILINESTRING",
                                                    u"MULTIPOLYGON",
                                                    u"GEOMETRYCOLLECTION",
                                                    u"INT1",
                                                    u"INT2",
                                                    u"INT3",
                                                    u"INT4",
                                                    u"INT8",
                                                    u"MIDDLEINT",
                                                    u"FLOAT4",
                                                    u"FLOAT8",
                                                    u"VARCHARACTER"};
    const std::u16string_view word = type.substr(0, n);
    if (std::none_of(std::begin(known), std::end(known),
                     [&](std::u16string_view w) { return equal_no_case(word, w); })) {
      error_number = 4161;
      return "Unknown data type: '" + tk_unicode_to_utf8(word) + "'";
    }
    // The bounds of a length, precision or display width the server checks
    // whatever the character set (a VARCHAR's, which depends on it, is
    // weighed where the set is known).
    size_t i = n;
    while (i < type.size() && type[i] == u' ') ++i;
    if (i < type.size() && type[i] == u'(') {
      uint64_t length = 0;
      for (++i; i < type.size() && type[i] >= u'0' && type[i] <= u'9' && length < 100000000; ++i)
        length = length * 10 + static_cast<uint64_t>(type[i] - u'0');
      const auto is = [word](std::initializer_list<std::u16string_view> words) {
        return std::any_of(words.begin(), words.end(),
                           [word](std::u16string_view w) { return equal_no_case(word, w); });
      };
      const std::string limit = "Column length too big for column '" + name + "' (max = ";
      if (is({u"CHAR", u"CHARACTER", u"NCHAR", u"BINARY"}) && length > 255) {
        error_number = 1074;
        return limit + "255); use BLOB or TEXT instead";
      }
      if (is({u"VARBINARY"}) && length > 65532) {
        error_number = 1074;
        return limit + "65532); use BLOB or TEXT instead";
      }
      if (is({u"TIME", u"DATETIME", u"TIMESTAMP"}) && length > 6) {
        error_number = 1426;
        return "Too big precision specified for '" + name + "'. Maximum is 6";
      }
      if (is({u"BIT"}) && length > 64) {
        error_number = 1439;
        return "Display width out of range for '" + name + "' (max = 64)";
      }
      if (is({u"TINYINT", u"SMALLINT", u"MEDIUMINT", u"INT", u"INTEGER", u"BIGINT", u"INT1", u"INT2", u"INT3", u"INT4",
              u"INT8", u"MIDDLEINT"}) &&
          length > 255) {
        error_number = 1439;
        return "Display width out of range for '" + name + "' (max = 255)";
      }
    }
  }
  if (field.vartype == VT_DECIMAL && field.precision > 0) {
    if (field.precision > max_decimal_precision) {
      error_number = 1426;
      return "Too big precision specified for '" + name + "'. Maximum is " + std::to_string(max_decimal_precision);
    }
    if (field.scale > max_decimal_scale) {
      error_number = 1425;
      return "Too big scale specified for '" + name + "'. Maximum is " + std::to_string(max_decimal_scale);
    }
    if (field.scale > field.precision) {
      error_number = 1427;
      return "For float(M,D), double(M,D) or decimal(M,D), M must be >= D (column '" + name + "')";
    }
  }
  if (default_value(field).empty()) return {};
  const std::u16string text = field.def_value.to_wstring();
  // Whether the integer the text is lies in [low, high].
  const auto within = [&text](int64_t low, uint64_t high) {
    const std::string narrow = narrow_ascii(text);
    if (!narrow.empty() && narrow[0] == '-') {
      int64_t v = 0;
      auto [p, ec] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), v);
      return ec == std::errc() && v >= low;
    }
    uint64_t v = 0;
    const size_t start = !narrow.empty() && narrow[0] == '+' ? 1 : 0;
    auto [p, ec] = std::from_chars(narrow.data() + start, narrow.data() + narrow.size(), v);
    return ec == std::errc() && v <= high;
  };
  bool fits = true;
  switch (field.vartype) {
    case VT_BSTR:
      // A VARCHAR or CHAR column holds as many characters as its length.
      if (field.size > 0 && field.size <= sql_max_varchar_chars && !field.is_geometry())
        fits = characters(text) <= field.size;
      break;
    case VT_CY:
      fits = whole_digits_at_scale(text, 4) <= 15;
      break;
    case VT_DECIMAL:
      if (field.precision > 0) fits = whole_digits_at_scale(text, field.scale) <= field.precision - field.scale;
      break;
    case VT_R4:
    case VT_R8: {
      // The server refuses a number beyond the type's range.
      const std::string narrow = narrow_ascii(text);
      double value = 0;
      const auto [end, ec] = std::from_chars(narrow.data() + (narrow[0] == '+'), narrow.data() + narrow.size(), value);
      // (A number too small for a double is 0 to the server: only one with
      // whole digits is out of range.)
      if (ec != std::errc() && !(ec == std::errc::result_out_of_range && whole_digits_at_scale(text, 0) == 0)) {
        // A literal past any double stops the statement being read.
        error_number = 1367;
        return "Illegal double '" + narrow + "' value found during parsing";
      }
      fits = field.vartype == VT_R8 || std::fabs(value) <= std::numeric_limits<float>::max();
      break;
    }
    default: {
      // The integer types by their range.
      static constexpr struct {
        VARTYPE vt;
        int64_t low;
        uint64_t high;
      } ranges[] = {{VT_I1, -128, 127},
                    {VT_BOOL, -128, 127},
                    {VT_UI1, 0, 255},
                    {VT_I2, -32768, 32767},
                    {VT_UI2, 0, 65535},
                    {VT_I4, INT32_MIN, INT32_MAX},
                    {VT_INT, INT32_MIN, INT32_MAX},
                    {VT_UI4, 0, UINT32_MAX},
                    {VT_UINT, 0, UINT32_MAX}};
      for (const auto& r : ranges)
        if (r.vt == field.vartype) fits = within(r.low, r.high);
      break;
    }
  }
  if (fits) return {};
  error_number = 1067;
  return "Invalid default value for '" + name + "'";
}

std::u16string sql_dialect::default_value(const t_ftd& field) const {
  const std::u16string text = field.def_value.to_wstring();
  TK_TRACE(2, "make_mysql_def_val(%d,%s)", field.vartype, text);
  if (text == u"to_char(sysdate,'yyyy-mm-dd hh24:mi:ss')") {
    TK_TRACE(1, "Cannot set def.value as current timetsamp for varchar column");
    return {};
  }
  if (field.vartype == VT_DATE) {
    switch (field.reserved) {
      case t_ftd::date_time_default_now:
        TK_TRACE(1, "Got NOW() def.value");
        return u"CURRENT_TIMESTAMP";
      case t_ftd::date_default_today:
        return u"CURRENT_DATE()";
      case t_ftd::time_default_now:
        return u"CURRENT_TIME()";
      default:
        break;
    }
  }
  if (field.vartype == VT_BSTR && !text.empty()) {
    TK_TRACE(1, "Got BSTR def value: %s", text);
    return tk_utf8_to_unicode(literal(text, VT_BSTR));
  }
  if (text.empty()) {
    TK_TRACE(1, "Got empty def value");
    return {};
  }
  if (equal_no_case(text, u"newid()")) {
    TK_TRACE(1, "newid() is not supported");
    return {};
  }
  const std::string narrow = narrow_ascii(text);
  switch (field.vartype) {
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_INT:
      if (!reads_back<int32_t>(narrow)) return {};
      TK_TRACE(1, "Int/long default value is correct");
      return text;
    case VT_UI4:
    case VT_UINT:
      if (!reads_back<int32_t>(narrow) && !reads_back<uint32_t>(narrow)) return {};
      return text;
    case VT_I8:
      if (!reads_back<int64_t>(narrow)) return {};
      TK_TRACE(1, "__int64 default value is correct");
      return text;
    case VT_UI8:
      if (!reads_back<uint64_t>(narrow)) return {};
      TK_TRACE(1, "unsigned __int64 default value is correct");
      return text;
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
      // Only a number the server reads as one: anything else would break the
      // column definition.
      if (!is_plain_number(std::u16string_view(text))) return {};
      return text;
    case VT_DATE: {
      TK_TRACE(1, "Got DATE def value");
      // The current-moment words, also those that chose a TIMESTAMP column.
      if (one_of_no_case(text,
                         {u"getdate()", u"sysdate()", u"sysdate", u"NOW()", u"getutcdate()", u"CURRENT_TIMESTAMP"})) {
        TK_TRACE(1, "Special processing for getdate()");
        return u"CURRENT_TIMESTAMP";
      }
      // A duration stays as written: as a moment it kept its time of day.
      if (field.date_kind() == t_ftd::date_kind_time && ole_date::duration(text) > 0) return u"\"" + text + u"\"";
      ole_date date(text);
      if (!date.is_valid()) return {};
      if (field.date_kind() == t_ftd::date_kind_date) {
        date.kind = ole_date::kind_date;
      } else if (field.date_kind() == t_ftd::date_kind_time) {
        date.kind = ole_date::kind_time;
      }
      std::u16string canon = date.to_wstring(6);
      TK_TRACE(1, "After canonization: %s", canon);
      return u"\"" + canon + u"\"";
    }
    default:
      return {};
  }
}

// ---- Literals ------------------------------------------------------------------

void sql_dialect::append_literal(std::string& out, std::u16string_view text, VARTYPE vt) const {
  TK_TRACE(1, "to_mysql_wstr(%s)", text);
  append_text_literal(out, text, vt, escapes_of(where_));
}

void sql_dialect::append_literal(std::string& out, std::string_view text, VARTYPE vt) const {
  TK_TRACE(1, "to_mysql_str(%s)", text);
  append_text_literal(out, text, vt, escapes_of(where_));
}

std::string sql_dialect::literal(std::u16string_view text, VARTYPE vt) const {
  std::string out;
  append_literal(out, text, vt);
  return out;
}

void sql_dialect::append_value(std::string& out, const ole_variant& value) const {
  TK_TRACE(1, "to_mysql_str");
  append_variant_literal(out, value, escapes_of(where_));
}

void sql_dialect::append_cell(std::string& out, const udb_field& cell, const t_ftd& column,
                              bool allow_placeholder) const {
  TK_TRACE(1, "get_fld_append_str");
  const escape_table& table = escapes_of(where_);
  const VARTYPE cell_vt = cell.get_type();
  const VARTYPE col_vt = column.vartype;

  // Most cells of a file read as UTF-8 are a text of inline size for a text
  // column: quoted as they stand (what the text path below makes of them).
  if (const auto utf8 = cell.utf8(); utf8 && col_vt == VT_BSTR && !column.is_geometry() && !utf8->empty() &&
                                     utf8->size() <= sql_max_inline_field_size && !may_be_guid(*utf8)) {
    append_quoted(out, *utf8, table);
    return;
  }

  if (allow_placeholder && cell_vt >= VT_I2 && cell.get_size() > sql_max_inline_field_size) {
    TK_TRACE(1, "fld->get_size()=%d", cell.get_size());
    TK_TRACE(1, "Returns placeholder for prepared statement");
    out += '?';
    return;
  }

  // A workbook's number or boolean that a column of mixed kinds holds as
  // its text goes to a column of numbers, dates or times as its value: the
  // text may be a form no such column reads ("$45,000.00", "TRUE") or one it
  // reads otherwise (45123 as 2045-12-03).
  if (col_vt != VT_BSTR && cell_vt == VT_BSTR && !ole_variant::is_binary(col_vt) &&
      cell.shows() != udb_field::shown::itself) {
    const bool flag = cell.shows() == udb_field::shown::boolean;
    if (col_vt == VT_DATE && date_numbers_ && flag)
      out += cell.shown_value() != 0 ? "'TRUE'" : "'FALSE'";
    else if (col_vt == VT_DATE && date_numbers_)
      append_date_number(out, cell.shown_value(), column);
    else if (flag)
      out += cell.shown_value() != 0 ? '1' : '0';
    else
      append_variant_literal(out, ole_variant(cell.shown_value()), table);
    return;
  }

  if (col_vt == VT_BSTR) {
    TK_TRACE(1, "Got BSTR value: %s, flags=%d", cell.to_wstring(), column.reserved);
    // An ENUM holds no empty text: an empty cell is no value, as in a
    // number or date column.
    if (cell_vt == VT_BSTR && cell.text_units() == 0 && !column.b_not_null &&
        tk_wstring::starts_with(column.native_type, u"enum(", true)) {
      out += "NULL";
      return;
    }
    if (cell_vt == VT_BSTR) {
      if (column.is_geometry()) {
        out += "ST_GeomFromText(";
        append_quoted_utf8(out, cell.text(), table);
        out += ')';
        return;
      }
      if (const auto utf8 = cell.utf8())
        append_text_literal(out, *utf8, VT_BSTR, table);
      else
        append_text_literal(out, std::u16string_view(cell.text()), VT_BSTR, table);
      return;
    }
    if (cell_vt == VT_DATE) {
      append_variant_literal(out, cell, table);
      return;
    }
    if (cell.is_binary()) {
      if (cell.bytes().empty()) {
        out += "''";
      } else {
        out += "0x";
        tk_string::append_hex(out, cell.bytes().data(), cell.bytes().size());
      }
      return;
    }
    if (cell_vt < VT_I2) {
      out += "NULL";
      return;
    }
    // An ENUM or SET reads a bare number as a member's place (or a set of
    // them): a number goes as its text, which names the member (5 is '5',
    // not the fifth member).
    if (const std::u16string_view word = type_word(column.native_type);
        cell.is_numeric() && (equal_no_case(word, u"enum") || equal_no_case(word, u"set"))) {
      std::string text;
      if (cell_vt == VT_BOOL)
        text = cell.get_bool() ? "1" : "0";
      else
        append_variant_literal(text, cell, table);
      append_quoted(out, text, table);
      return;
    }
    if (column.is_geometry()) {
      std::string text;
      cell.append_to_string(text);
      out += "ST_GeomFromText(";
      append_quoted(out, text, table);
      out += ')';
      return;
    }
    append_variant_literal(out, cell, table);
    return;
  }

  // A time of day in a column of dates and times keeps its zero date: the
  // server would read a bare time there as a date ('12:00:00' as 2012-00-00).
  if (col_vt == VT_DATE && cell_vt == VT_DATE && cell.get_date().kind == ole_date::kind_time &&
      !is_time_column(column)) {
    out += '\'';
    cell.get_date().append_to(out, 6);
    out += '\'';
    return;
  }

  // The server would read a number's digits as a date (130 as 2000-01-30),
  // and a boolean as the zero date or a second: a boolean goes as its text,
  // which no date or time column takes.
  if (col_vt == VT_DATE && date_numbers_ && cell.is_numeric()) {
    if (cell_vt == VT_BOOL)
      out += cell.get_bool() ? "'TRUE'" : "'FALSE'";
    else
      append_date_number(out, cell.to_double(), column);
    return;
  }

  // Any other column: the cell's own literal; text in a numeric column is
  // written as a number.
  const size_t at = out.size();
  bool empty_like = cell_vt < VT_I2;
  if (ole_variant::is_numeric(col_vt) && !cell.is_numeric()) {
    if (cell_vt == VT_BSTR) {
      const std::u16string& text = cell.text();
      // Text "" would have made the bare literal "" (two double quotes).
      if (text.empty() || text == u"\"\"") empty_like = true;
      append_text_literal(out, std::u16string_view(text), col_vt, table);
    } else if (cell_vt < VT_I2) {
      out += "''";
    } else {
      std::string text;
      cell.append_to_string(text);
      if (text.empty()) empty_like = true;
      append_text_literal(out, std::string_view(text), col_vt, table);
    }
  } else {
    append_variant_literal(out, cell, table);
    if (cell_vt == VT_BSTR && cell.text().empty()) empty_like = true;
  }
  TK_TRACE(1, "Got field: %s, type=%08X", std::string_view(out).substr(at), col_vt);
  std::string_view literal_text(out.data() + at, out.size() - at);
  if (!empty_like && !literal_text.empty() && literal_text != "''") return;
  if (col_vt == VT_BSTR || ole_variant::is_binary(col_vt)) return;
  // An auto-number column takes NULL as "the next number".
  if (!column.b_not_null || column.b_auto_increment) {
    TK_TRACE(1, "Put NULL-field");
    out.resize(at);
    out += "NULL";
    return;
  }
  TK_TRACE(1, "Put default value");
  if (cell.is_numeric()) {
    out.resize(at);
    out += '0';
  }
}

bool sql_dialect::date_number_holds(double serial, const t_ftd& column) const {
  if (!date_numbers_) return true;
  // TIME's range, to the millisecond the literal keeps.
  if (is_time_column(column)) return std::round(std::fabs(serial) * 86400e3) <= 838 * 3600e3 + 59 * 60e3 + 59999;
  ole_date date;
  return date_of_number(serial, date);
}

bool sql_dialect::date_of_number(double serial, ole_date& date) const {
  return date_numbers_ && serial >= 0 && ole_date::from_ole_number(date_numbers_(serial), date);
}

bool sql_dialect::moment_holds(const ole_date& date, const t_ftd& column) {
  // A TIMESTAMP counts seconds from 1970 in 32 bits, in the session's time
  // zone: the days at either end depend on it and are taken as out.
  if (column.native_type.empty() || date.kind == ole_date::kind_time ||
      !equal_no_case(type_word(column.native_type), u"timestamp"))
    return true;
  const double day = std::floor(date.to_ole_number());
  return day >= 25570 && day <= 50422;  // 1970-01-02 .. 2038-01-18
}

void sql_dialect::append_date_number(std::string& out, double serial, const t_ftd& column) const {
  // A number that means no date or time goes in the form of a number no
  // date or time column takes (the server would read 10000101 as
  // 1000-01-01): it is refused in the server's words.
  auto append_refused = [&out](double number) {
    char text[32];
    out.append(text, std::to_chars(text, text + sizeof text, number, std::chars_format::scientific).ptr);
  };
  out += '\'';
  if (is_time_column(column)) {
    // A duration: days of 24 hours, to the millisecond as a workbook keeps
    // its times (0.33333333 is 08:00:00, not 07:59:59.999971); one past
    // TIME's range is refused by the server.
    const double ms = std::round(std::fabs(serial) * 86400e3);
    if (ms < 9e15) {
      if (serial < 0 && ms > 0) out += '-';
      const auto all = static_cast<uint64_t>(ms);
      const uint64_t seconds = all / 1000, fraction = all % 1000;
      char text[48];
      int n = std::snprintf(text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                            static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
      if (fraction != 0)
        n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), ".%03u", static_cast<unsigned>(fraction));
      out.append(text, static_cast<size_t>(n));
    } else {
      append_refused(serial);
    }
  } else {
    // A workbook has no date before its first day.
    ole_date date;
    if (date_of_number(serial, date)) {
      date.pure_date = true;
      append_date_text(out, date);
    } else {
      append_refused(serial);
    }
  }
  out += '\'';
}

// ---- Statements ----------------------------------------------------------------

std::string sql_dialect::set_names(std::u16string_view char_set) const {
  if (where_ == target::live)
    return tk_wstring::equal_no_case(char_set, u"utf8mb4") ? "SET NAMES UTF8MB4" : "SET NAMES UTF8";
  // A dump file is UTF-8 whatever its tables are stored in: a UTF-8 set is
  // named as the settings give it, any other (or none) is replaced by UTF8,
  // so that the client reads the bytes as they were written.
  for (std::u16string_view utf8 : {u"utf8", u"utf8mb3", u"utf8mb4"})
    if (tk_wstring::equal_no_case(char_set, utf8)) return "SET NAMES " + tk_unicode_to_utf8(char_set);
  return "SET NAMES UTF8";
}

std::string sql_dialect::session_strict_all_tables() const {
  return "SET SESSION sql_mode=CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), 'STRICT_ALL_TABLES')";
}

std::string sql_dialect::session_sql_mode() const {
  // The flags the statements do not suit are taken out of the comma-separated
  // list whatever their place: backslash escapes are used, a date default
  // stands in double quotes, which ANSI_QUOTES (and the modes that name it)
  // would read as a name, and an empty text is a value, not NULL. An
  // engine the server does not have is refused rather than replaced. A live
  // session refuses a date with a zero month or day too, which the server
  // makes of texts that are no date ('45000' would be 2045-00-00, '12:00:00'
  // 2012-00-00): a dump's own tables get no such text, and the rows of a
  // dump without them would stop loading at the first.
  std::string without_flags = "CONCAT(',', @@SESSION.sql_mode, ',')";
  for (const char* flag : {"NO_BACKSLASH_ESCAPES", "ANSI_QUOTES", "ANSI", "DB2", "MAXDB", "MSSQL", "ORACLE",
                           "POSTGRESQL", "EMPTY_STRING_IS_NULL"})
    without_flags = "REPLACE(" + without_flags + ", '," + flag + ",', ',')";
  const std::string with_flags =
      "CONCAT_WS(',', NULLIF(TRIM(BOTH ',' FROM " + without_flags + "), ''), 'NO_ENGINE_SUBSTITUTION'";
  if (where_ == target::live) return "SET SESSION sql_mode=" + with_flags + ", 'NO_ZERO_IN_DATE')";
  return "/*!40101 SET SESSION sql_mode=" + with_flags + ", 'STRICT_ALL_TABLES') */";
}

std::string sql_dialect::session_wait_timeout() const {
  // The idle time-out is raised to at least 8 hours, never lowered: a long
  // workbook may keep the connection quiet between tables for a while.
  return "set session wait_timeout=cast(if(@@session.wait_timeout < 28800,28800,@@session.wait_timeout) as "
         "unsigned);";
}

std::string sql_dialect::foreign_key_checks(bool on) const {
  return on ? "SET FOREIGN_KEY_CHECKS = 1" : "SET FOREIGN_KEY_CHECKS = 0";
}

std::string sql_dialect::start_transaction() const { return "START TRANSACTION"; }
std::string sql_dialect::commit() const { return "COMMIT"; }
std::string sql_dialect::rollback() const { return "ROLLBACK"; }

std::string sql_dialect::list_tables() const { return "show full tables where Table_type='BASE TABLE'"; }

std::string sql_dialect::show_columns(std::u16string_view table) const { return "SHOW COLUMNS FROM " + name(table); }

std::string sql_dialect::show_index(std::u16string_view table) const { return "SHOW INDEX FROM " + name(table); }

std::string sql_dialect::show_warnings() const { return "SHOW WARNINGS"; }

std::string sql_dialect::show_max_allowed_packet() const { return "SHOW VARIABLES LIKE 'max_allowed_packet'"; }

std::string sql_dialect::running_statement(unsigned long connection_id) const {
  return "SELECT COMMAND, TIME_MS, QUERY_ID FROM information_schema.PROCESSLIST WHERE ID=" +
         std::to_string(connection_id);
}

std::string sql_dialect::kill_query_id(uint64_t query_id) const { return "KILL QUERY ID " + std::to_string(query_id); }

std::string sql_dialect::table_transactions(std::u16string_view table) const {
  std::string sql =
      "SELECT e.TRANSACTIONS, (SELECT COUNT(*) FROM information_schema.TRIGGERS g WHERE g.EVENT_OBJECT_SCHEMA = "
      "t.TABLE_SCHEMA AND g.EVENT_OBJECT_TABLE = t.TABLE_NAME) FROM information_schema.TABLES t JOIN "
      "information_schema.ENGINES e ON e.ENGINE = t.ENGINE WHERE t.TABLE_SCHEMA = DATABASE() AND t.TABLE_NAME = ";
  append_quoted_utf8(sql, table, escapes_of(where_));
  return sql;
}

std::string sql_dialect::foreign_key_referrers(std::u16string_view table) const {
  std::string sql =
      "SELECT TABLE_SCHEMA, TABLE_NAME FROM information_schema.KEY_COLUMN_USAGE WHERE REFERENCED_TABLE_SCHEMA = "
      "DATABASE() AND REFERENCED_TABLE_NAME = ";
  append_quoted_utf8(sql, table, escapes_of(where_));
  sql += " AND NOT (TABLE_SCHEMA = DATABASE() AND TABLE_NAME = REFERENCED_TABLE_NAME) LIMIT 1";
  return sql;
}

std::string sql_dialect::foreign_key_referrers_of_database(std::u16string_view db) const {
  std::string sql =
      "SELECT TABLE_SCHEMA, TABLE_NAME FROM information_schema.KEY_COLUMN_USAGE WHERE "
      "REFERENCED_TABLE_SCHEMA = ";
  append_quoted_utf8(sql, db, escapes_of(where_));
  sql += " AND TABLE_SCHEMA <> REFERENCED_TABLE_SCHEMA LIMIT 1";
  return sql;
}

std::string sql_dialect::select_no_rows(std::u16string_view table) const {
  return "SELECT * FROM " + name(table) + " LIMIT 0";
}

std::string sql_dialect::create_database(std::u16string_view db, std::u16string_view char_set) const {
  std::string sql = "CREATE DATABASE " + name(db);
  if (!char_set.empty()) {
    sql += " character set ";
    tk_append_utf8(sql, char_set);
  }
  return sql;
}

std::string sql_dialect::drop_database(std::u16string_view db, bool if_exists) const {
  return (if_exists ? "DROP DATABASE IF EXISTS " : "DROP DATABASE ") + name(db);
}

std::string sql_dialect::use_database(std::u16string_view db) const { return "USE " + name(db); }

std::string sql_dialect::column_definition(std::u16string_view column, std::u16string_view type,
                                           std::u16string_view char_set, bool not_null,
                                           std::u16string_view default_text, bool auto_increment,
                                           std::u16string_view comment) const {
  std::string sql = name(column);
  sql += ' ';
  tk_append_utf8(sql, type);
  if (!char_set.empty()) {
    sql += " CHARACTER SET ";
    tk_append_utf8(sql, char_set);
  }
  if (not_null) sql += " NOT NULL";
  if (!default_text.empty()) {
    sql += " DEFAULT ";
    tk_append_utf8(sql, default_text);
  }
  if (auto_increment) sql += " AUTO_INCREMENT";
  if (!comment.empty()) {
    sql += " COMMENT ";
    append_quoted_utf8(sql, comment, escapes_of(where_));
  }
  return sql;
}

std::string sql_dialect::key_definition(bool primary, bool unique, std::u16string_view index_name,
                                        const std::vector<std::u16string>& columns) const {
  std::string sql;
  if (primary) {
    sql = "PRIMARY KEY";
  } else {
    sql = unique ? "UNIQUE " : "INDEX ";
    append_name(sql, index_name);
  }
  sql += " (";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) sql += ", ";
    append_name(sql, columns[i]);
  }
  sql += ')';
  return sql;
}

std::string sql_dialect::create_table(std::u16string_view table, const std::vector<std::string>& columns,
                                      const std::vector<std::string>& keys, std::u16string_view char_set,
                                      std::u16string_view engine, std::u16string_view default_engine,
                                      std::string_view line_break) const {
  if (columns.empty()) throw tk_mail_assertion(source_unit, __LINE__);
  // Servers before 3.23.35 know no other engine.
  const std::u16string_view type = !engine.empty()              ? engine
                                   : version_ < version_3_23_35 ? std::u16string_view(u"MyISAM")
                                                                : default_engine;
  const char* type_clause = version_ < version_4_0_23 ? " TYPE=" : " ENGINE=";
  std::string sql = "CREATE TABLE " + name(table);
  if (where_ == target::live) {
    sql += " (";
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) sql += ", ";
      sql += columns[i];
    }
    for (const std::string& key : keys) {
      sql += ", ";
      sql += key;
    }
    sql += ')';
    if (!char_set.empty()) {
      sql += " character set ";
      tk_append_utf8(sql, char_set);
    }
    sql += type_clause;
    tk_append_utf8(sql, type);
    return sql;
  }
  sql += " (";
  sql += line_break;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) {
      sql += ',';
      sql += line_break;
    }
    sql += "  ";
    sql += columns[i];
  }
  for (const std::string& key : keys) {
    sql += ',';
    sql += line_break;
    sql += "  ";
    sql += key;
  }
  sql += line_break;
  sql += ')';
  sql += type_clause;
  tk_append_utf8(sql, type);
  if (!char_set.empty()) {
    sql += " character set ";
    tk_append_utf8(sql, char_set);
  }
  return sql;
}

std::string sql_dialect::create_temporary_table(std::u16string_view table, const std::vector<std::string>& columns,
                                                const std::vector<std::string>& keys, std::u16string_view char_set,
                                                std::u16string_view engine, std::u16string_view default_engine) const {
  static constexpr std::string_view create = "CREATE ";
  std::string sql = create_table(table, columns, keys, char_set, engine, default_engine, {});
  return sql.insert(create.size(), "TEMPORARY ");
}

std::string sql_dialect::drop_temporary_table(std::u16string_view table) const {
  return "DROP TEMPORARY TABLE IF EXISTS " + name(table);
}

std::string sql_dialect::drop_table(std::u16string_view table) const {
  return "DROP TABLE IF EXISTS " + name(table) + " CASCADE";
}

std::string sql_dialect::rename_tables(std::span<const std::pair<std::u16string, std::u16string>> pairs) const {
  std::string sql = "RENAME TABLE ";
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (i > 0) sql += ", ";
    append_name(sql, pairs[i].first);
    sql += " TO ";
    append_name(sql, pairs[i].second);
  }
  return sql;
}

std::string sql_dialect::lock_table(std::u16string_view table) const { return "LOCK TABLES " + name(table) + " WRITE"; }

std::string sql_dialect::unlock_tables() const { return "UNLOCK TABLES"; }

void sql_dialect::append_insert_head(std::string& out, insert_verb verb, std::u16string_view table,
                                     std::span<const sql_cell_slot> slots) const {
  switch (verb) {
    case insert_verb::insert:
      out += "INSERT INTO ";
      break;
    case insert_verb::insert_ignore:
      out += "INSERT IGNORE INTO ";
      break;
  }
  append_name(out, table);
  out += '(';
  for (size_t k = 0; k < slots.size(); ++k) {
    if (k > 0) out += ", ";
    append_name(out, slots[k].column->name);
  }
  out += ") VALUES";
}

void sql_dialect::append_insert_tail(std::string& out, std::span<const sql_cell_slot> slots) const {
  if (slots.empty() || version_ < version_4_1_0) return;
  // The first column keeps its value: the row held stays as it is.
  out += " ON DUPLICATE KEY UPDATE ";
  append_name(out, slots[0].column->name);
  out += " = ";
  append_name(out, slots[0].column->name);
}

std::string sql_dialect::load_data(std::u16string_view table, std::span<const sql_cell_slot> slots,
                                   std::u16string_view char_set) const {
  std::string sql = "LOAD DATA LOCAL INFILE 'rows' IGNORE INTO TABLE ";
  append_name(sql, table);
  sql += tk_wstring::equal_no_case(char_set, u"utf8mb4") ? " CHARACTER SET utf8mb4" : " CHARACTER SET utf8";
  sql += " FIELDS TERMINATED BY '\\t' ESCAPED BY '\\\\' LINES TERMINATED BY '\\n' (";
  for (size_t k = 0; k < slots.size(); ++k) {
    if (k > 0) sql += ", ";
    append_name(sql, slots[k].column->name);
  }
  sql += ')';
  return sql;
}

void sql_dialect::append_row(std::string& out, const udb_record& record, std::span<const sql_cell_slot> slots,
                             bool first, bool allow_placeholder) const {
  // Most rows of a file read as UTF-8 are texts of inline size for text
  // columns: each quoted as it stands (what append_cell makes of it), the
  // whole row in one pass through room made once.
  size_t room = 20;  // ", (" and ")", and a block stored past the end
  for (const sql_cell_slot& slot : slots) {
    const udb_field& cell = record[slot.cell];
    const t_ftd& column = *slot.column;
    const auto utf8 = cell.utf8();
    if (!utf8 || column.vartype != VT_BSTR || column.is_geometry() || utf8->size() > sql_max_inline_field_size ||
        may_be_guid(*utf8) || (utf8->empty() && !column.native_type.empty())) {
      room = 0;
      break;
    }
    room += utf8->size() * 2 + 4;
  }
  if (room != 0) {
    const escape_table& table = escapes_of(where_);
    const size_t old = out.size();
    out.resize(old + room);
    char* p = out.data() + old;
    if (!first) {
      *p++ = ',';
      *p++ = ' ';
    }
    *p++ = '(';
    for (size_t k = 0; k < slots.size(); ++k) {
      if (k > 0) {
        *p++ = ',';
        *p++ = ' ';
      }
      const std::string_view text = *record[slots[k].cell].utf8();
      *p++ = '\'';
      p = put_escaped(p, text.data(), text.data() + text.size(), table);
      *p++ = '\'';
    }
    *p++ = ')';
    out.resize(static_cast<size_t>(p - out.data()));
    return;
  }
  out += first ? "(" : ", (";
  for (size_t k = 0; k < slots.size(); ++k) {
    if (k > 0) out += ", ";
    append_cell(out, record[slots[k].cell], *slots[k].column, allow_placeholder);
  }
  out += ')';
}

void sql_dialect::write_row_in_pieces(std::string_view head, const udb_record& record,
                                      std::span<const sql_cell_slot> slots,
                                      const std::function<void(std::string_view)>& write) const {
  const escape_table& table = escapes_of(where_);
  std::string text(head);
  text += '(';
  std::string piece;
  std::string piece_utf8;
  for (size_t k = 0; k < slots.size(); ++k) {
    if (k > 0) text += ", ";
    const udb_field& cell = record[slots[k].cell];
    if (cell.get_type() < VT_I2 || cell.get_size() <= sql_max_inline_field_size) {
      append_cell(text, cell, *slots[k].column, false);
      continue;
    }
    TK_TRACE(1, "that[eye]->get_size() > sql_engine::max_field_size");
    TK_TRACE(1, "is_binary=%d", cell.is_binary());
    write(text);
    text.clear();
    if (cell.is_binary()) {
      write("0x");
      for (size_t pos = 0;; pos += piece_units) {
        piece.clear();
        if (cell.get_at(piece, pos, piece_units) == 0) break;
        write(piece);
      }
      continue;
    }
    write("'");
    if (const auto utf8 = cell.utf8()) {
      // Bytes of a character split between pieces join again in the file.
      for (size_t pos = 0; pos < utf8->size(); pos += piece_units) {
        piece.clear();
        append_escaped(piece, utf8->substr(pos, piece_units), table);
        write(piece);
      }
    } else if (cell.get_type() == VT_BSTR) {
      const std::u16string& value = cell.text();
      for (size_t pos = 0; pos < value.size();) {
        size_t end = std::min(value.size(), pos + piece_units);
        // A surrogate pair stays in one piece.
        if (end < value.size() && value[end - 1] >= 0xD800 && value[end - 1] <= 0xDBFF) ++end;
        piece.clear();
        append_escaped_utf8(piece, std::u16string_view(value).substr(pos, end - pos), table);
        write(piece);
        pos = end;
      }
    } else {
      piece_utf8.clear();
      cell.append_to_string(piece_utf8);
      piece.clear();
      append_escaped(piece, piece_utf8, table);
      write(piece);
    }
    write("'");
  }
  text += ')';
  write(text);
}

std::string sql_dialect::modify_column(std::u16string_view column, std::u16string_view type, bool not_null,
                                       std::u16string_view default_text) const {
  std::string sql = "MODIFY " + name(column) + ' ';
  tk_append_utf8(sql, type);
  if (not_null) sql += " NOT NULL";
  if (!default_text.empty()) {
    sql += " DEFAULT ";
    tk_append_utf8(sql, default_text);
  }
  return sql;
}

std::string sql_dialect::alter_table(std::u16string_view table, std::span<const std::string> changes) const {
  std::string sql = "ALTER TABLE " + name(table) + ' ';
  for (size_t i = 0; i < changes.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += changes[i];
  }
  return sql;
}

std::string sql_dialect::change_column_type(std::u16string_view table, std::u16string_view column,
                                            std::u16string_view type) const {
  const std::string quoted = name(column);
  std::string sql = "ALTER TABLE " + name(table) + " CHANGE " + quoted + ' ' + quoted + ' ';
  tk_append_utf8(sql, type);
  return sql;
}

std::string sql_dialect::empty_texts_to_null(std::u16string_view table, std::span<const std::u16string> columns) const {
  std::string sql = "UPDATE " + name(table) + " SET ";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) sql += ", ";
    const std::string column = name(columns[i]);
    sql += column + " = NULLIF(" + column + ", '')";
  }
  return sql;
}

std::string sql_dialect::empty_text_to_null(std::u16string_view table, std::u16string_view column) const {
  const std::string quoted = name(column);
  return "UPDATE " + name(table) + " SET " + quoted + " = NULL WHERE " + quoted + " = ''";
}

std::string sql_dialect::rewrite_dates(std::u16string_view table, std::u16string_view column, std::string_view pattern,
                                       bool with_time) const {
  const std::string quoted = name(column);
  std::string sql = "UPDATE " + name(table) + " SET " + quoted + " = DATE_FORMAT(STR_TO_DATE(" + quoted + ", ";
  append_literal(sql, pattern, VT_BSTR);
  sql += "), ";
  append_literal(sql, std::string_view(with_time ? "%Y-%m-%d %H:%i:%s" : "%Y-%m-%d"), VT_BSTR);
  sql += ')';
  return sql;
}

std::string sql_dialect::null_to_empty_text(std::u16string_view table, std::u16string_view column) const {
  const std::string quoted = name(column);
  return "UPDATE " + name(table) + " SET " + quoted + " = '' WHERE " + quoted + " IS NULL";
}

// ---- Dump comments -----------------------------------------------------------------

std::string sql_dialect::comment_line(std::string_view text) const {
  std::string line = "# ";
  append_comment_text(line, text);
  return line;
}

std::string sql_dialect::comment_block(std::string_view title, std::u16string_view table,
                                       std::string_view line_break) const {
  std::string text(line_break);
  text += '#';
  text += line_break;
  text += "# ";
  text += title;
  text += " '";
  std::string name;
  tk_append_utf8(name, table);
  append_comment_text(text, name);
  text += '\'';
  text += line_break;
  text += '#';
  text += line_break;
  return text;
}
