#include "ole_locale_date.h"

#include <cstdint>

#include "ole_calendar.h"
#include "ole_date.h"
#include "ole_number_text.h"

using namespace ole_detail;

namespace {

inline bool is_white(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// A cursor over the text; every reader either advances or leaves it alone.
struct cursor {
  std::string_view s;
  size_t i = 0;

  bool at_end() const { return i >= s.size(); }
  char peek() const { return i < s.size() ? s[i] : '\0'; }
  bool skip_white() {
    size_t start = i;
    while (i < s.size() && is_white(s[i])) ++i;
    return i > start;
  }
  bool eat(char c) {
    if (peek() != c) return false;
    ++i;
    return true;
  }
  // Up to `max_len` digits; false when none.
  bool number(int& value, int& len, int max_len = 4) {
    size_t start = i;
    int v = 0;
    while (i < s.size() && is_digit(s[i]) && static_cast<int>(i - start) < max_len) v = v * 10 + (s[i++] - '0');
    len = static_cast<int>(i - start);
    // A longer run of digits is not one of the date's numbers.
    if (len == 0 || (i < s.size() && is_digit(s[i]))) {
      i = start;
      return false;
    }
    value = v;
    return true;
  }
  // A run of letters, lower-cased into `word`.
  bool word(std::string& w) {
    size_t start = i;
    w.clear();
    while (i < s.size() && ((s[i] >= 'a' && s[i] <= 'z') || (s[i] >= 'A' && s[i] <= 'Z'))) w += lower(s[i++]);
    if (w.empty()) {
      i = start;
      return false;
    }
    return true;
  }
};

int month_from_word(const std::string& w) {
  static constexpr std::string_view names[12] = {"january", "february", "march",     "april",   "may",      "june",
                                                 "july",    "august",   "september", "october", "november", "december"};
  for (int m = 0; m < 12; ++m) {
    std::string_view full = names[m];
    if (w == full) return m + 1;
    if (w.size() == 3 && full.substr(0, 3) == w) return m + 1;
    if (m == 8 && w == "sept") return 9;
  }
  return 0;
}

int full_year(int y, int len) {
  if (len <= 2) return y < 30 ? 2000 + y : 1900 + y;
  return y;
}

struct ymd {
  int y = 0, m = 0, d = 0;
  bool iso = false;  // year first with '-': may be followed by 'T'
};

bool valid_date(const ymd& v) {
  return v.y >= 100 && v.y <= 9999 && v.m >= 1 && v.m <= 12 && v.d >= 1 && v.d <= days_in_month(v.y, v.m);
}

// n1 sep n2 sep n3 with '/', '-' or '.'; year first when n1 has 3 or 4 digits.
bool numeric_date(cursor& c, ymd& out) {
  cursor t = c;
  int a, b, y, la, lb, ly;
  if (!t.number(a, la)) return false;
  char sep = t.peek();
  if (sep != '/' && sep != '-' && sep != '.') return false;
  ++t.i;
  if (!t.number(b, lb) || lb > 2 || !t.eat(sep) || !t.number(y, ly)) return false;
  if (la >= 3) {
    if (ly > 2) return false;
    out = {a, b, y, sep == '-'};
  } else {
    if (ly == 3) return false;
    out = {full_year(y, ly), a, b, false};
  }
  c = t;
  return true;
}

// "Month d[,] yyyy" and "d Month[,] yyyy" with blanks or '-' between the parts.
bool word_date(cursor& c, ymd& out) {
  cursor t = c;
  std::string w;
  int d, y, ld, ly;
  auto separator = [](cursor& k) {
    bool any = k.eat(',');
    any = k.skip_white() || any;
    any = any || k.eat('-');
    return any;
  };
  if (t.word(w)) {
    int m = month_from_word(w);
    if (m == 0) return false;
    t.eat('.');
    if (!separator(t) || !t.number(d, ld) || ld > 2 || !separator(t) || !t.number(y, ly) || ly == 3) return false;
    out = {full_year(y, ly), m, d, false};
  } else {
    if (!t.number(d, ld) || ld > 2 || !separator(t) || !t.word(w)) return false;
    int m = month_from_word(w);
    if (m == 0) return false;
    t.eat('.');
    if (!separator(t) || !t.number(y, ly) || ly == 3) return false;
    out = {full_year(y, ly), m, d, false};
  }
  c = t;
  return true;
}

// "h:mm[:ss] [AM|PM]" or "h AM|PM"; seconds of the day.
bool time_of_day(cursor& c, int64_t& seconds) {
  cursor t = c;
  int h, mi = 0, s = 0, lh, lm, ls;
  if (!t.number(h, lh) || lh > 2) return false;
  bool clock = false;
  if (t.eat(':')) {
    if (!t.number(mi, lm) || lm > 2) return false;
    if (t.eat(':') && (!t.number(s, ls) || ls > 2)) return false;
    clock = true;
  }
  cursor k = t;
  k.skip_white();
  std::string w;
  int half = 0;  // 1 AM, 2 PM
  if (k.word(w)) {
    if (w == "am" || w == "a") {
      half = 1;
    } else if (w == "pm" || w == "p") {
      half = 2;
    } else {
      return false;
    }
    t = k;
  }
  if (!clock && half == 0) return false;
  if (half != 0) {
    if (h < 1 || h > 12) return false;
    h = h % 12 + (half == 2 ? 12 : 0);
  }
  if (h > 23 || mi > 59 || s > 59) return false;
  seconds = (h * 60 + mi) * 60 + s;
  c = t;
  return true;
}

}  // namespace

bool ole_locale_date::parse(std::string_view text, double& number) {
  cursor c{text};
  c.skip_white();
  int64_t seconds = 0;
  bool has_time = false;
  ymd date;
  bool has_date = false;
  {
    cursor t = c;
    if (time_of_day(t, seconds)) {
      t.skip_white();
      if (t.at_end()) {
        number = static_cast<double>(seconds) / 86400.0;
        return true;
      }
    }
  }
  if (numeric_date(c, date) || word_date(c, date)) {
    has_date = true;
    if (date.iso && (c.peek() == 'T' || c.peek() == 't')) {
      ++c.i;
      if (!time_of_day(c, seconds)) return false;
      has_time = true;
    } else if (c.skip_white() && !c.at_end()) {
      if (!time_of_day(c, seconds)) return false;
      has_time = true;
    }
  }
  c.skip_white();
  if (!has_date || !c.at_end() || !valid_date(date)) return false;
  int64_t day = days_from_civil(date.y, static_cast<unsigned>(date.m), static_cast<unsigned>(date.d)) - ole_epoch_days;
  double frac = has_time ? static_cast<double>(seconds) / 86400.0 : 0.0;
  number = day >= 0 ? static_cast<double>(day) + frac : static_cast<double>(day) - frac;
  return true;
}

void ole_locale_date::append_text(std::string& out, double number) {
  int64_t day = 0, us = 0;
  if (!split_ole_number(number, day, us, 1000000)) return;
  int64_t secs = us / 1000000;
  if (day != 0) {
    int64_t y;
    unsigned m, d;
    civil_from_days(day + ole_epoch_days, y, m, d);
    ole_number_text::append_uint(out, m);
    out += '/';
    ole_number_text::append_uint(out, d);
    out += '/';
    // The year is written with at least four digits, as the short date form does.
    if (y >= 0 && y < 1000) out.append(y < 10 ? "000" : y < 100 ? "00" : "0");
    ole_number_text::append_int(out, y);
    if (secs == 0) return;
    out += ' ';
  }
  int64_t h = secs / 3600;
  ole_number_text::append_int(out, h % 12 == 0 ? 12 : h % 12);
  char tail[10] = {':',
                   static_cast<char>('0' + secs / 60 % 60 / 10),
                   static_cast<char>('0' + secs / 60 % 10),
                   ':',
                   static_cast<char>('0' + secs % 60 / 10),
                   static_cast<char>('0' + secs % 10),
                   ' ',
                   h < 12 ? 'A' : 'P',
                   'M'};
  out.append(tail, 9);
}
