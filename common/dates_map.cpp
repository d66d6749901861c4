#include "dates_map.h"

#include <algorithm>
#include <string>

#include "field_note.h"
#include "ole_date.h"
#include "tk_logger.h"
#include "udb_record.h"
#include "udb_schema.h"

namespace {

// No date text in the accepted forms is longer ("-838:59:59.000000" and
// "12/31/2024 23:59:59" are shorter).
constexpr size_t max_date_text = 32;

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool is_valid_date(int year, int month, int day) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || month < 1 || month > 12 || day < 1) return false;
  return day <= days[month - 1] + (month == 2 && is_leap(year) ? 1 : 0);
}

// A cursor over an ASCII text (of UTF-8 bytes or UTF-16 units: any other
// character's are neither digits nor marks).
template <class C>
struct scan {
  std::basic_string_view<C> s;
  size_t i = 0;
  bool done() const { return i == s.size(); }
  bool take(char c) {
    if (i < s.size() && s[i] == C(c)) return ++i, true;
    return false;
  }
  // `min` to `max` digits as a number; -1 when fewer.
  int digits(size_t min, size_t max) {
    int value = 0;
    size_t n = 0;
    while (n < max && i < s.size() && s[i] >= C('0') && s[i] <= C('9')) value = value * 10 + (s[i++] - C('0')), ++n;
    return n >= min ? value : -1;
  }
  // ":MM:SS" with an optional fraction of zeros; false otherwise.
  bool minutes_seconds() {
    if (!take(':')) return false;
    const int minute = digits(2, 2);
    if (!take(':')) return false;
    const int second = digits(2, 2);
    if (minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    if (take('.')) {
      size_t n = 0;
      while (n < 6 && take('0')) ++n;
      if (n == 0) return false;
    }
    return true;
  }
};

template <class C>
dates_map::reading read_text(std::basic_string_view<C> text) {
  dates_map::reading r;
  if (text.empty() || text.size() > max_date_text) return r;
  scan<C> s{text};
  // YYYY-MM-DD [HH:MM:SS]
  if (text.size() >= 10 && text[4] == C('-')) {
    const int year = s.digits(4, 4);
    const int month = s.take('-') ? s.digits(2, 2) : -1;
    const int day = s.take('-') ? s.digits(2, 2) : -1;
    if (!is_valid_date(year, month, day)) return r;
    if (s.done()) return r.kind = ole_date::kind_date, r;
    if (!s.take(' ') && !s.take('T')) return r;
    const int hour = s.digits(2, 2);
    if (hour < 0 || hour > 23 || !s.minutes_seconds() || !s.done()) return r;
    return r.kind = ole_date::kind_date_time, r;
  }
  // [-]H:MM:SS, up to 838 hours
  if (text.find(C('/')) == text.npos) {
    s.take('-');
    const int hour = s.digits(1, 3);
    if (hour < 0 || hour > 838 || !s.minutes_seconds() || !s.done()) return r;
    return r.kind = ole_date::kind_time, r;
  }
  // A/B/YYYY [H:MM[:SS]]
  r.first = s.digits(1, 2);
  r.second = s.take('/') ? s.digits(1, 2) : -1;
  r.year = s.take('/') ? s.digits(4, 4) : -1;
  if (r.first < 1 || r.second < 1 || r.year < 1) return r;
  if (s.take(' ')) {
    const int hour = s.digits(1, 2);
    if (hour < 0 || hour > 23 || !s.take(':')) return r;
    const int minute = s.digits(2, 2);
    if (minute < 0 || minute > 59) return r;
    r.clock = 1;
    if (s.take(':')) {
      const int second = s.digits(2, 2);
      if (second < 0 || second > 59) return r;
      r.clock = 2;
    }
  }
  if (!s.done()) return r;
  r.slash = true;
  r.kind = r.clock ? ole_date::kind_date_time : ole_date::kind_date;
  return r;
}

}  // namespace

dates_map::dates_map(std::u16string table, const udb_schema& schema, bool dates_only) : types_map(std::move(table)) {
  TK_TRACE(2, "dates_map::ctor(size=%d)", schema.size());
  for (size_t i = 0; i < schema.size(); ++i) {
    const t_ftd* column = schema.fields[i].get();
    if (!column) continue;
    TK_TRACE(1, "Field #%d has type %d", i, column->vartype);
    if (dates_only && column->vartype != VT_DATE) {
      TK_TRACE(1, "Field #%d has not a date type", i);
      continue;
    }
    TK_TRACE(1, "Add map entry for field #%d", i);
    types_map_entry entry;
    entry.field_index = static_cast<uint32_t>(i);
    entry.field_name = column->name;
    entry.arrival = column->vartype == VT_DATE ? 1 : 0;
    entries_.push_back(std::move(entry));
  }
  forms_.resize(entries_.size());
}

dates_map::reading dates_map::read(const udb_field& field) {
  if (const auto utf8 = field.utf8()) {
    // A date is ASCII: a longer text, or the bytes of any other character
    // taken as units, are no date either.
    return read_text(*utf8);
  }
  if (field.get_type() == VT_BSTR) return read_text(std::u16string_view(field.text()));
  reading r;
  if (field.get_type() != VT_DATE) return r;
  // What the value's own text form reads back as: a time on the zero date
  // (or the zero date alone) is a time of day, a zero clock a date.
  const ole_date& d = field.get_date();
  const ole_system_time& t = d.st;
  if (d.kind == ole_date::kind_time || (t.year == 0 && t.month == 0 && t.day == 0) ||
      (t.year == 1899 && t.month == 12 && t.day == 30)) {
    r.kind = ole_date::kind_time;
  } else if (d.kind == ole_date::kind_date || (t.hour == 0 && t.minute == 0 && t.second == 0 && t.milliseconds == 0)) {
    r.kind = ole_date::kind_date;
  } else {
    r.kind = ole_date::kind_date_time;
  }
  return r;
}

void dates_map::take_slash(types_map_entry& e, column_form& form, const reading& r) {
  if (form.clock < 0) form.clock = r.clock;
  form.month_first = form.month_first && is_valid_date(r.year, r.first, r.second);
  form.day_first = form.day_first && is_valid_date(r.year, r.second, r.first);
  form.same_both_ways = form.same_both_ways && r.first == r.second;
  if (r.clock != form.clock || (!form.month_first && !form.day_first)) {
    e.state = state_char19;
    e.final = true;
    e.pattern.clear();
    return;
  }
  // Until the column tells the order, no change is proposed.
  const bool month_first = form.month_first && (!form.day_first || form.same_both_ways);
  const bool day_first = form.day_first && !form.month_first;
  if (!month_first && !day_first) {
    e.state = state_char19;
    e.pattern.clear();
    return;
  }
  e.state = form.clock ? state_datetime : state_date;
  e.pattern = month_first ? "%m/%d/%Y" : "%d/%m/%Y";
  if (form.clock == 1) e.pattern += " %H:%i";
  if (form.clock == 2) e.pattern += " %H:%i:%s";
}

void dates_map::add_rec_stat(const udb_record& record, const field_note* notes) {
  TK_TRACE(1, "dates_map::add_rec_stat(map size=%d)", entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    types_map_entry& e = entries_[i];
    if (e.field_index >= record.size() || e.final) continue;
    const udb_field& field = record[e.field_index];
    if (field.get_type() == VT_BSTR && field.text_units() == 0) e.seen_empty_text = true;
    if (field.is_empty() || field.is_null() || field.is_text_form_empty()) continue;
    const reading r =
        notes && (notes[e.field_index].read & field_note::date_read) ? notes[e.field_index].date : read(field);
    const bool first = !e.seen;
    e.seen = true;
    // A value that is no date, or of another form than the column's first
    // one, makes the column text for good.
    column_form& column = forms_[i];
    const column_form::kind form = r.slash ? column_form::kind::slash : column_form::kind::server;
    if (r.kind == ole_date::kind_none || (column.form != column_form::kind::unknown && column.form != form)) {
      e.state = state_char19;
      e.final = true;
      e.pattern.clear();
      continue;
    }
    column.form = form;
    if (r.slash) {
      take_slash(e, column, r);
      continue;
    }
    if (first) {
      e.state = r.kind == ole_date::kind_date_time ? state_datetime
                : r.kind == ole_date::kind_date    ? state_date
                                                   : state_time;
      continue;
    }
    // A time among dates (or the other way round) is text; a date and time
    // among dates makes the column DATETIME.
    if ((e.state == state_time) != (r.kind == ole_date::kind_time)) {
      e.state = state_char19;
      e.final = true;
    } else if (e.state == state_date && r.kind == ole_date::kind_date_time) {
      e.state = state_datetime;
    }
  }
  TK_TRACE(1, "End of dates_map::add_rec_stat");
}
