// Text forms of non-text values, used when a column is read as text and for
// header names: numbers, dates and booleans as the workbook would show them
// in a neutral, locale-free form.
#pragma once

#include <cstddef>
#include <string_view>

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
// day, or "hh:mm:ss" for a pure time (day 0, i.e. 1899-12-30). Rounded to
// the second. Returns the length.
std::size_t wb_format_ole_date(double ole, char16_t* out);

inline constexpr std::u16string_view wb_true_text = u"TRUE";
inline constexpr std::u16string_view wb_false_text = u"FALSE";
