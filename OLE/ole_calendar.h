#pragma once
// Proleptic Gregorian calendar arithmetic for the date classes: day counts
// from the OLE epoch (1899-12-30) and the split of an OLE date number into
// its calendar day and time of day.

#include <cmath>
#include <cstdint>

namespace ole_detail {

inline bool is_leap_year(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

inline int days_in_month(int64_t y, int m) {
  static constexpr int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return m == 2 && is_leap_year(y) ? 29 : lengths[m - 1];
}

// Days since 1970-01-01 of a civil date (month 1..12).
inline int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

inline void civil_from_days(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

constexpr int64_t ole_epoch_days = -25569;  // 1899-12-30 from 1970-01-01
constexpr int64_t microseconds_per_day = 86400000000LL;

// Calendar day (from the OLE epoch) and microseconds of that day of a date
// number, rounded to `unit` microseconds. Negative numbers keep the time
// of day positive: -1.25 is day -1 at 06:00. False when not finite or
// beyond ±1e9 days.
inline bool split_ole_number(double number, int64_t& day, int64_t& time_us, int64_t unit = 1) {
  if (!(number > -1e9 && number < 1e9)) return false;
  double whole = number >= 0 ? std::floor(number) : std::ceil(number);
  double frac = std::fabs(number - whole);
  day = static_cast<int64_t>(whole);
  time_us = std::llround(frac * static_cast<double>(microseconds_per_day / unit)) * unit;
  if (time_us >= microseconds_per_day) {
    time_us -= microseconds_per_day;
    ++day;  // the next calendar day, whatever the sign of the number
  }
  return true;
}

}  // namespace ole_detail
