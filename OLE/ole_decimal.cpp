#include "ole_decimal.h"

#include <charconv>
#include <cstring>

#include "ole_number_text.h"

namespace {

using u128 = unsigned __int128;

constexpr u128 max_mantissa = (u128(1) << 96) - 1;

u128 pow10(int n) {
  u128 v = 1;
  for (int i = 0; i < n; ++i) v *= 10;
  return v;
}

// Decimal digits of a value below 10^38, most significant first; returns the count.
int to_digits(u128 v, char* out) {
  char tmp[40];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + static_cast<unsigned>(v % 10));
    v /= 10;
  } while (v != 0);
  for (int i = 0; i < n; ++i) out[i] = tmp[n - 1 - i];
  return n;
}

// value / 10^shift rounded half to even.
u128 divide_round_even(u128 value, int shift) {
  if (shift <= 0) return value;
  u128 d = pow10(shift);
  u128 q = value / d;
  u128 r = value % d;
  u128 half = d / 2;
  if (r > half || (r == half && (q & 1))) ++q;
  return q;
}

}  // namespace

ole_decimal::ole_decimal(uint32_t hi, uint64_t lo, uint8_t scale, bool negative)
    : lo_(lo), hi_(hi), scale_(scale > max_scale ? max_scale : scale), negative_(negative && (hi | lo) != 0) {}

ole_decimal::status ole_decimal::parse(std::string_view text) {
  ole_number_text::parsed p;
  if (!ole_number_text::parse(text, p)) return status::bad_text;
  u128 mag = 0;
  int scale = 0;
  if (p.n_digits == 0) {
    mag = 0;
  } else if (p.exponent >= 0) {
    if (!ole_number_text::round_scaled(p, 0, mag) || mag > max_mantissa) return status::overflow;
  } else {
    // Keep as many places after the point as the range allows, dropping
    // digits (rounded) until the mantissa fits 96 bits.
    scale = -p.exponent > max_scale ? max_scale : -p.exponent;
    for (;;) {
      if (ole_number_text::round_scaled(p, scale, mag) && mag <= max_mantissa) break;
      if (scale == 0) return status::overflow;
      --scale;
    }
  }
  *this = ole_decimal(static_cast<uint32_t>(mag >> 64), static_cast<uint64_t>(mag), static_cast<uint8_t>(scale),
                      p.negative);
  return status::ok;
}

void ole_decimal::append_to(std::string& out) const {
  u128 mag = (u128(hi_) << 64) | lo_;
  char digits[40];
  int n = to_digits(mag, digits);
  if (negative_ && mag != 0) out += '-';
  if (scale_ == 0) {
    out.append(digits, static_cast<size_t>(n));
    return;
  }
  // Pad so that at least one digit stands before the point.
  char padded[72];
  int lead = scale_ + 1 > n ? scale_ + 1 - n : 0;
  std::memset(padded, '0', static_cast<size_t>(lead));
  std::memcpy(padded + lead, digits, static_cast<size_t>(n));
  int total = lead + n;
  int int_len = total - scale_;
  int frac_end = total;
  while (frac_end > int_len && padded[frac_end - 1] == '0') --frac_end;
  out.append(padded, static_cast<size_t>(int_len));
  if (frac_end > int_len) {
    out += '.';
    out.append(padded + int_len, static_cast<size_t>(frac_end - int_len));
  }
}

std::string ole_decimal::to_string() const {
  std::string s;
  append_to(s);
  return s;
}

ole_decimal::status ole_decimal::from_double(double value, ole_decimal& out) {
  if (value != value) return status::bad_text;
  if (value - value != 0) return status::overflow;  // infinity
  std::string text;
  ole_number_text::append_r8(text, value);
  return out.parse(text);
}

ole_decimal::status ole_decimal::from_float(float value, ole_decimal& out) {
  if (value != value) return status::bad_text;
  if (value - value != 0) return status::overflow;
  std::string text;
  ole_number_text::append_r4(text, value);
  return out.parse(text);
}

ole_decimal ole_decimal::from_int64(int64_t value) {
  uint64_t mag = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return ole_decimal(0, mag, 0, value < 0);
}

ole_decimal ole_decimal::from_uint64(uint64_t value) { return ole_decimal(0, value, 0, false); }

ole_decimal ole_decimal::from_currency(int64_t scaled) {
  ole_decimal d = from_int64(scaled);
  d.scale_ = 4;
  return d;
}

double ole_decimal::to_double() const {
  char buf[64];
  char* p = buf;
  if (negative_) *p++ = '-';
  p += to_digits((u128(hi_) << 64) | lo_, p);
  *p++ = 'e';
  *p++ = '-';
  p = std::to_chars(p, buf + sizeof buf, static_cast<int>(scale_)).ptr;
  double v = 0;
  std::from_chars(buf, p, v);
  return v;
}

ole_decimal::status ole_decimal::to_int64(int64_t& out) const {
  u128 q = divide_round_even((u128(hi_) << 64) | lo_, scale_);
  if (negative_) {
    if (q > u128(uint64_t(1) << 63)) return status::overflow;
    out = q == u128(uint64_t(1) << 63) ? INT64_MIN : -static_cast<int64_t>(q);
  } else {
    if (q > u128(INT64_MAX)) return status::overflow;
    out = static_cast<int64_t>(q);
  }
  return status::ok;
}

ole_decimal::status ole_decimal::to_uint64(uint64_t& out) const {
  u128 q = divide_round_even((u128(hi_) << 64) | lo_, scale_);
  if (negative_ && q != 0) return status::overflow;
  if (q > u128(UINT64_MAX)) return status::overflow;
  out = static_cast<uint64_t>(q);
  return status::ok;
}

ole_decimal::status ole_decimal::to_currency(int64_t& out) const {
  u128 mag = (u128(hi_) << 64) | lo_;
  u128 scaled = scale_ <= 4 ? mag * pow10(4 - scale_) : divide_round_even(mag, scale_ - 4);
  if (negative_) {
    if (scaled > u128(uint64_t(1) << 63)) return status::overflow;
    out = scaled == u128(uint64_t(1) << 63) ? INT64_MIN : -static_cast<int64_t>(scaled);
  } else {
    if (scaled > u128(INT64_MAX)) return status::overflow;
    out = static_cast<int64_t>(scaled);
  }
  return status::ok;
}

bool ole_decimal::operator==(const ole_decimal& other) const {
  auto normalise = [](const ole_decimal& d, u128& mag, int& scale) {
    mag = (u128(d.hi_) << 64) | d.lo_;
    scale = d.scale_;
    while (scale > 0 && mag % 10 == 0) {
      mag /= 10;
      --scale;
    }
  };
  u128 a, b;
  int sa, sb;
  normalise(*this, a, sa);
  normalise(other, b, sb);
  if (a == 0 && b == 0) return true;
  return a == b && sa == sb && negative_ == other.negative_;
}

void ole_decimal::to_bytes(uint8_t out[16]) const {
  out[0] = 14;
  out[1] = 0;
  out[2] = scale_;
  out[3] = negative_ ? 0x80 : 0;
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(hi_ >> (8 * i));
  for (int i = 0; i < 8; ++i) out[8 + i] = static_cast<uint8_t>(lo_ >> (8 * i));
}
