#include "num_map.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "field_note.h"
#include "tk_logger.h"
#include "udb_record.h"
#include "udb_schema.h"

namespace {

// Whole numbers up to this magnitude are exact in a double.
constexpr double max_exact_whole = 9007199254740992.0;  // 2^53
// Longer decimal literals are not taken for numbers (none is met in data).
constexpr size_t max_number_text = 128;

template <class C>
bool is_digit(C c) {
  return c >= C('0') && c <= C('9');
}

// Decimals of up to this many digits come back as they are from the
// nearest double (its shortest form), as the server shows it, in the
// normal range.
constexpr size_t exact_digits = 15;

// A decimal literal (sign, digits, point, exponent; checked by the caller)
// as its significant digits and the power of ten of the last: "-0.0150"
// gives "15" and -3, "0" no digits.
struct decimal_value {
  char digits[max_number_text];
  size_t count = 0;
  long exponent = 0;
};

decimal_value decimal_of(std::string_view text) {
  decimal_value d;
  size_t i = 0, fraction = 0;
  bool point = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.') {
      point = true;
      continue;
    }
    if (point) ++fraction;
    if (d.count == 0 && text[i] == '0') continue;  // a leading zero
    d.digits[d.count++] = text[i];
  }
  if (i < text.size()) {
    bool negative = false;
    if (++i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long e = 0;
    for (; i < text.size() && e < 100000; ++i) e = e * 10 + (text[i] - '0');
    d.exponent = negative ? -e : e;
  }
  d.exponent -= static_cast<long>(fraction);
  for (; d.count > 0 && d.digits[d.count - 1] == '0'; --d.count) ++d.exponent;
  return d;
}

// Whether the nearest double to the literal `text` shows as the same
// number: its shortest form has the same digits at the same place.
bool shows_as_written(std::string_view text, double value) {
  char shortest[32];
  const auto [end, error] = std::to_chars(shortest, shortest + sizeof shortest, value, std::chars_format::scientific);
  if (error != std::errc()) return false;
  const decimal_value written = decimal_of(text);
  const decimal_value shown = decimal_of(std::string_view(shortest, static_cast<size_t>(end - shortest)));
  return written.count == shown.count && written.exponent == shown.exponent &&
         std::equal(written.digits, written.digits + written.count, shown.digits);
}

int32_t class_of_whole(int64_t value, bool& inexact) {
  inexact = value > static_cast<int64_t>(max_exact_whole) || value < -static_cast<int64_t>(max_exact_whole);
  return value >= INT32_MIN && value <= INT32_MAX ? num_map::state_int : num_map::state_bigint;
}

}  // namespace

num_map::num_map(std::u16string table, const udb_schema& schema) : types_map(std::move(table)) {
  TK_TRACE(2, "num_map::ctor(size=%d)", schema.size());
  for (size_t i = 0; i < schema.size(); ++i) {
    const t_ftd* column = schema.fields[i].get();
    if (!column) continue;
    TK_TRACE(1, "Field #%d has type %d", i, column->vartype);
    types_map_entry entry;
    entry.field_index = static_cast<uint32_t>(i);
    entry.field_name = column->name;
    switch (column->vartype) {
      case VT_I4:
        entry.arrival = state_int;
        break;
      case VT_R4:
      case VT_R8:
        entry.arrival = state_double;
        break;
      case VT_I8:
        entry.arrival = state_bigint;
        break;
      case VT_CY:
      case VT_DECIMAL:
        // Exact decimals stay as they are: no value is taken into account.
        entry.seen = true;
        entry.final = true;
        break;
      default:
        entry.arrival = state_varchar;
        break;
    }
    entries_.push_back(std::move(entry));
  }
  inexact_.assign(entries_.size(), false);
}

int32_t num_map::class_of_number(double value) {
  if (!std::isfinite(value)) return state_varchar;
  bool inexact = false;
  if (value == std::trunc(value) && std::fabs(value) <= max_exact_whole)
    return class_of_whole(static_cast<int64_t>(value), inexact);
  return state_double;
}

namespace {

// class_of_text of either width (a UTF-8 text is read by its bytes: a
// character of more than one is no digit, sign, point or letter e).
template <class C>
int32_t class_of_chars(std::basic_string_view<C> text, bool& inexact) {
  inexact = false;
  const size_t n = text.size();
  if (n == 0 || n > max_number_text) return num_map::state_varchar;
  // A leading zero followed by more than one character marks a code.
  if (text[0] == C('0') && n >= 3 && text[1] != C('.')) return num_map::state_varchar;
  size_t i = 0;
  const bool negative = text[0] == C('-');
  if (text[0] == C('+') || negative) ++i;
  const size_t digits_at = i;
  uint64_t whole = 0;
  // Up to 19 digits hold no more than a 64-bit whole number.
  for (const size_t sure = std::min(n, i + 19); i < sure && is_digit(text[i]); ++i)
    whole = whole * 10 + static_cast<uint64_t>(text[i] - C('0'));
  bool overflow = false;
  for (; i < n && is_digit(text[i]); ++i) {
    const auto digit = static_cast<uint64_t>(text[i] - C('0'));
    overflow = overflow || whole > (UINT64_MAX - digit) / 10;
    whole = whole * 10 + digit;
  }
  size_t digits = i - digits_at;
  bool plain_integer = true;
  bool exponent = false;
  if (i < n && text[i] == C('.')) {
    plain_integer = false;
    for (++i; i < n && is_digit(text[i]); ++i) ++digits;
  }
  if (digits == 0) return num_map::state_varchar;
  if (i < n && (text[i] == C('e') || text[i] == C('E'))) {
    plain_integer = false;
    exponent = true;
    if (++i < n && (text[i] == C('+') || text[i] == C('-'))) ++i;
    const size_t exponent_at = i;
    while (i < n && is_digit(text[i])) ++i;
    if (i == exponent_at) return num_map::state_varchar;
  }
  if (i != n) return num_map::state_varchar;
  if (plain_integer && !overflow) {
    if (!negative && whole <= static_cast<uint64_t>(INT64_MAX))
      return class_of_whole(static_cast<int64_t>(whole), inexact);
    if (negative && whole <= static_cast<uint64_t>(INT64_MAX) + 1)
      return class_of_whole(whole == static_cast<uint64_t>(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(whole),
                            inexact);
  }
  // Without an exponent a literal this short is always a finite number
  // (and never underflows), and one of few digits comes back as written;
  // otherwise the value decides: a number whose digits a double cannot
  // hold (a 20-digit account number) stays text rather than lose them.
  if (!exponent && digits <= exact_digits) return num_map::state_double;
  char ascii[max_number_text];
  size_t len = 0;
  for (size_t k = text[0] == C('+') ? 1 : 0; k < n; ++k) ascii[len++] = static_cast<char>(text[k]);
  double value = 0;
  const auto [end, error] = std::from_chars(ascii, ascii + len, value);
  if (error != std::errc() || end != ascii + len || !std::isfinite(value)) return num_map::state_varchar;
  // Below the normal range a double holds fewer digits: few digits may not
  // come back either (4.9e-324 is shown 5e-324).
  const bool few_kept = value != 0 && std::fabs(value) < std::numeric_limits<double>::min();
  if ((digits > exact_digits || few_kept) && !shows_as_written(std::string_view(ascii, len), value))
    return num_map::state_varchar;
  return num_map::state_double;
}

}  // namespace

int32_t num_map::class_of_text(std::u16string_view text, bool& inexact) { return class_of_chars(text, inexact); }

int32_t num_map::class_of(const udb_field& field, bool& inexact) {
  inexact = false;
  switch (field.get_type()) {
    case VT_BSTR:
      if (const auto utf8 = field.utf8()) return class_of_chars(*utf8, inexact);
      return class_of_text(field.text(), inexact);
    case VT_R4:
    case VT_R8:
      return class_of_number(field.to_double());
    case VT_BOOL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
      return state_int;
    case VT_UI4:
    case VT_UINT:
      return class_of_whole(field.get_ui4(), inexact);
    case VT_I8:
      return class_of_whole(field.get_i8(), inexact);
    default:
      return state_varchar;
  }
}

void num_map::add_rec_stat(const udb_record& record, const field_note* notes) {
  TK_TRACE(1, "num_map::add_rec_stat(map size=%d)", entries_.size());
  for (size_t k = 0; k < entries_.size(); ++k) {
    types_map_entry& e = entries_[k];
    if (e.field_index >= record.size()) continue;
    // VARCHAR is final: a column that got there costs nothing more.
    if (e.final) continue;
    const udb_field& field = record[e.field_index];
    if (field.get_type() == VT_BSTR && field.text_units() == 0) e.seen_empty_text = true;
    if (field.is_empty() || field.is_null() || field.is_text_form_empty()) continue;
    // The widest class so far: INT (3) < BIGINT (2) < DOUBLE (1) < VARCHAR (0).
    bool inexact = false;
    int32_t cls;
    if (notes && (notes[e.field_index].read & field_note::number_read)) {
      cls = notes[e.field_index].number;
      inexact = notes[e.field_index].inexact;
    } else {
      cls = class_of(field, inexact);
    }
    e.state = e.seen ? std::min(e.state, cls) : cls;
    e.seen = true;
    if (inexact) inexact_[k] = true;
    // A DOUBLE column would round the integers a double cannot hold.
    if (e.state == state_double && inexact_[k]) e.state = state_varchar;
    e.final = e.state == state_varchar;
  }
}
