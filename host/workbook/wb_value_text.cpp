#include "wb_value_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "wb_ole_date.h"

bool wb_parse_number(std::string_view text, double& value) {
  static constexpr double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  // Up to 19 digits cannot overflow the mantissa.
  std::uint64_t mantissa = 0;
  const char* const first = p;
  for (; p < end && static_cast<unsigned char>(*p - '0') <= 9; ++p)
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
  const std::ptrdiff_t integer_digits = p - first;
  std::ptrdiff_t decimals = 0;
  if (p < end && *p == '.' && integer_digits > 0) {
    const char* const point = ++p;
    for (; p < end && static_cast<unsigned char>(*p - '0') <= 9; ++p)
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    decimals = p - point;
  }
  if (p == end && integer_digits > 0 && integer_digits + decimals <= 19 && mantissa <= (std::uint64_t{1} << 53) &&
      decimals <= 22 && (decimals > 0 || p[-1] != '.')) {
    const double d = static_cast<double>(mantissa) / powers[decimals];
    value = negative ? -d : d;
    return true;
  }
  double d = 0;
  const auto [stop, ec] = std::from_chars(text.data(), end, d);
  if (ec != std::errc() || stop != end || !std::isfinite(d)) return false;
  value = d;
  return true;
}

std::size_t wb_format_number(double value, char16_t* out) {
  if (value == 0.0 || !std::isfinite(value)) {
    out[0] = u'0';
    return 1;
  }
  // Shortest round-trip digits in scientific form: "-d.ddde+XX".
  char sci[40];
  const auto res = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
  const char* p = sci;
  const char* end = res.ptr;
  char16_t* o = out;
  if (*p == '-') {
    *o++ = u'-';
    ++p;
  }
  char digits[20];
  int nd = 0;
  for (; p < end && *p != 'e'; ++p)
    if (*p != '.') digits[nd++] = *p;
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);

  if (exponent < -4 || exponent >= 17) {
    *o++ = static_cast<char16_t>(digits[0]);
    if (nd > 1) {
      *o++ = u'.';
      for (int i = 1; i < nd; ++i) *o++ = static_cast<char16_t>(digits[i]);
    }
    *o++ = u'E';
    *o++ = exponent < 0 ? u'-' : u'+';
    const int ax = exponent < 0 ? -exponent : exponent;
    if (ax >= 100) *o++ = static_cast<char16_t>(u'0' + ax / 100);
    *o++ = static_cast<char16_t>(u'0' + (ax / 10) % 10);
    *o++ = static_cast<char16_t>(u'0' + ax % 10);
  } else if (exponent < 0) {
    *o++ = u'0';
    *o++ = u'.';
    for (int i = -1; i > exponent; --i) *o++ = u'0';
    for (int i = 0; i < nd; ++i) *o++ = static_cast<char16_t>(digits[i]);
  } else {
    const int int_digits = exponent + 1;
    for (int i = 0; i < int_digits; ++i) *o++ = i < nd ? static_cast<char16_t>(digits[i]) : u'0';
    if (nd > int_digits) {
      *o++ = u'.';
      for (int i = int_digits; i < nd; ++i) *o++ = static_cast<char16_t>(digits[i]);
    }
  }
  return static_cast<std::size_t>(o - out);
}

namespace {
char16_t* put2(char16_t* o, unsigned v) {
  *o++ = static_cast<char16_t>(u'0' + v / 10);
  *o++ = static_cast<char16_t>(u'0' + v % 10);
  return o;
}
}  // namespace

std::size_t wb_format_ole_date(double ole, char16_t* out) {
  if (!std::isfinite(ole)) ole = 0.0;
  const wb_ole_parts parts = wb_split_ole(ole);
  char16_t* o = out;
  if (parts.days != 0) {
    std::int64_t y;
    unsigned m, d;
    wb_civil_from_days(parts.days, y, m, d);
    if (y < 0) {
      *o++ = u'-';
      y = -y;
    }
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, y);
    for (int pad = static_cast<int>(r.ptr - buf); pad < 4; ++pad) *o++ = u'0';
    for (char* c = buf; c < r.ptr; ++c) *o++ = static_cast<char16_t>(*c);
    *o++ = u'-';
    o = put2(o, m);
    *o++ = u'-';
    o = put2(o, d);
    if (parts.seconds == 0) return static_cast<std::size_t>(o - out);
    *o++ = u' ';
  }
  const unsigned s = static_cast<unsigned>(parts.seconds);
  o = put2(o, s / 3600);
  *o++ = u':';
  o = put2(o, (s / 60) % 60);
  *o++ = u':';
  o = put2(o, s % 60);
  return static_cast<std::size_t>(o - out);
}
