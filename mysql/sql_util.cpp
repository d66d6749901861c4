#include "sql_util.h"

#include <array>
#include <charconv>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ole_date.h"
#include "ole_guid_extractor.h"
#include "sql_engine.h"
#include "t_ftd.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_string.h"
#include "tk_unicode.h"
#include "tk_wstring.h"
#include "udb_field.h"

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

const escape_table& escapes(sql_literal_style style) {
  return style == sql_literal_style::dump ? dump_escapes : live_escapes;
}

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
  while (s < end) {
#if defined(__SSE2__)
    // Blocks of 16 ASCII units without a character to escape are narrowed
    // and stored whole.
    const __m128i not_ascii = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    while (end - s >= 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8));
      const __m128i high = _mm_and_si128(_mm_or_si128(a, b), not_ascii);
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, zero)) != 0xFFFF) break;
      const __m128i bytes = _mm_packus_epi16(a, b);
      __m128i special =
          _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\'')));
      if (table.dump) {
        special = _mm_or_si128(special,
                               _mm_or_si128(_mm_cmpeq_epi8(bytes, zero), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
        special = _mm_or_si128(special, _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                                                     _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x1A))));
      }
      if (_mm_movemask_epi8(special)) break;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), bytes);
      p += 16;
      s += 16;
    }
    if (s == end) break;
    // The block that stopped the fast path goes unit by unit.
    const char16_t* block_end = end - s > 16 ? s + 16 : end;
#else
    const char16_t* block_end = end;
#endif
    while (s < block_end) {
      char16_t c = *s++;
      if (c < 0x80) {
        char e = table.code[c];
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
        char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (static_cast<char32_t>(*s++) - 0xDC00);
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
    }
  }
  out.resize(static_cast<size_t>(p - out.data()));
}

// Narrow (UTF-8) text: multi-byte sequences never contain ASCII bytes, so
// escaping byte by byte is safe. Runs without special bytes are copied whole.
void append_escaped(std::string& out, std::string_view text, const escape_table& table) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80 || !table.code[c]) continue;
    TK_TRACE(1, "Got symbol to mask (2): %c", text[i]);
    out.append(text.data() + run, i - run);
    out += '\\';
    out += table.code[c];
    run = i + 1;
  }
  out.append(text.data() + run, text.size() - run);
}

void append_escaped(std::u16string& out, std::u16string_view text, const escape_table& table) {
  out.reserve(out.size() + text.size() + 2);
  for (char16_t c : text) {
    if (c < 0x80 && table.code[c]) {
      TK_TRACE(1, "Got symbol to mask (1): %c", c);
      out += u'\\';
      out += static_cast<char16_t>(table.code[c]);
    } else {
      out += c;
    }
  }
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
void append_literal(std::string& out, std::basic_string_view<C> text, VARTYPE vt, const escape_table& table) {
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
  append_literal(out, text, vt, table);
}

void append_literal_narrow(std::string& out, std::string_view text, VARTYPE vt, const escape_table& table) {
  append_literal(out, text, vt, table);
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
  std::u16string out = get_sql_type_name(key);
  out += u'(';
  out += tk_widen_ascii(std::to_string(size));
  out += u')';
  return out;
}

std::u16string with_precision(int key, uint32_t precision, uint32_t scale) {
  std::u16string out = get_sql_type_name(key);
  out += u'(';
  out += tk_widen_ascii(std::to_string(precision));
  out += u',';
  out += tk_widen_ascii(std::to_string(scale));
  out += u')';
  return out;
}

uint32_t engine_version() {
  const sql_engine* engine = sql_engine::instance_ptr();
  return engine ? engine->version : 0;
}

std::u16string date_type(const t_ftd& field, bool name_only) {
  const std::u16string def = field.def_value.to_wstring();
  TK_TRACE(1, "Got date def.value: '%s'", def);
  if (field.reserved == 9 ||
      one_of_no_case(def, {u"NOW()", u"sysdate", u"getdate()", u"getutcdate()", u"CURRENT_TIMESTAMP"})) {
    TK_TRACE(1, "Customize date type due to NOW() def.value");
    return get_sql_type_name(sql_type_key::timestamp);
  }
  if (field.reserved == 10 || equal_no_case(def, u"date()")) {
    TK_TRACE(1, "Customize date type due to date() def.value");
    return get_sql_type_name(sql_type_key::date);
  }
  switch (field.reserved & 3) {
    case 0:
      return name_only ? get_sql_type_name(sql_type_key::char_) : with_size(sql_type_key::char_, 19);
    case 1:
      if (engine_version() >= sql_engine::version_5_6_4) TK_TRACE(1, "MySQL ver >= 5.6.4, modern datetime can be used");
      return get_sql_type_name(sql_type_key::datetime);
    case 2:
      TK_TRACE(1, "Got pure date");
      return get_sql_type_name(sql_type_key::date);
    default:
      if (engine_version() >= sql_engine::version_5_6_4) TK_TRACE(1, "MySQL ver >= 5.6.4, modern time can be used");
      return get_sql_type_name(sql_type_key::time);
  }
}

std::u16string text_type(const t_ftd& field, bool name_only) {
  TK_TRACE(1, "process as text");
  if (field.reserved == 2 || field.reserved == 8) {
    TK_TRACE(1, "process VT_BSTR as geometry");
    return u"geometry";
  }
  if (field.reserved == 16) {
    TK_TRACE(1, "process VT_BSTR as fixed width CHAR");
    return name_only ? get_sql_type_name(sql_type_key::char_) : with_size(sql_type_key::char_, field.size);
  }
  if (field.size == 0 || field.size > sql_max_mediumtext_chars) return get_sql_type_name(sql_type_key::longtext);
  if (field.size > sql_max_varchar_chars) {
    TK_TRACE(1, "case insensitive MEDIUMTEXT");
    return get_sql_type_name(sql_type_key::mediumtext);
  }
  TK_TRACE(1, "case insensitive VARCHAR");
  return name_only ? get_sql_type_name(sql_type_key::varchar) : with_size(sql_type_key::varchar, field.size);
}

std::u16string blob_type(const t_ftd& field, bool name_only) {
  TK_TRACE(1, "process as blob");
  const uint32_t size = field.size;
  if (size == 0 || size > sql_max_mediumblob_bytes) return get_sql_type_name(sql_type_key::longblob);
  if (size > sql_max_blob_bytes) return get_sql_type_name(sql_type_key::mediumblob);
  if (size > sql_max_varbinary_bytes) return get_sql_type_name(sql_type_key::blob);
  return name_only ? get_sql_type_name(sql_type_key::varbinary) : with_size(sql_type_key::varbinary, size);
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

}  // namespace

// ---- Type texts ---------------------------------------------------------------

const std::u16string& get_sql_type_name(int key) {
  static const std::u16string unknown = u"<Unknown type>";
  const auto& names = type_names();
  if (key < 0 || static_cast<size_t>(key) >= names.size()) {
    TK_TRACE(3, "Type %d wasn't found", key);
    return unknown;
  }
  return names[static_cast<size_t>(key)];
}

std::u16string get_sql_native_type2(const t_ftd& field, bool name_only) {
  TK_TRACE(2, "get_sql_native_type2: %s(%d,%d,%d)", field.name, field.vartype, field.size, field.reserved);
  switch (field.vartype) {
    case VT_I2:
      return get_sql_type_name(sql_type_key::smallint);
    case VT_I4:
    case VT_INT:
      return get_sql_type_name(sql_type_key::int_);
    case VT_R4:
      return get_sql_type_name(sql_type_key::float_);
    case VT_R8:
      return get_sql_type_name(sql_type_key::double_);
    case VT_CY:
      return name_only ? get_sql_type_name(sql_type_key::decimal) : with_precision(sql_type_key::decimal, 19, 4);
    case VT_DATE:
      return date_type(field, name_only);
    case VT_BSTR:
      return text_type(field, name_only);
    case VT_BOOL:
      return name_only ? get_sql_type_name(sql_type_key::tinyint) : with_size(sql_type_key::tinyint, 1);
    case VT_DECIMAL:
      TK_TRACE(1, "Scale/precision for decimal column: (%d, %d)", field.scale, field.precision);
      if (field.precision == 0) return get_sql_type_name(sql_type_key::double_);
      return name_only ? get_sql_type_name(sql_type_key::decimal)
                       : with_precision(sql_type_key::decimal, field.precision, field.scale);
    case VT_I1:
      return get_sql_type_name(sql_type_key::tinyint);
    case VT_UI1:
      return get_sql_type_name(sql_type_key::tinyint_unsigned);
    case VT_UI2:
      return get_sql_type_name(sql_type_key::smallint_unsigned);
    case VT_UI4:
    case VT_UINT:
      return get_sql_type_name(sql_type_key::int_unsigned);
    case VT_I8:
      return get_sql_type_name(sql_type_key::bigint);
    case VT_UI8:
      return get_sql_type_name(sql_type_key::bigint_unsigned);
    case VT_BLOB:
    case VT_ARRAY_UI1:
      return blob_type(field, name_only);
    default:
      throw tk_mail_assertion(source_unit, __LINE__);
  }
}

std::u16string get_sql_native_type1(const sql_native_type& type) {
  TK_TRACE(2, "get_sql_native_type1");
  std::u16string buf;
  if (equal_no_case(type.name, get_sql_type_name(sql_type_key::varchar)) ||
      equal_no_case(type.name, get_sql_type_name(sql_type_key::char_))) {
    buf = type.name + u"(" + tk_widen_ascii(std::to_string(type.length)) + u")";
  } else if (equal_no_case(type.name, get_sql_type_name(sql_type_key::decimal))) {
    buf = type.name + u"(" + tk_widen_ascii(std::to_string(type.precision)) + u"," +
          tk_widen_ascii(std::to_string(type.scale)) + u")";
  } else {
    buf = type.name;
  }
  TK_TRACE(1, "buf=%s", buf);
  return buf;
}

VARTYPE get_vartype_from_name(std::u16string_view name, uint32_t& size) {
  TK_TRACE(2, "get_vartype_from_name(%s)", name);
  if (tk_wstring::starts_with(name, u"VARCHAR", true) || tk_wstring::starts_with(name, u"CHAR", true)) {
    if (!name.empty() && name.back() == u')') {
      size_t open = name.find(u'(');
      if (open != std::u16string_view::npos) {
        uint32_t n = 0;
        std::string digits = narrow_ascii(name.substr(open + 1, name.size() - open - 2));
        auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (ec == std::errc() && ptr != digits.data()) size = n;
      }
    }
    return VT_BSTR;
  }
  struct entry {
    std::u16string_view name;
    VARTYPE vt;
    uint32_t size;
  };
  static constexpr entry table[] = {
      {u"BIT", VT_I1, 1},
      {u"TINYINT", VT_I1, 1},
      {u"TINYINT UNSIGNED", VT_UI1, 1},
      {u"SMALLINT", VT_I2, 2},
      {u"SMALLINT UNSIGNED", VT_UI2, 2},
      {u"INT", VT_I4, 4},
      {u"INT UNSIGNED", VT_UI4, 4},
      {u"BIGINT", VT_I8, 8},
      {u"BIGINT UNSIGNED", VT_UI8, 8},
      {u"DATE", VT_DATE, 8},
      {u"TIME", VT_DATE, 8},
      {u"DOUBLE", VT_R8, 8},
      {u"FLOAT", VT_R4, 4},
  };
  for (const entry& e : table) {
    if (equal_no_case(name, e.name)) {
      size = e.size;
      return e.vt;
    }
  }
  if (tk_wstring::starts_with(name, u"DECIMAL", true)) return VT_DECIMAL;
  return VT_BSTR;
}

std::u16string make_mysql_def_val(const t_ftd& field) {
  const std::u16string text = field.def_value.to_wstring();
  TK_TRACE(2, "make_mysql_def_val(%d,%s)", field.vartype, text);
  if (text == u"to_char(sysdate,'yyyy-mm-dd hh24:mi:ss')") {
    TK_TRACE(1, "Cannot set def.value as current timetsamp for varchar column");
    return {};
  }
  if (field.vartype == VT_DATE) {
    switch (field.reserved) {
      case 9:
        TK_TRACE(1, "Got NOW() def.value");
        return u"CURRENT_TIMESTAMP";
      case 10:
        return u"CURRENT_DATE()";
      case 11:
        return u"CURRENT_TIME()";
      default:
        break;
    }
  }
  if (field.vartype == VT_BSTR && !text.empty()) {
    TK_TRACE(1, "Got BSTR def value: %s", text);
    return to_mysql_wstr(text, VT_BSTR);
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
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      if (!reads_back<int32_t>(narrow)) return {};
      TK_TRACE(1, "Int/long default value is correct");
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
      ole_date date(text);
      if (!date.is_valid()) return {};
      if ((field.reserved & 3) == 2) {
        date.kind = ole_date::kind_date;
      } else if ((field.reserved & 3) == 3) {
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

// ---- Literals ---------------------------------------------------------------

std::u16string to_mysql_wstr(std::u16string_view text, VARTYPE vt, sql_literal_style style) {
  TK_TRACE(1, "to_mysql_wstr(%s)", text);
  const escape_table& table = escapes(style);
  // Text stays UTF-16; every other literal is built once as UTF-8.
  const bool guid = vt == VT_BSTR && may_hold_guid(text.size()) && ole_guid_extractor(text).is_well_formed();
  if (vt == VT_BSTR && !text.empty() && !guid) {
    std::u16string out;
    out.reserve(text.size() + 2);
    out += u'\'';
    append_escaped(out, text, table);
    out += u'\'';
    return out;
  }
  std::string narrow;
  append_literal_utf8(narrow, text, vt, table);
  std::u16string wide;
  tk_append_utf16(wide, narrow);
  return wide;
}

std::string to_mysql_str(std::string_view text, VARTYPE vt, sql_literal_style style) {
  TK_TRACE(1, "to_mysql_str(%s)", text);
  std::string out;
  append_literal_narrow(out, text, vt, escapes(style));
  return out;
}

std::string to_mysql_str(const ole_variant& value, sql_literal_style style) {
  TK_TRACE(1, "to_mysql_str");
  std::string out;
  append_variant_literal(out, value, escapes(style));
  return out;
}

void append_mysql_wstr(std::string& out, std::u16string_view text, VARTYPE vt, sql_literal_style style) {
  TK_TRACE(1, "to_mysql_wstr(%s)", text);
  append_literal_utf8(out, text, vt, escapes(style));
}

void append_mysql_str(std::string& out, std::string_view text, VARTYPE vt, sql_literal_style style) {
  TK_TRACE(1, "to_mysql_str(%s)", text);
  append_literal_narrow(out, text, vt, escapes(style));
}

void append_mysql_str(std::string& out, const ole_variant& value, sql_literal_style style) {
  TK_TRACE(1, "to_mysql_str");
  append_variant_literal(out, value, escapes(style));
}

void get_fld_append_str(std::string& out, const udb_field* cell, const t_ftd* column, bool allow_placeholder,
                        sql_literal_style style) {
  TK_TRACE(1, "get_fld_append_str");
  TK_ASSERT(cell != nullptr && column != nullptr, source_unit);
  const escape_table& table = escapes(style);
  const VARTYPE cell_vt = cell->get_type();
  const VARTYPE col_vt = column->vartype;

  if (allow_placeholder && cell_vt >= VT_I2 && cell->get_size() > sql_max_inline_field_size) {
    TK_TRACE(1, "fld->get_size()=%d", cell->get_size());
    TK_TRACE(1, "Returns placeholder for prepared statement");
    out += '?';
    return;
  }

  if (col_vt == VT_BSTR) {
    TK_TRACE(1, "Got BSTR value: %s, flags=%d", cell->to_wstring(), column->reserved);
    if (cell_vt == VT_BSTR) {
      if (column->reserved == 2 || column->reserved == 8) {
        out += "ST_GeomFromText('";
        append_escaped_utf8(out, cell->text(), table);
        out += "')";
        return;
      }
      append_literal_utf8(out, cell->text(), VT_BSTR, table);
      return;
    }
    if (cell_vt == VT_DATE) {
      append_variant_literal(out, *cell, table);
      return;
    }
    if (cell->is_binary()) {
      // The cell's text is its 0x rendering, written bare.
      if (cell->bytes().empty()) {
        out += "''";
      } else {
        out += "0x";
        tk_string::append_hex(out, cell->bytes().data(), cell->bytes().size());
      }
      return;
    }
    if (cell_vt < VT_I2) {
      out += "NULL";
      return;
    }
    if (column->reserved == 2 || column->reserved == 8) {
      out += "ST_GeomFromText('";
      cell->append_to_string(out);
      out += "')";
      return;
    }
    append_variant_literal(out, *cell, table);
    return;
  }

  // A time of day in a column of dates and times keeps its zero date: the
  // server would read a bare time there as a date ('12:00:00' as 2012-00-00).
  if (col_vt == VT_DATE && cell_vt == VT_DATE && (column->reserved & 3) != 3 &&
      cell->get_date().kind == ole_date::kind_time) {
    out += '\'';
    cell->get_date().append_to(out, 6);
    out += '\'';
    return;
  }

  // Any other column: the cell's own literal; text in a numeric column is
  // written as a number.
  const size_t at = out.size();
  bool empty_like = cell_vt < VT_I2;
  if (ole_variant::is_numeric(col_vt) && !cell->is_numeric()) {
    if (cell_vt == VT_BSTR) {
      const std::u16string& text = cell->text();
      // Text "" would have made the bare literal "" (two double quotes).
      if (text.empty() || text == u"\"\"") empty_like = true;
      append_literal_utf8(out, text, col_vt, table);
    } else if (cell_vt < VT_I2) {
      out += "''";
    } else {
      std::string text;
      cell->append_to_string(text);
      if (text.empty()) empty_like = true;
      append_literal_narrow(out, text, col_vt, table);
    }
  } else {
    append_variant_literal(out, *cell, table);
    if (cell_vt == VT_BSTR && cell->text().empty()) empty_like = true;
  }
  TK_TRACE(1, "Got field: %s, type=%08X", std::string_view(out).substr(at), col_vt);
  std::string_view literal(out.data() + at, out.size() - at);
  if (!empty_like && !literal.empty() && literal != "''") return;
  if (col_vt == VT_BSTR || ole_variant::is_binary(col_vt)) return;
  if (!column->b_not_null) {
    TK_TRACE(1, "Put NULL-field");
    out.resize(at);
    out += "NULL";
    return;
  }
  TK_TRACE(1, "Put default value");
  if (cell->is_numeric()) {
    out.resize(at);
    out += '0';
  }
}

std::string get_fld_append_str(const udb_field* cell, const t_ftd* column, bool allow_placeholder,
                               sql_literal_style style) {
  std::string out;
  get_fld_append_str(out, cell, column, allow_placeholder, style);
  return out;
}

// ---- Server cells -------------------------------------------------------------

VARTYPE get_vartype(int mysql_type, unsigned flags) {
  TK_TRACE(1, "get_vartype(%d,%d)", mysql_type, flags);
  const bool is_unsigned = (flags & sql_unsigned_flag) != 0;
  switch (mysql_type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
      return VT_DECIMAL;
    case MYSQL_TYPE_TINY:
      return is_unsigned ? VT_UI1 : VT_I1;
    case MYSQL_TYPE_SHORT:
      return is_unsigned ? VT_UI2 : VT_I2;
    case MYSQL_TYPE_LONG:
      return is_unsigned ? VT_UI4 : VT_I4;
    case MYSQL_TYPE_FLOAT:
      return VT_R4;
    case MYSQL_TYPE_DOUBLE:
      return VT_R8;
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME:
      return VT_DATE;
    case MYSQL_TYPE_LONGLONG:
      return is_unsigned ? VT_UI8 : VT_I8;
    case MYSQL_TYPE_INT24:
      return VT_I4;
    case MYSQL_TYPE_YEAR:
      return VT_UI2;
    case MYSQL_TYPE_BIT:
      return VT_BOOL;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB: {
      const sql_engine* engine = sql_engine::instance_ptr();
      const bool blob_to_text = engine && engine->blob_to_text;
      TK_TRACE(1, "Processing BLOB, blob_to_text=%d", blob_to_text);
      return blob_to_text ? VT_BSTR : VT_ARRAY_UI1;
    }
    case MYSQL_TYPE_VAR_STRING:
      return (flags & sql_binary_flag) ? VT_ARRAY_UI1 : VT_BSTR;
    default:
      return VT_BSTR;
  }
}

namespace {

bool is_blob_type(int mysql_type) {
  return mysql_type == MYSQL_TYPE_TINY_BLOB || mysql_type == MYSQL_TYPE_MEDIUM_BLOB ||
         mysql_type == MYSQL_TYPE_LONG_BLOB || mysql_type == MYSQL_TYPE_BLOB;
}

// Whether a result cell of this type and these flags is read as text (as
// opposed to bytes or a typed value).
enum class cell_form { text, bytes, typed };

cell_form form_of(int mysql_type, unsigned flags) {
  const bool binary = (flags & sql_binary_flag) != 0;
  if (mysql_type == MYSQL_TYPE_VAR_STRING) {
    TK_TRACE(1, binary ? "Process TEXT as BINARY" : "Extract TEXT value");
    return binary ? cell_form::bytes : cell_form::text;
  }
  if (is_blob_type(mysql_type)) {
    const sql_engine* engine = sql_engine::instance_ptr();
    if ((engine && engine->blob_to_text) || !binary) {
      TK_TRACE(1, "Process BINARY as TEXT");
      return cell_form::text;
    }
    TK_TRACE(1, "Extract BINARY value");
    return cell_form::bytes;
  }
  return cell_form::typed;
}

}  // namespace

void get_variant(ole_variant& out, int mysql_type, size_t length, unsigned flags, const char* data) {
  TK_TRACE(1, "get_variant(2), type=%d, lenght=%d", mysql_type, length);
  if (!data) {
    TK_TRACE(1, "process NULL-values");
    out.set_null();
    return;
  }
  const std::string_view cell(data, length);
  switch (form_of(mysql_type, flags)) {
    case cell_form::text: {
      std::u16string& text = out.text_for_write();
      if (!tk_append_utf16(text, cell)) (void)tk_utf8_to_unicode(cell);  // raises the conversion error
      return;
    }
    case cell_form::bytes: {
      std::vector<uint8_t>& bytes = out.bytes_for_write();
      bytes.assign(reinterpret_cast<const uint8_t*>(data), reinterpret_cast<const uint8_t*>(data) + length);
      return;
    }
    case cell_form::typed:
      break;
  }
  const VARTYPE vt = get_vartype(mysql_type, flags);
  if (vt == VT_BOOL) {
    out.set_bool(length > 0 && data[0] != 0);
  } else if (vt == VT_BSTR) {
    std::u16string& text = out.text_for_write();
    if (!tk_append_utf16(text, cell)) (void)tk_utf8_to_unicode(cell);
  } else {
    out.from_string(cell, vt);
  }
}

void get_variant(ole_variant& out, int mysql_type, size_t length, unsigned flags, const char16_t* data) {
  TK_TRACE(1, "get_variant(2), type=%d, lenght=%d", mysql_type, length);
  if (!data) {
    TK_TRACE(1, "process NULL-values");
    out.set_null();
    return;
  }
  const std::u16string_view cell(data, length);
  switch (form_of(mysql_type, flags)) {
    case cell_form::text:
      out.set_text(cell);
      return;
    case cell_form::bytes: {
      std::vector<uint8_t>& bytes = out.bytes_for_write();
      bytes.resize(length);
      for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(cell[i] & 0xFF);
      return;
    }
    case cell_form::typed:
      break;
  }
  const VARTYPE vt = get_vartype(mysql_type, flags);
  if (vt == VT_BOOL) {
    out.set_bool(length > 0 && data[0] != 0);
  } else {
    out.from_wstring(cell, vt);
  }
}
