#pragma once
// The platform's generic conversion of a value from one tag to another, for
// the conversions that ole_variant::change_type and from_string leave to
// it. US-English rules:
// - text read as a number takes blanks, a sign, a '.' and an exponent, and
//   nothing else; as a boolean "True"/"False" (any case) or a number;
// - numbers to integers round half to even and fail when out of range;
//   booleans are -1 (true) and 0;
// - numbers printed as text: integers in decimal, doubles with 15 and
//   floats with 7 significant digits ("1E+20", "1.5E-07"), currency and
//   decimal with all their digits, booleans "-1"/"0", dates as
//   "m/d/yyyy h:mm:ss AM" without a zero part.
// The status values are the platform's result codes.

#include <cstdint>

#include "ole_vartype.h"

class ole_variant;

class ole_coerce {
 public:
  static constexpr uint32_t s_ok = 0;
  static constexpr uint32_t e_type_mismatch = 0x80020005;
  static constexpr uint32_t e_bad_var_type = 0x80020008;
  static constexpr uint32_t e_overflow = 0x8002000A;

  // Writes `from` converted to `vt` into `to` (another object); on failure
  // `to` is unspecified and the status says why.
  static uint32_t convert(const ole_variant& from, VARTYPE vt, ole_variant& to);
  // Whether `value`, rounded half away from zero, lies in the range of the
  // integer tag `vt` (true for any other tag, false for NaN).
  static bool fits_integer(double value, VARTYPE vt) noexcept;
};
