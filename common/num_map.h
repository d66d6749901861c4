#pragma once
// Number statistics: for each column, whether every value is a 32-bit
// integer (state 3, INT), a 64-bit integer (2, BIGINT), a number (1,
// DOUBLE), or not all numbers (0, VARCHAR). The state only widens: INT,
// BIGINT, DOUBLE, VARCHAR. The arrival type is 3 for VT_I4, 2 for VT_I8, 1
// for VT_R4 and VT_R8, 0 otherwise.

#include <string_view>

#include "types_map.h"

class num_map : public types_map {
 public:
  static constexpr int32_t state_varchar = 0;
  static constexpr int32_t state_double = 1;
  static constexpr int32_t state_bigint = 2;
  static constexpr int32_t state_int = 3;

  num_map(std::u16string table, const udb_schema& schema);
  void add_rec_stat(const udb_record& record) override;

  // The text is a 64-bit decimal integer outside the 32-bit range, written
  // exactly as it prints back.
  static bool is_i8(std::string_view text);
  // The text prints back as the 32-bit integer it reads as, or its leading
  // number is a whole number within 32 bits.
  static bool is_int(std::string_view text);
  // Digits with an optional sign, one decimal point ('.' or ','), and an
  // optional exponent; a leading 0 followed by more digits marks a code.
  static bool is_number_syntax(std::string_view text);
};
