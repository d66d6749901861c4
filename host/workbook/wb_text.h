// Text helpers: UTF-8 <-> UTF-16, the OOXML `_xHHHH_` escape and the
// case-insensitive comparison used for table and field names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Converts UTF-8 to UTF-16 into `out`, which must hold at least in.size()
// code units (UTF-16 never needs more units than UTF-8 needs bytes). Returns
// the number of units written. Malformed sequences become U+FFFD. When
// `decode_escapes` is set, `_xHHHH_` is replaced by the code unit HHHH, as
// OOXML stores characters XML cannot carry (`_x000D_` is a CR, `_x005F_` an
// underscore that would otherwise start an escape).
std::size_t wb_utf8_to_utf16(std::string_view in, char16_t* out, bool decode_escapes);

// The same for one piece of a text that goes on after `in`: a UTF-8
// sequence or an escape cut off by the end of `in` is left unconverted, and
// `consumed` is set to the bytes converted. The rest (at most six bytes)
// goes in front of the next piece; the last piece goes to
// wb_utf8_to_utf16. Piece by piece, the units are those of the whole text
// converted at once.
std::size_t wb_utf8_to_utf16_partial(std::string_view in, char16_t* out, bool decode_escapes, std::size_t& consumed);

// Appends the converted text to `out`.
void wb_append_utf16(std::u16string& out, std::string_view utf8, bool decode_escapes = false);

std::u16string wb_to_utf16(std::string_view utf8);
std::string wb_to_utf8(std::u16string_view utf16);

// Unicode case-insensitive equality (full case folding).
bool wb_equal_ignore_case(std::u16string_view a, std::u16string_view b);

// ASCII-only case-insensitive equality, for keywords and option names.
bool wb_ascii_equal_ignore_case(std::u16string_view a, std::string_view b);
