// Text forms of non-text values, used when a column is read as text and for
// header names: numbers, dates and booleans as the workbook would show them
// in a neutral, locale-free form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "wb_raw_cell.h"

// Reads the value text of a number cell: true when the whole text is a
// decimal number that std::from_chars reads as a finite double, which goes
// to `value` (the exact same double). Plain decimals whose digits make an
// integer of at most 2^53 with at most 22 of them after the point take a
// shortcut: that integer and the power of ten are both exact doubles, so
// one division rounds correctly.
bool wb_parse_number(std::string_view text, double& value);

// Enough room for any text these functions write.
inline constexpr std::size_t wb_value_text_capacity = 32;

// The shortest decimal text that reads back as the same double, written
// fixed-point unless the decimal exponent is below -4 or 17 and above, then
// as mantissa + "E+NN"/"E-NN" (42, 1.5, 0.0001, 1E-05, 1E+20). -0 is "0".
// Writes at most wb_value_text_capacity units; returns the length.
std::size_t wb_format_number(double value, char16_t* out);

// An OLE date as "yyyy-mm-dd hh:mm:ss", "yyyy-mm-dd" when it has no time of
// day (unless `with_clock`), or "hh:mm:ss" for a pure time (day 0, i.e.
// 1899-12-30). Rounded to the second. Returns the length.
std::size_t wb_format_ole_date(double ole, char16_t* out, bool with_clock = false);

// Largest magnitude a currency amount (int64 scaled by 10,000) can hold.
inline constexpr double wb_currency_limit = 922337203685477.0;

// A currency amount in units of 1/10,000 from the number as the workbook
// shows it: the shortest decimal text that reads back as the double,
// rounded half away from zero at the fourth decimal. Multiplying the double
// by 10,000 instead would round large amounts at their last digit. `value`
// must lie within wb_currency_limit.
std::int64_t wb_currency_from_double(double value);
// Whether that amount is the number itself: its shortest decimal text has
// at most four decimals (1.2346 does; 1.23456 and 0.1 + 0.2 do not).
bool wb_currency_is_exact(double value);
// A scaled currency amount with its four decimals ("-1234.5000").
std::size_t wb_format_currency(std::int64_t scaled, char16_t* out);

// A duration of `days` days as [-]H:MM:SS, the hours counting past 24
// ("36:00:00", "-0:30:00", "1000:00:00"), rounded to the second.
std::size_t wb_format_duration(double days, char16_t* out);
// True when the duration, rounded to the second, lies within the server's
// TIME range, -838:59:59 to 838:59:59.
bool wb_duration_fits_time(double days);

// A number cell as text, in the form its class reads (`number_class` as
// wb_number_format::effective_class gives it): dates yyyy-mm-dd, times
// hh:mm:ss, date-times yyyy-mm-dd hh:mm:ss (the calendar forms above, so a
// date with a time of day keeps it), durations H:MM:SS, currency with its
// four decimals, every other number in its shortest round-trip form.
// `value` is the workbook's serial.
std::size_t wb_format_number_cell(double value, wb_number_class number_class, bool date1904, char16_t* out);

inline constexpr std::u16string_view wb_true_text = u"TRUE";
inline constexpr std::u16string_view wb_false_text = u"FALSE";
