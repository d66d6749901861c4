// Classifies number formats into the classes the type decision needs.
#pragma once

#include <cstdint>
#include <string_view>

#include "wb_raw_cell.h"

class wb_number_format {
 public:
  // Class of a built-in format id (no format code stored in the file):
  // 14-17 and the East Asian 27-36, 50-58 dates, 18-21 and 45-47 times,
  // 22 date-time, 5-8 and the accounting formats with a symbol 42 and 44
  // currency, 9-10 percent, everything else general.
  static wb_number_class classify_builtin(std::uint32_t id);

  // Class of a format code from the styles part (UTF-8). Only tokens
  // outside quoted text, backslash escapes, `_x` spacers, `*x` fillers and
  // [...] tags count:
  //  - y, d, month-m -> date; h, s, minute-m, AM/PM, [h] [m] [s] -> time
  //    (an m right after h or right before s is minutes);
  //  - a currency symbol ($ € £ ¥ and a few others) or a [$sym-lcid] tag
  //    with a symbol -> currency. A quoted or escaped text that is nothing
  //    but a currency symbol (`"$"#,##0.00`, as the desktop writes its own
  //    currency formats) also counts; longer quoted texts never do;
  //  - % -> percent; colour and condition tags are ignored.
  // Date/time wins over currency and percent.
  static wb_number_class classify_code(std::string_view code);
};
