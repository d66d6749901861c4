#pragma once
// A broken-down date and time as the cells carry it: the calendar fields of
// a system time, microseconds, a kind (date and time, pure date, pure time)
// and a pure-date flag. A plain value type (no allocation); the fields are
// public because the readers, the type refinement and the literal writers
// all look at them.
//
// It also converts to and from the OLE date number: days since 1899-12-30,
// the fraction being the time of day (for days before the epoch the time is
// still added away from zero: -1.25 is 1899-12-29 06:00).

#include <cstdint>
#include <string>
#include <string_view>

// The calendar fields of a moment, each 16-bit as the platform keeps them.
struct ole_system_time {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t day_of_week = 0;  // 0 = Sunday; informative only
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

class ole_date {
 public:
  static constexpr int32_t kind_none = 0;
  static constexpr int32_t kind_date_time = 1;
  static constexpr int32_t kind_date = 2;
  static constexpr int32_t kind_time = 3;

  int32_t kind = kind_none;
  int32_t tz_hours = 0;    // time-zone offset in whole hours; never printed
  bool pure_date = false;  // a date-and-time with a zero clock prints as a date
  uint32_t microseconds = 0;
  ole_system_time st;

  ole_date() = default;
  // Kind 1 (date and time), microseconds from the milliseconds.
  explicit ole_date(const ole_system_time& time);
  // Parses the text (trimmed of blanks first) with import_from_string.
  explicit ole_date(std::string_view text);
  // Wide text: converted to narrow text first (characters that cannot be
  // part of a date become '?').
  explicit ole_date(std::u16string_view text);

  // Convenience for readers and tests: kind 1 unless told otherwise.
  static ole_date make(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                       uint32_t microseconds = 0, int32_t kind = kind_date_time);

  // Tries the text forms in order (fixed-width digits, h:m:s, y-m-d with
  // '-', '/' or '.', then the platform's free-form date reader); the first
  // that reads and validates wins. Returns is_valid().
  bool import_from_string(std::string_view text);

  bool is_valid() const;
  // Precision 6: microseconds; any other non-zero value: milliseconds; 0:
  // whole seconds. Kind 3 prints with the date part "0000-00-00".
  std::string to_string(int precision = 6) const;
  void append_to(std::string& out, int precision = 6) const;
  // As to_string, but a pure time prints without the zero date.
  std::u16string to_wstring(int precision = 6) const;

  // Reads whole seconds, milliseconds and microseconds from a seconds text
  // (runtime atof) and carries a fraction that rounds up to a full second.
  void process_milliseconds(std::string_view seconds_text);
  // Zero date fields make a pure time; a zero clock makes a pure date.
  void refine_type();
  void clear() { *this = ole_date(); }

  // The OLE date number of this moment (a pure time is a time on day 0).
  double to_ole_number() const;
  // Kind 1 from an OLE date number, rounded to the millisecond; false for
  // NaN, infinities and numbers outside years 1..9999.
  static bool from_ole_number(double number, ole_date& out);
  // A duration as a TIME column reads it: [-]H:MM[:SS[.f]] of up to three
  // hour digits. 0 when the text is none; 1 within TIME's range (838:59:59
  // either way), -1 beyond it.
  static int duration(std::u16string_view text);

  bool operator==(const ole_date& other) const;

 private:
  bool try_fixed_width(std::string_view text);
  bool try_time(std::string_view text);
  bool try_separated(std::string_view text);
  bool try_platform(std::string_view text);
  void swap_day_and_year();
};
