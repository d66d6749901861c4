#include "ole_number_text.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <limits>

namespace {

// The runtime's white space (isspace in the C locale).
inline bool is_white(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

size_t skip_white(std::string_view s, size_t i) {
  while (i < s.size() && is_white(s[i])) ++i;
  return i;
}

// Exponents beyond this cannot change any result of the readers.
constexpr int32_t exponent_cap = 100000;

// The C locale, so that strtod never sees the process's decimal separator.
locale_t c_locale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

// Rounds to nearest with ties to even.
double round_even(double x) { return std::nearbyint(x); }

}  // namespace

bool ole_number_text::parse(std::string_view text, parsed& out) {
  out = parsed();
  size_t i = skip_white(text, 0);
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) out.negative = text[i++] == '-';
  bool any_digit = false;
  int32_t exp = 0;
  for (; i < text.size() && is_digit(text[i]); ++i) {
    any_digit = true;
    char d = text[i];
    if (out.n_digits == 0 && d == '0') continue;
    if (out.n_digits < max_digits) {
      out.digits[out.n_digits++] = d;
    } else {
      if (exp < exponent_cap) ++exp;
      if (d != '0') out.dropped_nonzero = true;
    }
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (; i < text.size() && is_digit(text[i]); ++i) {
      any_digit = true;
      char d = text[i];
      if (out.n_digits == 0 && d == '0') {
        if (exp > -exponent_cap) --exp;
        continue;
      }
      if (out.n_digits < max_digits) {
        out.digits[out.n_digits++] = d;
        if (exp > -exponent_cap) --exp;
      } else if (d != '0') {
        out.dropped_nonzero = true;
      }
    }
  }
  if (!any_digit) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    if (i >= text.size() || !is_digit(text[i])) return false;
    int32_t e = 0;
    for (; i < text.size() && is_digit(text[i]); ++i)
      if (e < exponent_cap) e = e * 10 + (text[i] - '0');
    exp += neg ? -e : e;
  }
  i = skip_white(text, i);
  if (i != text.size()) return false;
  if (out.n_digits == 0) {
    out.exponent = 0;
    out.dropped_nonzero = false;
  } else {
    out.exponent = exp;
  }
  return true;
}

bool ole_number_text::round_scaled(const parsed& number, int scale, unsigned __int128& magnitude) {
  magnitude = 0;
  const int n = number.n_digits;
  if (n == 0) return true;
  const int64_t k = static_cast<int64_t>(number.exponent) + scale;  // value × 10^scale = D × 10^k
  const int64_t m = n + k;                                          // digits of the integer part
  if (m > 38) return false;
  if (k >= 0) {
    for (int i = 0; i < n; ++i) magnitude = magnitude * 10 + static_cast<unsigned>(number.digits[i] - '0');
    for (int64_t i = 0; i < k; ++i) magnitude *= 10;
    return true;
  }
  if (m < 0) return true;  // below half a unit
  for (int64_t i = 0; i < m; ++i) magnitude = magnitude * 10 + static_cast<unsigned>(number.digits[i] - '0');
  const char round_digit = number.digits[m];
  bool rest = number.dropped_nonzero;
  for (int i = static_cast<int>(m) + 1; i < n && !rest; ++i) rest = number.digits[i] != '0';
  if (round_digit > '5' || (round_digit == '5' && (rest || (magnitude & 1)))) ++magnitude;
  return true;
}

bool ole_number_text::to_double(const parsed& number, double& out) {
  if (number.n_digits == 0) {
    out = number.negative ? -0.0 : 0.0;
    return true;
  }
  char buf[max_digits + 32];
  char* p = buf;
  if (number.negative) *p++ = '-';
  for (int i = 0; i < number.n_digits; ++i) *p++ = number.digits[i];
  int32_t exp = number.exponent;
  // A trailing non-zero digit stands for the dropped ones, so that the
  // rounding direction stays right.
  if (number.dropped_nonzero) {
    *p++ = '1';
    --exp;
  }
  *p++ = 'e';
  p = std::to_chars(p, buf + sizeof buf, exp).ptr;
  double value = 0;
  auto r = std::from_chars(buf, p, value);
  if (r.ec == std::errc::result_out_of_range) {
    // Overflow when the number has digits left of the point, else underflow.
    if (static_cast<int64_t>(number.n_digits) + number.exponent > 0) return false;
    out = number.negative ? -0.0 : 0.0;
    return true;
  }
  if (r.ec != std::errc() || !std::isfinite(value)) return false;
  out = value;
  return true;
}

namespace {

// Sign and digits after white space; `limit` is the magnitude to clamp to
// for a positive and a negative result.
int64_t read_clamped(std::string_view text, uint64_t pos_limit, uint64_t neg_limit) {
  size_t i = skip_white(text, 0);
  bool neg = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
  const uint64_t limit = neg ? neg_limit : pos_limit;
  uint64_t v = 0;
  for (; i < text.size() && is_digit(text[i]); ++i) {
    unsigned d = static_cast<unsigned>(text[i] - '0');
    if (v > (limit - d) / 10) {
      v = limit;
      break;
    }
    v = v * 10 + d;
  }
  if (neg) return v == (uint64_t(1) << 63) ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(v);
  return static_cast<int64_t>(v);
}

uint64_t read_wrapping(std::string_view text) {
  size_t i = skip_white(text, 0);
  bool neg = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
  uint64_t v = 0;
  for (; i < text.size() && is_digit(text[i]); ++i) v = v * 10 + static_cast<unsigned>(text[i] - '0');
  return neg ? 0 - v : v;
}

}  // namespace

int32_t ole_number_text::atoi(std::string_view text) {
  return static_cast<int32_t>(read_clamped(text, INT32_MAX, uint64_t(INT32_MAX) + 1));
}

int64_t ole_number_text::atoi64(std::string_view text) {
  return read_clamped(text, INT64_MAX, uint64_t(INT64_MAX) + 1);
}

uint32_t ole_number_text::scan_u32(std::string_view text) { return static_cast<uint32_t>(read_wrapping(text)); }
uint64_t ole_number_text::scan_u64(std::string_view text) { return read_wrapping(text); }

double ole_number_text::atof(std::string_view text) {
  size_t i = skip_white(text, 0);
  bool neg = false;
  size_t body = i;
  if (body < text.size() && (text[body] == '+' || text[body] == '-')) neg = text[body++] == '-';
  if (body < text.size() && (is_digit(text[body]) || text[body] == '.')) {
    bool hex = text[body] == '0' && body + 1 < text.size() && (text[body + 1] == 'x' || text[body + 1] == 'X');
    if (!hex) {
      double v = 0;
      auto r = std::from_chars(text.data() + body, text.data() + text.size(), v, std::chars_format::general);
      if (r.ec == std::errc()) return neg ? -v : v;
      if (r.ec == std::errc::invalid_argument) return 0.0;
      // Out of range: the runtime's answer (infinity or zero) below.
    }
  } else if (body >= text.size() || std::string_view("iInN").find(text[body]) == std::string_view::npos) {
    return 0.0;
  }
  // Hexadecimal, infinities, NaN and out-of-range values: the C runtime.
  std::string copy(text.substr(i));
  return strtod_l(copy.c_str(), nullptr, c_locale());
}

namespace {

void upper_exponent(char* begin, char* end) {
  for (char* p = begin; p != end; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 32);
}

void append_general(std::string& out, double value, int precision) {
  if (value == 0) {  // also -0
    out += '0';
    return;
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, precision);
  upper_exponent(buf, r.ptr);
  out.append(buf, r.ptr);
}

}  // namespace

void ole_number_text::append_r8(std::string& out, double value) { append_general(out, value, 15); }
void ole_number_text::append_r4(std::string& out, float value) { append_general(out, value, 7); }

void ole_number_text::append_scientific(std::string& out, double value, int precision) {
  char buf[128];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, precision);
  out.append(buf, r.ptr);
}

void ole_number_text::append_int(std::string& out, int64_t value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}

void ole_number_text::append_uint(std::string& out, uint64_t value) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}

void ole_number_text::append_currency(std::string& out, int64_t scaled) {
  uint64_t mag = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  if (scaled < 0) out += '-';
  append_uint(out, mag / 10000);
  unsigned frac = static_cast<unsigned>(mag % 10000);
  if (frac == 0) return;
  char digits[5] = {'.', static_cast<char>('0' + frac / 1000), static_cast<char>('0' + frac / 100 % 10),
                    static_cast<char>('0' + frac / 10 % 10), static_cast<char>('0' + frac % 10)};
  size_t n = 5;
  while (digits[n - 1] == '0') --n;
  out.append(digits, n);
}

bool ole_number_text::round_to_int64(double value, int64_t& out) {
  double r = round_even(value);
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return false;
  out = static_cast<int64_t>(r);
  return true;
}

bool ole_number_text::round_to_uint64(double value, uint64_t& out) {
  double r = round_even(value);
  if (!(r > -1.0 && r < 18446744073709551616.0)) return false;
  out = r <= 0 ? 0 : static_cast<uint64_t>(r);
  return true;
}
