#include "ole_date.h"

#include <cmath>

#include "ole_calendar.h"
#include "ole_locale_date.h"
#include "ole_number_text.h"
#include "ole_scan.h"
#include "tk_logger.h"
#include "tk_unicode.h"

using namespace ole_detail;

namespace {

std::string_view trim_blanks(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

// Appends v in decimal, zero-padded to at least `width` digits.
void put_padded(std::string& out, uint64_t v, int width) {
  char buf[24];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  for (int i = n; i < width; ++i) out += '0';
  while (n > 0) out += buf[--n];
}

void put_clock(std::string& out, const ole_date& d, int precision) {
  put_padded(out, d.st.hour % 24, 2);
  out += ':';
  put_padded(out, d.st.minute, 2);
  out += ':';
  put_padded(out, d.st.second, 2);
  if (precision != 0 && (d.st.milliseconds != 0 || d.microseconds != 0)) {
    out += '.';
    if (precision == 6 && d.microseconds != 0) {
      TK_TRACE(1, "Date has microseconds");
      put_padded(out, d.microseconds, 6);
    } else {
      put_padded(out, d.st.milliseconds, 3);
    }
  }
}

void put_date(std::string& out, const ole_date& d) {
  put_padded(out, d.st.year, 4);
  out += '-';
  put_padded(out, d.st.month, 2);
  out += '-';
  put_padded(out, d.st.day, 2);
}

bool clock_is_zero(const ole_date& d) {
  return d.st.hour == 0 && d.st.minute == 0 && d.st.second == 0 && d.st.milliseconds == 0 && d.microseconds == 0;
}

}  // namespace

ole_date::ole_date(const ole_system_time& time)
    : kind(kind_date_time), microseconds(static_cast<uint32_t>(time.milliseconds) * 1000u), st(time) {}

ole_date::ole_date(std::string_view text) { import_from_string(text); }

ole_date::ole_date(std::u16string_view text) {
  // Dates are ASCII; anything else only has to keep the text from reading.
  char small[64];
  if (text.size() <= sizeof small) {
    for (size_t i = 0; i < text.size(); ++i) small[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    import_from_string(std::string_view(small, text.size()));
  } else {
    import_from_string(tk_unicode_to_console(text));
  }
}

ole_date ole_date::make(int year, int month, int day, int hour, int minute, int second, uint32_t us, int32_t kind) {
  ole_date d;
  d.kind = kind;
  d.st.year = static_cast<uint16_t>(year);
  d.st.month = static_cast<uint16_t>(month);
  d.st.day = static_cast<uint16_t>(day);
  d.st.hour = static_cast<uint16_t>(hour);
  d.st.minute = static_cast<uint16_t>(minute);
  d.st.second = static_cast<uint16_t>(second);
  d.st.milliseconds = static_cast<uint16_t>(us / 1000);
  d.microseconds = us;
  return d;
}

bool ole_date::import_from_string(std::string_view text) {
  TK_TRACE(1, "ole_date::import_from_string(%s)", text);
  clear();
  text = trim_blanks(text);
  if (try_fixed_width(text) || try_time(text) || try_separated(text) || try_platform(text)) return true;
  clear();
  TK_TRACE(2, "Invalid date/time format: '%s'", text);
  return false;
}

void ole_date::swap_day_and_year() {
  if (st.day > 31 && st.year < 32) {
    TK_TRACE(1, "Swap day and year: day=%d, year=%d", st.day, st.year);
    std::swap(st.day, st.year);
  }
}

bool ole_date::try_fixed_width(std::string_view text) {
  ole_scan::items it;
  if (text.size() == 14) {
    if (ole_scan::scan(text, "%4d%02d%02d%02d%02d%02d", it) == 6) {
      st.year = static_cast<uint16_t>(it.numbers[0]);
      st.month = static_cast<uint16_t>(it.numbers[1]);
      st.day = static_cast<uint16_t>(it.numbers[2]);
      st.hour = static_cast<uint16_t>(it.numbers[3]);
      st.minute = static_cast<uint16_t>(it.numbers[4]);
      st.second = static_cast<uint16_t>(it.numbers[5]);
      kind = kind_date_time;
      swap_day_and_year();
      if (is_valid()) return true;
    }
    clear();
  } else if (text.size() == 8) {
    if (ole_scan::scan(text, "%4d%02d%02d", it) == 3) {
      st.year = static_cast<uint16_t>(it.numbers[0]);
      st.month = static_cast<uint16_t>(it.numbers[1]);
      st.day = static_cast<uint16_t>(it.numbers[2]);
      kind = kind_date;
      if (is_valid()) return true;
    }
    clear();
  }
  return false;
}

namespace {

// Only blanks after the items read: a text that goes on ("10:20:30 PM",
// "2024-12-05T10:20:30") is left to the free-form reader, which knows
// those forms, instead of losing its rest.
bool rest_is_blank(std::string_view text, const ole_scan::items& it) {
  for (size_t i = it.end; i < text.size(); ++i)
    if (text[i] != ' ' && text[i] != '\t') return false;
  return true;
}

}  // namespace

bool ole_date::try_time(std::string_view text) {
  ole_scan::items it;
  if (ole_scan::scan(text, "%hd:%hd:%s", it) == 3 && rest_is_blank(text, it)) {
    st.hour = static_cast<uint16_t>(it.numbers[0]);
    st.minute = static_cast<uint16_t>(it.numbers[1]);
    process_milliseconds(it.text);
    kind = kind_time;
    if (is_valid()) return true;
  }
  clear();
  return false;
}

bool ole_date::try_separated(std::string_view text) {
  static constexpr std::string_view patterns[3] = {"%hd-%hd-%hd %hd:%hd:%s", "%hd/%hd/%hd %hd:%hd:%s",
                                                   "%hd.%hd.%hd %hd:%hd:%s"};
  for (std::string_view pattern : patterns) {
    ole_scan::items it;
    int n = ole_scan::scan(text, pattern, it);
    if ((n == 3 || n == 6) && rest_is_blank(text, it)) {
      st.year = static_cast<uint16_t>(it.numbers[0]);
      st.month = static_cast<uint16_t>(it.numbers[1]);
      st.day = static_cast<uint16_t>(it.numbers[2]);
      if (n == 3) {
        kind = kind_date;
      } else {
        st.hour = static_cast<uint16_t>(it.numbers[3]);
        st.minute = static_cast<uint16_t>(it.numbers[4]);
        kind = kind_date_time;
        process_milliseconds(it.text);
        refine_type();
      }
      swap_day_and_year();
      if (is_valid()) return true;
    }
    clear();
  }
  return false;
}

bool ole_date::try_platform(std::string_view text) {
  double number = 0;
  if (ole_locale_date::parse(text, number) && from_ole_number(number, *this)) {
    refine_type();
    if (is_valid()) return true;
  }
  clear();
  return false;
}

bool ole_date::is_valid() const {
  if (kind == kind_none) return false;
  if (st.year == 0 && st.month == 0 && st.day == 0) {
    TK_TRACE(1, "DATETIME is a pute time");
  } else {
    if (st.month < 1 || st.month > 12) {
      TK_TRACE(1, "Invalid month");
      return false;
    }
    if (st.day > 31) {
      TK_TRACE(1, "Invalid day (1)");
      return false;
    }
    // A year below 1 is tested as the next year.
    if (st.day > days_in_month(st.year < 1 ? st.year + 1 : st.year, st.month)) {
      TK_TRACE(1, "Invalid day (2)");
      return false;
    }
    if (st.year == 0 || st.month == 0 || st.day == 0) {
      TK_TRACE(1, "Got zero day/month/year");
      return false;
    }
  }
  if (st.minute > 60 || st.second > 60) {
    TK_TRACE(1, "Invalid time");
    return false;
  }
  return true;
}

void ole_date::append_to(std::string& out, int precision) const {
  switch (kind) {
    case kind_date_time:
      put_date(out, *this);
      if (clock_is_zero(*this) && pure_date) return;
      out += ' ';
      put_clock(out, *this, precision);
      return;
    case kind_date:
      put_date(out, *this);
      return;
    case kind_time:
      out += "0000-00-00 ";
      put_clock(out, *this, precision);
      return;
    default:
      return;
  }
}

std::string ole_date::to_string(int precision) const {
  std::string out;
  append_to(out, precision);
  return out;
}

std::u16string ole_date::to_wstring(int precision) const {
  std::string narrow;
  if (kind == kind_time) {
    put_clock(narrow, *this, precision);
  } else {
    append_to(narrow, precision);
  }
  return std::u16string(narrow.begin(), narrow.end());
}

void ole_date::process_milliseconds(std::string_view seconds_text) {
  double x = ole_number_text::atof(seconds_text);
  if (!(x >= 0 && x < 65536)) {
    // Out of the 16-bit field: a second the validation refuses.
    st.second = 0xFFFF;
    st.milliseconds = 0;
    microseconds = 0;
    return;
  }
  double whole = std::floor(x);
  double frac = x - whole;
  long ms = std::lround(frac * 1000);
  long us = std::lround(frac * 1000000);
  unsigned second = static_cast<unsigned>(whole);
  if (us >= 1000000 || (us == 0 && ms >= 1000)) {
    ms = 0;
    us = 0;
    ++second;
    if (second == 60) {
      second = 0;
      if (++st.minute == 60) {
        st.minute = 0;
        st.hour = static_cast<uint16_t>((st.hour + 1) % 24);
      }
    }
  }
  st.second = static_cast<uint16_t>(second);
  st.milliseconds = static_cast<uint16_t>(ms);
  microseconds = static_cast<uint32_t>(us);
}

void ole_date::refine_type() {
  if (st.year == 0 && st.month == 0 && st.day == 0) {
    TK_TRACE(1, "Switch to 'pure' time");
    kind = kind_time;
  } else if (st.hour == 0 && st.minute == 0 && st.second == 0 && st.milliseconds == 0) {
    TK_TRACE(1, "Switch to 'pure' date");
    kind = kind_date;
  }
}

double ole_date::to_ole_number() const {
  if (kind == kind_none) return 0.0;
  int64_t day = 0;
  if (!(st.year == 0 && st.month == 0 && st.day == 0) && st.month >= 1 && st.month <= 12)
    day = days_from_civil(st.year, st.month, st.day) - ole_epoch_days;
  int64_t us = ((int64_t(st.hour) * 60 + st.minute) * 60 + st.second) * 1000000 + microseconds;
  double frac = static_cast<double>(us) / static_cast<double>(microseconds_per_day);
  return day >= 0 ? static_cast<double>(day) + frac : static_cast<double>(day) - frac;
}

bool ole_date::from_ole_number(double number, ole_date& out) {
  // The platform's range: 100-01-01 to 9999-12-31.
  if (!(number > -657435.0 && number < 2958466.0)) return false;
  int64_t day = 0, us = 0;
  // A date number is a double count of days: near today its last bit is
  // worth about a microsecond, so 09:30 would come back as 09:30:00.000001.
  // Moments are taken to the millisecond, as the workbooks keep them.
  if (!split_ole_number(number, day, us, 1000)) return false;
  int64_t y;
  unsigned m, d;
  civil_from_days(day + ole_epoch_days, y, m, d);
  ole_date r;
  r.kind = kind_date_time;
  r.st.year = static_cast<uint16_t>(y);
  r.st.month = static_cast<uint16_t>(m);
  r.st.day = static_cast<uint16_t>(d);
  // 1970-01-01 was a Thursday.
  int64_t z = day + ole_epoch_days;
  r.st.day_of_week = static_cast<uint16_t>(((z % 7) + 7 + 4) % 7);
  int64_t secs = us / 1000000;
  r.microseconds = static_cast<uint32_t>(us % 1000000);
  r.st.milliseconds = static_cast<uint16_t>(r.microseconds / 1000);
  r.st.hour = static_cast<uint16_t>(secs / 3600);
  r.st.minute = static_cast<uint16_t>(secs / 60 % 60);
  r.st.second = static_cast<uint16_t>(secs % 60);
  out = r;
  return true;
}

bool ole_date::operator==(const ole_date& o) const {
  return kind == o.kind && tz_hours == o.tz_hours && pure_date == o.pure_date && microseconds == o.microseconds &&
         st.year == o.st.year && st.month == o.st.month && st.day == o.st.day && st.hour == o.st.hour &&
         st.minute == o.st.minute && st.second == o.st.second && st.milliseconds == o.st.milliseconds;
}

int ole_date::duration(std::u16string_view text) {
  size_t i = !text.empty() && text[0] == u'-' ? 1 : 0;
  const auto number = [&](size_t max_digits, int& value) {
    size_t n = 0;
    value = 0;
    for (; i < text.size() && n < max_digits && text[i] >= u'0' && text[i] <= u'9'; ++i, ++n)
      value = value * 10 + (text[i] - u'0');
    return n;
  };
  int hours = 0, minutes = 0, seconds = 0;
  if (number(3, hours) == 0 || i >= text.size() || text[i++] != u':' || number(2, minutes) != 2 || minutes > 59)
    return 0;
  bool fraction = false;
  if (i < text.size() && text[i] == u':') {
    ++i;
    if (number(2, seconds) != 2 || seconds > 59) return 0;
    if (i < text.size() && text[i] == u'.') {
      for (++i; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        if (text[i] != u'0') fraction = true;
    }
  }
  if (i != text.size()) return 0;
  constexpr int most_seconds = (838 * 60 + 59) * 60 + 59;
  const int total = (hours * 60 + minutes) * 60 + seconds;
  return total < most_seconds || (total == most_seconds && !fraction) ? 1 : -1;
}
