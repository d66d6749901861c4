// Fuzz target: text read as a date by every form of the date reader, and by
// the free-form reader alone. Invariant: a valid date prints a text that
// reads back as a valid date.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ole_date.h"
#include "ole_locale_date.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ole_date d(text);
  if (d.is_valid()) {
    for (int precision : {0, 3, 6}) {
      std::string printed = d.to_string(precision);
      ole_date back(printed);
      if (!back.is_valid()) std::abort();
      (void)d.to_wstring(precision);
    }
    (void)d.to_ole_number();
  } else if (d.kind != ole_date::kind_none) {
    std::abort();
  }
  double number = 0;
  if (ole_locale_date::parse(text, number)) {
    std::string printed;
    ole_locale_date::append_text(printed, number);
    double again = 0;
    if (!ole_locale_date::parse(printed, again) || again != number) std::abort();
  }
  return 0;
}
