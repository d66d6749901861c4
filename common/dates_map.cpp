#include "dates_map.h"

#include "ole_date.h"
#include "tk_logger.h"
#include "udb_record.h"
#include "udb_schema.h"

namespace {

// No text longer than this reads as a date ("September 30, 2024 12:34:56 PM"
// is 30 characters); longer texts are rejected without parsing.
constexpr size_t max_date_text = 64;

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
}

int32_t dates_map::kind_of(const udb_field& field, std::string& scratch) {
  if (field.get_type() == VT_DATE) {
    // What the value's own text form reads back as: a time on the zero date
    // (or the zero date alone) is a time of day, a zero clock a date.
    const ole_date& d = field.get_date();
    const ole_system_time& t = d.st;
    if (d.kind == ole_date::kind_time || (t.year == 0 && t.month == 0 && t.day == 0)) return ole_date::kind_time;
    if (t.year == 1899 && t.month == 12 && t.day == 30) return ole_date::kind_time;
    if (d.kind == ole_date::kind_date) return ole_date::kind_date;
    if (t.hour == 0 && t.minute == 0 && t.second == 0 && t.milliseconds == 0) return ole_date::kind_date;
    return ole_date::kind_date_time;
  }
  scratch.clear();
  if (field.get_type() == VT_BSTR) {
    const std::u16string& text = field.text();
    if (text.size() > max_date_text) return ole_date::kind_none;
    for (char16_t c : text) {
      // A date text is ASCII; anything else cannot read as one.
      if (c >= 0x80) return ole_date::kind_none;
      scratch += static_cast<char>(c);
    }
  } else {
    field.append_to_string(scratch);
    if (scratch.size() > max_date_text) return ole_date::kind_none;
  }
  ole_date date;
  date.import_from_string(scratch);
  return date.is_valid() ? date.kind : ole_date::kind_none;
}

void dates_map::add_rec_stat(const udb_record& record) {
  TK_TRACE(1, "dates_map::add_rec_stat(map size=%d)", entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    types_map_entry& e = entries_[i];
    TK_TRACE(1, "Process %d item, n_field=%d", i, e.field_index);
    if (e.field_index >= record.size()) continue;
    // CHAR(19) is final: a column that got there costs nothing more.
    if (e.seen && e.state == state_char19) continue;
    const udb_field& field = record[e.field_index];
    if (field.get_type() == VT_BSTR && field.text().empty()) e.seen_empty_text = true;
    if (field.is_empty() || field.is_null() || field.is_text_form_empty()) continue;
    TK_TRACE(1, "Got string representation: '%s'", field.to_wstring());
    int32_t kind = kind_of(field, text_);
    if (!e.seen) {
      e.seen = true;
      if (kind == ole_date::kind_date_time) {
        TK_TRACE(1, "got datetime");
        e.state = state_datetime;
      } else if (kind == ole_date::kind_date) {
        TK_TRACE(1, "got date");
        e.state = state_date;
      } else if (kind == ole_date::kind_time) {
        TK_TRACE(1, "got time");
        e.state = state_time;
      }
      continue;
    }
    if (e.state == state_char19) {
      TK_TRACE(1, "skip mapping CHAR(19)");
      continue;
    }
    // A value that is not a date, or a time among dates (or the other way
    // round), makes the column text for good.
    if (kind == ole_date::kind_none ||
        ((e.state == state_datetime || e.state == state_date) && kind == ole_date::kind_time) ||
        (e.state == state_time && kind != ole_date::kind_time)) {
      TK_TRACE(1, "switch to char(19)");
      e.state = state_char19;
    } else if (e.state == state_date && kind == ole_date::kind_date_time) {
      TK_TRACE(1, "switch to datetime");
      e.state = state_datetime;
    }
  }
  TK_TRACE(1, "End of dates_map::add_rec_stat");
}
