#pragma once
// The platform's free-form date reader and its date printer under US-English
// settings, for the generic conversions of a variant:
// - parse: "m/d/yyyy" (also '-' and '.' between the parts), "yyyy-mm-dd",
//   "Month d, yyyy", "d Month yyyy", "d-Mon-yyyy", each optionally followed
//   by a time "h:mm[:ss] [AM|PM]" (or "h AM|PM"); the ISO form
//   "yyyy-mm-ddThh:mm:ss"; a time alone (day 0). Two-digit years read as
//   1930..2029. A bare number is not a date.
// - print: "m/d/yyyy", "h:mm:ss AM", or both, as the platform writes a date
//   value as text: a zero time is left out, day 0 prints as a time only.

#include <string>
#include <string_view>

class ole_locale_date {
 public:
  // The OLE date number of the text; false when the text is not a date.
  static bool parse(std::string_view text, double& number);
  static void append_text(std::string& out, double number);
};
