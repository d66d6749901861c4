#pragma once
// Number statistics: for each column, whether every value is a 32-bit
// integer (state 3, INT), a 64-bit integer (2, BIGINT), a number (1,
// DOUBLE), or not all numbers (0, VARCHAR). The state only widens: INT,
// BIGINT, DOUBLE, VARCHAR. The arrival type is 3 for VT_I4, 2 for VT_I8, 1
// for VT_R4 and VT_R8, 0 otherwise.
//
// A state is proposed only where the server changes the column exactly for
// every value, without a warning:
// - a text counts as an integer when it is a plain integer literal within
//   range (an optional sign and digits; a leading zero followed by more
//   characters marks a code, not a number: "007"), and as a number when it
//   is a plain decimal literal (digits with one optional point and an
//   optional exponent; no decimal comma, no inner sign, no blank) whose
//   value is finite and whose digits the nearest double gives back as the
//   server shows it (its shortest form): "0.1" and "1.0000000000000002"
//   do, a 20-digit integer or "0.10000000000000000555" do not;
// - an integer a double cannot hold (beyond 2^53 in magnitude) keeps the
//   column from DOUBLE: with a fraction beside it, the column stays text;
// - a stored number counts as an integer when it is whole and at most 2^53
//   in magnitude (where a double is still exact), otherwise as a number; a
//   boolean and the narrow integers count as integers;
// - a currency or decimal column keeps its exact type: it is never proposed.

#include <string_view>
#include <vector>

#include "types_map.h"

class udb_field;
struct field_note;

class num_map : public types_map {
 public:
  static constexpr int32_t state_varchar = 0;
  static constexpr int32_t state_double = 1;
  static constexpr int32_t state_bigint = 2;
  static constexpr int32_t state_int = 3;

  num_map(std::u16string table, const udb_schema& schema);
  void add_rec_stat(const udb_record& record) override { add_rec_stat(record, nullptr); }
  // With `notes` (one per field), the classes found ahead.
  void add_rec_stat(const udb_record& record, const field_note* notes);

  // The state one value alone asks for (state_varchar: not a number);
  // `inexact` tells of an integer a double cannot hold (beyond 2^53 in
  // magnitude): a column that is DOUBLE for its other values stays text.
  static int32_t class_of(const udb_field& field, bool& inexact);
  static int32_t class_of_text(std::u16string_view text, bool& inexact);
  static int32_t class_of_number(double value);

 private:
  std::vector<bool> inexact_;  // per entry: an integer a double cannot hold was met
};
