#include "sql_load_format.h"

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "t_ftd.h"
#include "tk_wstring.h"

namespace {

using kind = sql_load_format::kind;

// Bytes a quoted literal's scan stops at: its own escapes and end, and what
// the LOAD text must escape.
constexpr std::array<bool, 256> make_stops() {
  std::array<bool, 256> stops{};
  stops['\\'] = stops['\''] = stops['\t'] = stops['\n'] = stops[0] = true;
  return stops;
}
constexpr std::array<bool, 256> stops = make_stops();

// The first stop byte at or after `p`, or `end`; sixteen bytes at a time.
const char* find_stop(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('\'');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i line_feed = _mm_set1_epi8('\n');
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(x, quote), _mm_cmpeq_epi8(x, backslash)),
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, tab), _mm_cmpeq_epi8(x, line_feed)), _mm_cmpeq_epi8(x, zero)));
    if (const int mask = _mm_movemask_epi8(hit)) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < end && !stops[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

// The byte a backslash escape of a quoted literal stands for.
char unescape(char c) {
  switch (c) {
    case '0':
      return '\0';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    case 'b':
      return '\b';
    case 'Z':
      return '\x1A';
    default:
      return c;
  }
}

// One byte of a field's value in the LOAD text.
void put_byte(std::string& out, char c) {
  switch (c) {
    case '\\':
      out += "\\\\";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\0':
      out += "\\0";
      break;
    default:
      out += c;
  }
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Whether a bare number, stored into a column of `c`, is stored as its text
// would be.
bool number_fits(std::string_view n, const sql_load_format::column& c) {
  size_t i = 0;
  const bool negative = i < n.size() && n[i] == '-';
  const bool plus = i < n.size() && n[i] == '+';
  if (negative || plus) ++i;
  const size_t int_begin = i;
  while (i < n.size() && is_digit(n[i])) ++i;
  const size_t int_digits = i - int_begin;
  bool point = false;
  size_t frac_digits = 0;
  bool nonzero = false;
  for (size_t k = int_begin; k < i; ++k) nonzero |= n[k] != '0';
  if (i < n.size() && n[i] == '.') {
    point = true;
    for (++i; i < n.size() && is_digit(n[i]); ++i, ++frac_digits) nonzero |= n[i] != '0';
  }
  const bool exponent = i < n.size();
  if (exponent) {
    // Only an exponent may follow: e, an optional sign, digits.
    if (n[i] != 'e' && n[i] != 'E') return false;
    ++i;
    if (i < n.size() && (n[i] == '+' || n[i] == '-')) ++i;
    const size_t exp_begin = i;
    while (i < n.size() && is_digit(n[i])) ++i;
    if (i == exp_begin || i != n.size()) return false;
  }
  if (int_digits + frac_digits == 0) return false;
  switch (c.what) {
    case kind::integer:
      return !point && !exponent && int_digits > 0;
    case kind::decimal:
      return !exponent && int_digits + frac_digits > 0 && frac_digits <= c.scale;
    case kind::real:
      return true;
    case kind::text:
    case kind::binary:
      // The server prints a number literal again: only the shape it prints
      // survives.
      if (exponent || plus || int_digits == 0 || int_digits + frac_digits > 65) return false;
      if (point && frac_digits == 0) return false;
      if (int_digits > 1 && n[int_begin] == '0') return false;
      return !negative || nonzero;
    default:
      return false;
  }
}

}  // namespace

sql_load_format::sql_load_format(std::span<const sql_cell_slot> slots) {
  columns_.reserve(slots.size());
  for (const sql_cell_slot& s : slots) columns_.push_back(column_of(s.column->native_type));
}

sql_load_format::column sql_load_format::column_of(std::u16string_view server_type) {
  size_t n = 0;
  while (n < server_type.size() &&
         ((server_type[n] >= u'a' && server_type[n] <= u'z') || (server_type[n] >= u'A' && server_type[n] <= u'Z')))
    ++n;
  const std::u16string word = tk_wstring::to_lower(std::u16string(server_type.substr(0, n)));
  auto one_of = [&](std::initializer_list<std::u16string_view> names) {
    for (std::u16string_view name : names)
      if (word == name) return true;
    return false;
  };
  column c;
  if (one_of({u"tinyint", u"smallint", u"mediumint", u"int", u"integer", u"bigint"})) {
    c.what = kind::integer;
  } else if (one_of({u"decimal", u"numeric", u"dec", u"fixed"})) {
    c.what = kind::decimal;
    // "decimal(19,4)": the scale follows the comma.
    const size_t comma = server_type.find(u',');
    for (size_t i = comma == std::u16string_view::npos ? server_type.size() : comma + 1;
         i < server_type.size() && server_type[i] >= u'0' && server_type[i] <= u'9'; ++i)
      c.scale = c.scale * 10 + static_cast<uint32_t>(server_type[i] - u'0');
  } else if (one_of({u"float", u"double", u"real"})) {
    c.what = kind::real;
  } else if (one_of({u"char", u"varchar", u"tinytext", u"text", u"mediumtext", u"longtext"})) {
    c.what = kind::text;
  } else if (one_of({u"binary", u"varbinary", u"tinyblob", u"blob", u"mediumblob", u"longblob"})) {
    c.what = kind::binary;
  } else if (one_of({u"date", u"datetime", u"timestamp", u"time", u"year"})) {
    c.what = kind::temporal;
  }
  return c;
}

bool sql_load_format::append(std::string& out, std::string_view rows) const {
  const char* p = rows.data();
  const char* const end = p + rows.size();
  auto take = [&](std::string_view expected) {
    if (static_cast<size_t>(end - p) < expected.size() || std::string_view(p, expected.size()) != expected)
      return false;
    p += expected.size();
    return true;
  };
  while (p < end) {
    if (!take("(")) return false;
    for (size_t k = 0; k < columns_.size(); ++k) {
      if (k > 0) {
        if (!take(", ")) return false;
        out += '\t';
      }
      const column& c = columns_[k];
      if (p == end) return false;
      if (*p == '\'') {
        if (c.what == kind::other) return false;
        ++p;
        for (;;) {
          const char* run = p;
          p = find_stop(p, end);
          out.append(run, static_cast<size_t>(p - run));
          if (p == end) return false;
          char ch = *p++;
          if (ch == '\'') break;
          if (ch == '\\') {
            if (p == end) return false;
            ch = unescape(*p++);
          }
          put_byte(out, ch);
        }
      } else if (take("NULL")) {
        out += "\\N";
      } else if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hex_value(p[2]) >= 0) {
        if (c.what != kind::binary) return false;
        p += 2;
        const char* digits = p;
        while (p < end && hex_value(*p) >= 0) ++p;
        if ((p - digits) % 2 != 0) return false;
        for (const char* d = digits; d < p; d += 2)
          put_byte(out, static_cast<char>(hex_value(d[0]) * 16 + hex_value(d[1])));
      } else if (is_digit(*p) || *p == '-' || *p == '+' || *p == '.') {
        const char* number = p;
        while (p < end && (is_digit(*p) || *p == '-' || *p == '+' || *p == '.' || *p == 'e' || *p == 'E')) ++p;
        const std::string_view text(number, static_cast<size_t>(p - number));
        if (!number_fits(text, c)) return false;
        out += text;
      } else {
        return false;
      }
    }
    if (!take(")")) return false;
    out += '\n';
    if (p < end && !take(", ")) return false;
  }
  return true;
}
