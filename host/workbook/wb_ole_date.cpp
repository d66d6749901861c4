#include "wb_ole_date.h"

#include <charconv>
#include <cmath>

namespace {
constexpr double days_1904_offset = 1462.0;
// Days from 1970-01-01 back to 1899-12-30.
constexpr std::int64_t ole_epoch_unix_days = -25569;
}  // namespace

double wb_serial_to_ole(double serial, bool date1904, bool calendar_format) {
  if (serial >= 0.0 && serial < 1.0 && !(date1904 && calendar_format)) return serial;
  if (date1904) return serial + days_1904_offset;
  if (serial < 60.0 && serial >= 1.0) return serial + 1.0;
  if (serial < 61.0 && serial >= 60.0) return serial;  // 1900-02-29 -> 1900-02-28
  return serial;
}

double wb_ole_to_serial(double ole, bool date1904) {
  if (ole >= 0.0 && ole < 1.0) return ole;
  if (date1904) return ole - days_1904_offset;
  if (ole < 61.0 && ole >= 2.0) return ole - 1.0;
  return ole;
}

bool wb_has_serial(double ole, bool date1904) {
  // A serial under 1 (and not under 0) reads as a time of day.
  const double serial = wb_ole_to_serial(ole, date1904);
  return ole >= 1.0 && ole < wb_ole_after_last_day && (serial >= 1.0 || serial < 0.0) &&
         wb_serial_to_ole(serial, date1904, false) == ole;
}

wb_ole_parts wb_split_ole(double ole) {
  wb_ole_parts p;
  double day = std::trunc(ole);
  double secs = std::round(std::fabs(ole - day) * 86400.0);
  if (secs >= 86400.0) {
    day += 1.0;
    secs = 0.0;
  }
  p.days = static_cast<std::int64_t>(day);
  p.seconds = static_cast<std::int32_t>(secs);
  return p;
}

// Howard Hinnant's days_from_civil, shifted to the OLE epoch.
std::int64_t wb_days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468 - ole_epoch_unix_days;
}

void wb_civil_from_days(std::int64_t days, std::int64_t& y, unsigned& m, unsigned& d) {
  const std::int64_t z = days + ole_epoch_unix_days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

namespace {

bool take_int(std::string_view& s, std::size_t digits, int& v) {
  if (s.size() < digits) return false;
  auto [p, ec] = std::from_chars(s.data(), s.data() + digits, v);
  if (ec != std::errc() || p != s.data() + digits) return false;
  s.remove_prefix(digits);
  return true;
}

bool take_char(std::string_view& s, char c) {
  if (s.empty() || s.front() != c) return false;
  s.remove_prefix(1);
  return true;
}

bool parse_time(std::string_view& s, double& fraction) {
  int h, mi, se = 0;
  if (!take_int(s, 2, h) || !take_char(s, ':') || !take_int(s, 2, mi)) return false;
  double frac_sec = 0;
  if (take_char(s, ':')) {
    if (!take_int(s, 2, se)) return false;
    if (!s.empty() && s.front() == '.') {
      std::size_t n = 1;
      while (n < s.size() && s[n] >= '0' && s[n] <= '9') ++n;
      std::from_chars(s.data(), s.data() + n, frac_sec);
      s.remove_prefix(n);
    }
  }
  if (h > 24 || mi > 59 || se > 59 || (h == 24 && (mi > 0 || se > 0 || frac_sec > 0))) return false;
  fraction = (h * 3600.0 + mi * 60.0 + se + frac_sec) / 86400.0;
  // A zone designator is accepted and ignored (cells hold local times);
  // nothing else may follow.
  int zh = 0, zm = 0;
  if (take_char(s, 'Z')) return s.empty();
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    s.remove_prefix(1);
    if (!take_int(s, 2, zh)) return false;
    if (take_char(s, ':') ? !take_int(s, 2, zm) : (!s.empty() && !take_int(s, 2, zm))) return false;
  }
  return s.empty();
}

}  // namespace

bool wb_parse_iso_date(std::string_view s, double& ole) {
  double fraction = 0;
  if (s.size() >= 3 && s[2] == ':') {
    if (!parse_time(s, fraction)) return false;
    ole = fraction;
    return true;
  }
  int y, m, d;
  if (!take_int(s, 4, y) || !take_char(s, '-') || !take_int(s, 2, m) || !take_char(s, '-') || !take_int(s, 2, d))
    return false;
  // A day its month does not have is no date (it would become a day of
  // the next month).
  static constexpr int month_days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1 || d > month_days[m - 1]) return false;
  if (m == 2 && d == 29 && !(y % 4 == 0 && (y % 100 != 0 || y % 400 == 0))) return false;
  // The time follows a 'T' (or a blank, which ISO 8601 allows by agreement).
  if ((take_char(s, 'T') || take_char(s, ' ')) ? !parse_time(s, fraction) : !s.empty()) return false;
  ole = static_cast<double>(wb_days_from_civil(y, static_cast<unsigned>(m), static_cast<unsigned>(d))) + fraction;
  return true;
}
