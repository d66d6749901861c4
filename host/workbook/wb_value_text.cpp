#include "wb_value_text.h"

#include <algorithm>
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

std::size_t wb_format_ole_date(double ole, char16_t* out, bool with_clock) {
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
    if (parts.seconds == 0 && !with_clock) return static_cast<std::size_t>(o - out);
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

std::int64_t wb_currency_from_double(double v) {
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed);
  if (ec != std::errc()) return std::llround(v * 10000.0);
  const char* p = text;
  const bool negative = *p == '-';
  if (negative) ++p;
  std::int64_t scaled = 0;
  int decimals = -1;
  bool round_up = false;
  for (; p < end; ++p) {
    if (*p == '.') {
      decimals = 0;
      continue;
    }
    const int digit = *p - '0';
    if (decimals >= 4) {
      if (decimals == 4) round_up = digit >= 5;
      ++decimals;
      continue;
    }
    scaled = scaled * 10 + digit;
    if (decimals >= 0) ++decimals;
  }
  for (int d = decimals < 0 ? 0 : decimals; d < 4; ++d) scaled *= 10;
  if (round_up) ++scaled;
  return negative ? -scaled : scaled;
}

bool wb_currency_is_exact(double v) {
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed);
  if (ec != std::errc()) return false;
  return end - std::find(text, end, '.') <= 5;  // the point and up to four decimals
}

namespace {

char16_t* put_unsigned(char16_t* o, std::uint64_t v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  for (const char* c = buf; c < r.ptr; ++c) *o++ = static_cast<char16_t>(*c);
  return o;
}

// Seconds of a duration, rounded; the TIME limit is 838:59:59.
constexpr double max_time_seconds = 838.0 * 3600.0 + 59.0 * 60.0 + 59.0;
// Beyond this many days a duration is written as a plain number: its
// seconds would not fit the counter (and no worksheet holds such a span).
constexpr double max_duration_days = 1e13;

}  // namespace

std::size_t wb_format_currency(std::int64_t scaled, char16_t* out) {
  char16_t* o = out;
  std::uint64_t magnitude = static_cast<std::uint64_t>(scaled);
  if (scaled < 0) {
    *o++ = u'-';
    magnitude = ~magnitude + 1;
  }
  o = put_unsigned(o, magnitude / 10000);
  *o++ = u'.';
  const unsigned fraction = static_cast<unsigned>(magnitude % 10000);
  o = put2(o, fraction / 100);
  o = put2(o, fraction % 100);
  return static_cast<std::size_t>(o - out);
}

std::size_t wb_format_duration(double days, char16_t* out) {
  if (!std::isfinite(days) || std::fabs(days) >= max_duration_days) return wb_format_number(days, out);
  const double seconds = std::round(std::fabs(days) * 86400.0);
  char16_t* o = out;
  if (days < 0 && seconds != 0) *o++ = u'-';
  const std::uint64_t s = static_cast<std::uint64_t>(seconds);
  o = put_unsigned(o, s / 3600);
  *o++ = u':';
  o = put2(o, static_cast<unsigned>((s / 60) % 60));
  *o++ = u':';
  o = put2(o, static_cast<unsigned>(s % 60));
  return static_cast<std::size_t>(o - out);
}

bool wb_duration_fits_time(double days) {
  return std::isfinite(days) && std::round(std::fabs(days) * 86400.0) <= max_time_seconds;
}

std::size_t wb_format_number_cell(double value, wb_number_class number_class, bool date1904, char16_t* out) {
  switch (number_class) {
    case wb_number_class::date:
      return wb_format_ole_date(wb_serial_to_ole(value, date1904, true), out);
    case wb_number_class::time:
      return wb_format_ole_date(wb_serial_to_ole(value, date1904), out);
    case wb_number_class::date_time:
      return wb_format_ole_date(wb_serial_to_ole(value, date1904, true), out, true);
    case wb_number_class::duration:
      return wb_format_duration(value, out);
    case wb_number_class::currency:
      if (std::fabs(value) < wb_currency_limit && wb_currency_is_exact(value))
        return wb_format_currency(wb_currency_from_double(value), out);
      return wb_format_number(value, out);
    default:
      return wb_format_number(value, out);
  }
}
