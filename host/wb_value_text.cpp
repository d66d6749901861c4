#include "wb_value_text.h"

#include <charconv>
#include <cmath>

#include "wb_ole_date.h"

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
