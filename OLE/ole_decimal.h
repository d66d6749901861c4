#pragma once
// An exact decimal number with the range of the OLE DECIMAL: a 96-bit
// unsigned mantissa, a scale of 0 to 28 (the number of digits after the
// point) and a sign. Value type, no allocation. Text is US-English: '.' is
// the decimal separator and no thousands separator is written or accepted.
//
// Rounding, wherever digits are dropped (too many digits after the point,
// conversion to an integer or to currency), is to the nearest value with
// ties to even, as the platform's decimal conversions do.

#include <cstdint>
#include <string>
#include <string_view>

class ole_decimal {
 public:
  static constexpr uint8_t max_scale = 28;

  // Outcome of a conversion; failures leave the target unchanged.
  enum class status : uint8_t { ok, bad_text, overflow };

  constexpr ole_decimal() = default;
  // Mantissa hi:lo (hi holds bits 64..95); a scale above 28 is cut to 28 and
  // a zero mantissa is never negative.
  ole_decimal(uint32_t hi, uint64_t lo, uint8_t scale, bool negative);

  // Text: optional blanks, an optional sign, digits with at most one '.',
  // an optional exponent (e or E, optional sign, digits), optional blanks.
  // At least one digit. Digits beyond the scale range are rounded; a value
  // whose integer part does not fit 96 bits is an overflow.
  status parse(std::string_view text);
  static status parse(std::string_view text, ole_decimal& out) { return out.parse(text); }

  // All digits, no exponent, no trailing zeros after the point, no point
  // when nothing follows it ("-0.5", "12", "0.0001").
  std::string to_string() const;
  void append_to(std::string& out) const;

  // 15 significant digits of the double, as the platform converts a double
  // into a decimal (so 0.1 becomes exactly 0.1). Fails for NaN, infinities
  // and magnitudes of 2^96 and more.
  static status from_double(double value, ole_decimal& out);
  // The same with the 7 significant digits of a float.
  static status from_float(float value, ole_decimal& out);
  static ole_decimal from_int64(int64_t value);
  static ole_decimal from_uint64(uint64_t value);
  // A currency amount: a 64-bit integer in units of 1/10,000.
  static ole_decimal from_currency(int64_t scaled);

  // The nearest double (correctly rounded from the exact digits).
  double to_double() const;
  // Rounded to an integer, ties to even; overflow when out of range.
  status to_int64(int64_t& out) const;
  status to_uint64(uint64_t& out) const;
  // Rounded to four places after the point, ties to even, scaled by 10,000.
  status to_currency(int64_t& out) const;

  uint32_t hi() const { return hi_; }
  uint64_t lo() const { return lo_; }
  uint8_t scale() const { return scale_; }
  bool is_zero() const { return hi_ == 0 && lo_ == 0; }

  // Numeric equality: 1.5 (scale 1) equals 1.50 (scale 2).
  bool operator==(const ole_decimal& other) const;
  // Exact representation equality (mantissa, scale and sign).
  bool same_representation(const ole_decimal& other) const {
    return hi_ == other.hi_ && lo_ == other.lo_ && scale_ == other.scale_ && negative_ == other.negative_;
  }

  // The 16-byte in-memory image of the platform's DECIMAL inside a variant:
  // the tag (14) in the reserved word, scale, sign byte (0x80 when
  // negative), then the high 32 and the low 64 bits, little-endian.
  void to_bytes(uint8_t out[16]) const;

 private:
  uint64_t lo_ = 0;
  uint32_t hi_ = 0;
  uint8_t scale_ = 0;
  bool negative_ = false;
};
