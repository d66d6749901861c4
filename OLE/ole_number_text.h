#pragma once
// Numbers to and from text, the way the platform's runtime and automation
// conversions do it under US-English settings, independent of the process
// locale:
// - the runtime readers (atoi, atof, _atoi64, sscanf "%u" / "%I64u") used by
//   the dedicated parsers of ole_variant::from_string, which never fail;
// - the strict automation reader (a number takes surrounding blanks, a
//   sign, one decimal point and an exponent; anything else fails);
// - the automation printers: 15 significant digits for a double, 7 for a
//   float, no trailing zeros, an exponent only where needed ("1E+20",
//   "1.5E-07").
// Everything here works on stack buffers; nothing allocates but the
// caller's output string.

#include <cstdint>
#include <string>
#include <string_view>

class ole_number_text {
 public:
  // Significant digits kept by the strict reader; later digits only count
  // for rounding.
  static constexpr int max_digits = 40;

  // A number read by the strict reader: value = digits × 10^exponent, the
  // digits without leading zeros (none at all for zero).
  struct parsed {
    bool negative = false;
    bool dropped_nonzero = false;  // non-zero digits beyond max_digits were dropped
    int n_digits = 0;
    int32_t exponent = 0;
    char digits[max_digits] = {};
  };

  // The strict reader. False on anything but the accepted form.
  static bool parse(std::string_view text, parsed& out);
  // The integer nearest to value × 10^scale, ties to even, as an unsigned
  // magnitude; false when it needs more than 38 digits.
  static bool round_scaled(const parsed& number, int scale, unsigned __int128& magnitude);
  // The double nearest to the number; false when it overflows.
  static bool to_double(const parsed& number, double& out);

  // Runtime readers. Leading white space is skipped, then an optional sign
  // and digits; reading stops at the first other character; no digits give 0.
  static int32_t atoi(std::string_view text);       // clamps to the 32-bit range
  static int64_t atoi64(std::string_view text);     // clamps to the 64-bit range
  static double atof(std::string_view text);        // decimal, exponent, hex, inf, nan
  static uint32_t scan_u32(std::string_view text);  // "%u": wraps, '-' negates
  static uint64_t scan_u64(std::string_view text);  // "%I64u": wraps, '-' negates

  // Automation printers (appending). %.15G and %.7G with '.' and "E".
  static void append_r8(std::string& out, double value);
  static void append_r4(std::string& out, float value);
  // printf "%.16e" / "%.6e" (two-digit exponent at least), locale-free.
  static void append_scientific(std::string& out, double value, int precision);
  static void append_int(std::string& out, int64_t value);
  static void append_uint(std::string& out, uint64_t value);
  // A currency amount (units of 1/10,000) with all its digits and no
  // trailing zeros after the point.
  static void append_currency(std::string& out, int64_t scaled);

  // Rounds half to even and converts; false when not finite or out of range.
  static bool round_to_int64(double value, int64_t& out);
  static bool round_to_uint64(double value, uint64_t& out);
};
