// Classifies number formats into the classes the type decision needs.
#pragma once

#include <cstdint>
#include <string_view>

#include "wb_raw_cell.h"

class wb_number_format {
 public:
  // Class of a built-in format id (no format code stored in the file):
  // 14-17 and the East Asian 27-36, 50-58 dates, 18-21, 45 and 47 times,
  // 46 ([h]:mm:ss) a duration, 22 date-time, 5-8 and the accounting formats
  // with a symbol 42 and 44 currency, 9-10 percent, everything else general.
  static wb_number_class classify_builtin(std::uint32_t id);

  // Class of a format code from the styles part (UTF-8). Only tokens
  // outside quoted text, backslash escapes, `_x` spacers, `*x` fillers and
  // [...] tags count:
  //  - y, d, month-m -> date; h, s, minute-m, AM/PM -> time (an m right
  //    after h or right before s is minutes); an elapsed-time tag [h] [m]
  //    [s] without a date -> duration (with one, the date-time it shows);
  //  - a currency symbol ($ € £ ¥ and a few others) or a [$sym-lcid] tag
  //    with a symbol -> currency. A quoted or escaped text that is nothing
  //    but a currency symbol (`"$"#,##0.00`, as the desktop writes its own
  //    currency formats) also counts; longer quoted texts never do;
  //  - % -> percent; colour and condition tags are ignored.
  // Date/time wins over currency and percent.
  static wb_number_class classify_code(std::string_view code);

  // The class a number cell of class `c` holding `value` (a serial of the
  // workbook's date system) really has: under a date or time format, a
  // serial before the first day dates count from (1899-12-30, so every
  // negative serial of the 1900 system) or past 9999-12-31 is a plain
  // number, as the desktop shows such a cell as #### rather than a date;
  // so is a serial under 1 under a calendar format (a date, with or without
  // its time) in the 1900 system, whose day 0 no calendar has. Durations may
  // be negative; other classes are kept.
  static wb_number_class effective_class(wb_number_class c, double value, bool date1904);
};
