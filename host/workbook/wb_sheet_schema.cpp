#include "wb_sheet_schema.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_set>

#include "wb_number_format.h"
#include "wb_ole_date.h"
#include "wb_value_text.h"

namespace {

// What the numbers of a column mean, one bit per meaning. A date and a
// date-time are one meaning, a moment of the calendar (a date is that moment
// at midnight); a time of day, a duration, a plain number (general and
// percent formats) and a currency amount are each their own.
enum meaning_bit : std::uint8_t {
  meaning_number = 1,
  meaning_currency = 2,
  meaning_moment = 4,
  meaning_time_of_day = 8,
  meaning_duration = 16,
};

std::uint8_t meaning_of(wb_number_class c) {
  switch (c) {
    case wb_number_class::currency:
      return meaning_currency;
    case wb_number_class::date:
    case wb_number_class::date_time:
      return meaning_moment;
    case wb_number_class::time:
      return meaning_time_of_day;
    case wb_number_class::duration:
      return meaning_duration;
    default:
      return meaning_number;
  }
}

std::u16string fold_case(const std::u16string& s) {
  std::u16string out(s.size() * 3 + 1, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = u_strFoldCase(out.data(), static_cast<int32_t>(out.size()), s.data(),
                                  static_cast<int32_t>(s.size()), U_FOLD_CASE_DEFAULT, &status);
  if (U_FAILURE(status)) return s;
  out.resize(static_cast<std::size_t>(n));
  return out;
}

bool blank(std::u16string_view s) {
  for (char16_t c : s)
    if (!u_isUWhiteSpace(c)) return false;
  return true;
}

std::u16string header_text(const wb_raw_cell& c, bool date1904) {
  char16_t buf[wb_value_text_capacity];
  switch (c.kind) {
    case wb_cell_kind::text:
      return std::u16string(c.text);
    case wb_cell_kind::boolean:
      return std::u16string(c.number != 0 ? wb_true_text : wb_false_text);
    case wb_cell_kind::number:
      return std::u16string(
          buf, wb_format_number_cell(c.number, wb_number_format::effective_class(c.number_class, c.number, date1904),
                                     date1904, buf));
    default:
      return {};
  }
}

std::u16string default_name(std::size_t position) {
  std::u16string s = u"F";
  for (char c : std::to_string(position)) s += static_cast<char16_t>(c);
  return s;
}

}  // namespace

bool wb_sheet_schema::scan(wb_sheet_source& source, bool header_row, bool date1904, long& dao_error) {
  start(header_row, date1904);
  // Lengths are enough past the limit; the source reads whole texts again
  // once the pass is over.
  source.set_text_limit(header_text_limit);
  struct whole_texts_after {
    wb_sheet_source& source;
    ~whole_texts_after() { source.set_text_limit(0); }
  } restore{source};
  wb_raw_cell c;
  while (source.next_cell(c)) add(c);
  if (source.error() != 0) {
    dao_error = source.error();
    return false;
  }
  unreadable_values_ = source.unreadable_values();
  uncalculated_formulas_ = source.uncalculated_formulas();
  finish();
  return true;
}

void wb_sheet_schema::start(bool header_row, bool date1904) {
  date1904_ = date1904;
  header_row_ = header_row;
  columns_.clear();
  rows_past_limit_ = false;
  cells_out_of_order_ = 0;
  unreadable_values_ = 0;
  uncalculated_formulas_ = 0;
  error_values_ = 0;
  any_ = false;
  top_row_ = last_row_ = min_col_ = max_col_ = 0;
  seen_in_row_.clear();
  stats_.clear();
  headers_.clear();
}

void wb_sheet_schema::add(const wb_raw_cell& c) {
  if (c.kind == wb_cell_kind::empty || c.column >= wb_max_columns) return;
  if (c.row >= wb_max_rows) {
    rows_past_limit_ = true;
    return;
  }
  // Out of order (a row above the last, a cell its row gave already):
  // dropped, as in the second pass.
  if (wb_cell_out_of_order(c, any_, last_row_, seen_in_row_)) {
    ++cells_out_of_order_;
    return;
  }
  if (!any_) {
    any_ = true;
    top_row_ = c.row;
    min_col_ = max_col_ = c.column;
  }
  if ((c.row & 4095u) == 0 && c.row != last_row_ && row_observer_) row_observer_(c.row);
  last_row_ = c.row;
  min_col_ = std::min(min_col_, c.column);
  max_col_ = std::max(max_col_, c.column);
  if (header_row_ && c.row == top_row_) {
    headers_.emplace_back(c.column, header_text(c, date1904_));
    return;
  }
  if (c.column >= stats_.size()) stats_.resize(static_cast<std::size_t>(c.column) + 1);
  column_stats& s = stats_[c.column];
  switch (c.kind) {
    case wb_cell_kind::number: {
      ++s.numbers;
      const wb_number_class cls = wb_number_format::effective_class(c.number_class, c.number, date1904_);
      s.meanings |= meaning_of(cls);
      if (wb_is_date_class(cls)) {
        const wb_ole_parts p = wb_split_ole(wb_serial_to_ole(c.number, date1904_, cls != wb_number_class::time));
        if (p.days != 0) s.all_pure_time = false;
        if (p.seconds != 0) s.any_time_of_day = true;
      } else if (cls == wb_number_class::currency) {
        if (std::fabs(c.number) >= wb_currency_limit || !wb_currency_is_exact(c.number)) s.currency_unfit = true;
      } else if (cls == wb_number_class::duration) {
        if (!wb_duration_fits_time(c.number)) s.duration_overflow = true;
      }
      break;
    }
    case wb_cell_kind::text:
      ++s.texts;
      s.longest_text = std::max(s.longest_text, c.text.size() + c.text_omitted);
      break;
    case wb_cell_kind::boolean:
      ++s.booleans;
      break;
    case wb_cell_kind::error:
      ++error_values_;
      break;
    default:
      break;
  }
}

void wb_sheet_schema::finish() {
  columns_.clear();
  if (!any_) {
    columns_.push_back(wb_column_def{u"F1", wb_dao_type::text, 255, {}});
    first_column_ = first_data_row_ = row_count_ = 0;
    return;
  }

  first_column_ = min_col_;
  first_data_row_ = header_row_ ? top_row_ + 1 : top_row_;
  row_count_ = last_row_ >= first_data_row_ ? last_row_ - first_data_row_ + 1 : 0;
  if (stats_.size() <= max_col_) stats_.resize(static_cast<std::size_t>(max_col_) + 1);

  const std::size_t count = static_cast<std::size_t>(max_col_ - min_col_) + 1;
  columns_.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const column_stats& s = stats_[min_col_ + i];
    wb_column_def& col = columns_[i];
    const std::uint32_t total = s.numbers + s.booleans + s.texts;
    // Numbers of one meaning keep their type; numbers of several become
    // text, each cell in the form its own format reads.
    const bool one_meaning = s.meanings != 0 && (s.meanings & (s.meanings - 1)) == 0;
    if (total == 0) {
      col.type = wb_dao_type::text;
      col.size = 255;
    } else if (s.texts == 0 && s.booleans == 0 && one_meaning &&
               !(s.meanings == meaning_duration && s.duration_overflow)) {
      col.size = 8;
      if (s.meanings == meaning_moment || s.meanings == meaning_time_of_day) {
        col.type = wb_dao_type::date;
        col.format = s.all_pure_time ? u"Long Time" : !s.any_time_of_day ? u"Short Date" : u"General Date";
      } else if (s.meanings == meaning_duration) {
        // Durations within the TIME range: a time column holding them as
        // hours:minutes:seconds (see wb_row_reader).
        col.type = wb_dao_type::date;
        col.format = u"Long Time";
      } else if (s.meanings == meaning_currency && !s.currency_unfit) {
        col.type = wb_dao_type::currency;
      } else {
        col.type = wb_dao_type::double_;
      }
    } else if (s.booleans == total) {
      col.type = wb_dao_type::boolean;
      col.size = 1;
    } else if (s.longest_text > 255) {
      col.type = wb_dao_type::memo;
      col.size = 0;
    } else {
      col.type = wb_dao_type::text;
      col.size = 255;
    }
  }

  // Names: the header text, or F<n> for an empty or blank header and
  // without a header row; a name already taken (ignoring case), or a made-up
  // one that a header gives, gets the lowest number appended that makes it
  // unique and none a header gives (that column keeps it).
  std::vector<std::u16string> raw(count);
  if (header_row_)
    for (const auto& [column, text] : headers_)
      if (column >= min_col_ && column - min_col_ < count) raw[column - min_col_] = text;
  std::unordered_set<std::u16string> given;
  for (std::size_t i = 0; i < count; ++i)
    if (header_row_ && !blank(raw[i])) given.insert(fold_case(raw[i]));
  std::unordered_set<std::u16string> taken;
  for (std::size_t i = 0; i < count; ++i) {
    const bool made_up = !header_row_ || blank(raw[i]);
    std::u16string base = made_up ? default_name(i + 1) : std::move(raw[i]);
    std::u16string name = base;
    const auto free = [&](std::size_t k) {
      const std::u16string folded = fold_case(name);
      return taken.count(folded) == 0 && ((k == 0 && !made_up) || given.count(folded) == 0);
    };
    for (std::size_t k = 1; !free(k - 1); ++k) {
      name = base;
      for (char ch : std::to_string(k)) name += static_cast<char16_t>(ch);
    }
    taken.insert(fold_case(name));
    columns_[i].name = std::move(name);
  }
}

bool wb_sheet_schema::same_columns(const wb_sheet_schema& other) const {
  if (first_column_ != other.first_column_ || first_data_row_ != other.first_data_row_ ||
      date1904_ != other.date1904_ || columns_.size() != other.columns_.size())
    return false;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const wb_column_def &a = columns_[i], &b = other.columns_[i];
    if (a.name != b.name || a.type != b.type || a.size != b.size || a.format != b.format) return false;
  }
  return true;
}
