#include "wb_number_format.h"

#include <array>

#include "wb_ole_date.h"

namespace {

// UTF-8 currency symbols recognised outside quotes.
constexpr std::array<std::string_view, 12> currency_symbols = {"$",
                                                               "\xE2\x82\xAC" /*€*/,
                                                               "\xC2\xA3" /*£*/,
                                                               "\xC2\xA5" /*¥*/,
                                                               "\xE2\x82\xA9" /*₩*/,
                                                               "\xE2\x82\xB9" /*₹*/,
                                                               "\xE2\x82\xBD" /*₽*/,
                                                               "\xE2\x82\xBA" /*₺*/,
                                                               "\xE2\x82\xAA" /*₪*/,
                                                               "\xE2\x82\xAB" /*₫*/,
                                                               "\xE2\x82\xB1" /*₱*/,
                                                               "\xE2\x82\xB4" /*₴*/};

std::size_t currency_symbol_at(std::string_view s, std::size_t i) {
  for (std::string_view sym : currency_symbols)
    if (s.substr(i, sym.size()) == sym) return sym.size();
  return 0;
}

bool is_only_currency_symbol(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  const std::size_t n = s.empty() ? 0 : currency_symbol_at(s, 0);
  return n != 0 && n == s.size();
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool starts_with_ci(std::string_view s, std::size_t i, std::string_view what) {
  if (s.size() - i < what.size()) return false;
  for (std::size_t k = 0; k < what.size(); ++k)
    if (lower(s[i + k]) != lower(what[k])) return false;
  return true;
}

// A [...] tag: elapsed time ([h], [mm], [ss]) or a currency/locale tag
// ([$€-407], [$-409]). Colours and conditions count for nothing.
void classify_tag(std::string_view tag, bool& date, bool& time, bool& currency) {
  if (tag.empty()) return;
  const char c = lower(tag[0]);
  if (c == 'h' || c == 'm' || c == 's') {
    bool same = true;
    for (char k : tag)
      if (lower(k) != c) same = false;
    if (same) time = true;
    return;
  }
  if (tag[0] == '$') {
    const std::size_t dash = tag.find('-');
    const std::string_view sym = tag.substr(1, dash == std::string_view::npos ? std::string_view::npos : dash - 1);
    if (!sym.empty()) currency = true;
  }
  (void)date;
}

}  // namespace

wb_number_class wb_number_format::classify_builtin(std::uint32_t id) {
  if ((id >= 14 && id <= 17) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58)) return wb_number_class::date;
  if ((id >= 18 && id <= 21) || id == 45 || id == 47) return wb_number_class::time;
  if (id == 46) return wb_number_class::duration;
  if (id == 22) return wb_number_class::date_time;
  if ((id >= 5 && id <= 8) || id == 42 || id == 44) return wb_number_class::currency;
  if (id == 9 || id == 10) return wb_number_class::percent;
  return wb_number_class::general;
}

wb_number_class wb_number_format::classify_code(std::string_view s) {
  bool date = false, time = false, elapsed = false, currency = false, percent = false;
  // The last date/time letter seen, to tell minutes from months.
  char last_dt = 0;
  std::size_t pending_m = std::string_view::npos;  // an m whose meaning waits for the next token
  auto resolve_m = [&](bool as_minutes) {
    if (pending_m == std::string_view::npos) return;
    if (as_minutes)
      time = true;
    else
      date = true;
    pending_m = std::string_view::npos;
  };

  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n;) {
    const char c = s[i];
    if (c == '"') {
      const std::size_t close = s.find('"', i + 1);
      const std::string_view quoted =
          s.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1);
      if (is_only_currency_symbol(quoted)) currency = true;
      i = close == std::string_view::npos ? n : close + 1;
      continue;
    }
    if (c == '\\') {
      if (i + 1 < n && currency_symbol_at(s, i + 1)) currency = true;
      // Skip the escaped character, which may be multibyte UTF-8.
      ++i;
      if (i < n) {
        ++i;
        while (i < n && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
      }
      continue;
    }
    if (c == '_' || c == '*') {
      i += 2;
      while (i < n && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
      continue;
    }
    if (c == '[') {
      const std::size_t close = s.find(']', i + 1);
      if (close == std::string_view::npos) break;
      bool tag_time = false;
      classify_tag(s.substr(i + 1, close - i - 1), date, tag_time, currency);
      if (tag_time) {
        elapsed = true;
        last_dt = lower(s[i + 1]);
        if (last_dt == 'm') last_dt = 'n';  // elapsed minutes
      }
      i = close + 1;
      continue;
    }
    if (starts_with_ci(s, i, "AM/PM")) {
      time = true;
      i += 5;
      continue;
    }
    if (starts_with_ci(s, i, "A/P")) {
      time = true;
      i += 3;
      continue;
    }
    if (starts_with_ci(s, i, "General")) {
      i += 7;
      continue;
    }
    if (const std::size_t sym = currency_symbol_at(s, i)) {
      currency = true;
      i += sym;
      continue;
    }
    const char l = lower(c);
    switch (l) {
      case 'y':
      case 'd':
        resolve_m(false);
        date = true;
        last_dt = l;
        break;
      case 'h':
        resolve_m(false);
        time = true;
        last_dt = 'h';
        break;
      case 's':
        resolve_m(true);
        time = true;
        last_dt = 's';
        break;
      case 'm':
        if (last_dt == 'h' || last_dt == 'n') {
          time = true;
          last_dt = 'n';
        } else if (pending_m == std::string_view::npos) {
          pending_m = i;
          last_dt = 'm';
        }
        while (i + 1 < n && lower(s[i + 1]) == 'm') ++i;
        break;
      case '%':
        percent = true;
        break;
      default:
        break;
    }
    ++i;
  }
  resolve_m(false);

  if (date && (time || elapsed)) return wb_number_class::date_time;
  if (date) return wb_number_class::date;
  if (elapsed) return wb_number_class::duration;
  if (time) return wb_number_class::time;
  if (currency) return wb_number_class::currency;
  if (percent) return wb_number_class::percent;
  return wb_number_class::general;
}

wb_number_class wb_number_format::effective_class(wb_number_class c, double value, bool date1904) {
  if (!wb_is_date_class(c)) return c;
  // The 1900 system's first day is 1: under 1 a calendar format shows day 0
  // (1900-01-00), which no calendar has.
  const bool calendar = c != wb_number_class::time;
  if (calendar && !date1904 && value >= 0.0 && value < 1.0) return wb_number_class::general;
  const double ole = wb_serial_to_ole(value, date1904, calendar);
  return ole >= 0.0 && ole < wb_ole_after_last_day ? c : wb_number_class::general;
}
