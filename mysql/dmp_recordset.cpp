#include "dmp_recordset.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "dmp_database.h"
#include "ole_coerce.h"
#include "sql_exception.h"
#include "tk_format.h"
#include "tk_logger.h"
#include "tk_unicode.h"
#include "tk_wstring.h"
#include "udb_field.h"
#include "udb_validator.h"

namespace {

// The character set of a dump's table as far as it is known: the one the
// type mappings give the table when the dump makes it, else the one the
// settings name, which the dump's CREATE TABLE gives it; of a table the dump
// does not make, only the session's limit tells: UTF-8 of three bytes
// unless the file is utf8mb4.
std::u16string held_set(const dmp_database& database, const std::u16string& table) {
  const std::u16string& session = database.settings().char_set;
  const bool four_bytes = tk_wstring::equal_no_case(session, u"utf8mb4");
  std::u16string own, engine;
  if (database.options().dmp_ins_tab) database.table_options(table, own, engine);
  if (!own.empty()) return four_bytes || !tk_wstring::equal_no_case(own, u"utf8mb4") ? own : u"utf8";
  if (four_bytes || database.options().dmp_ins_tab) return session;
  return u"utf8";
}

// Whether the number `literal` (as the dump writes it: digits with a sign,
// a point and an exponent) fits DECIMAL(precision, scale) once the server
// has rounded it to `scale` decimals, half away from zero. A literal that is
// no plain number (a quoted text) is left to the server.
bool decimal_fits(std::string_view literal, uint32_t precision, uint32_t scale) {
  size_t i = 0;
  if (i < literal.size() && (literal[i] == '-' || literal[i] == '+')) ++i;
  std::string digits;
  long long point = -1;  // integer digits, once the point is met
  for (; i < literal.size() && ((literal[i] >= '0' && literal[i] <= '9') || literal[i] == '.'); ++i) {
    if (literal[i] == '.') {
      if (point >= 0) return true;
      point = static_cast<long long>(digits.size());
    } else {
      digits += literal[i];
    }
  }
  if (digits.empty()) return true;
  if (point < 0) point = static_cast<long long>(digits.size());
  if (i < literal.size() && (literal[i] == 'e' || literal[i] == 'E')) {
    const char* end = literal.data() + literal.size();
    long long exponent = 0;
    const auto [at, error] = std::from_chars(literal.data() + i + 1 + (literal[i + 1] == '+'), end, exponent);
    if (error != std::errc() || at != end) return true;
    point += exponent;
    i = literal.size();
  }
  if (i != literal.size()) return true;
  // Leading zeros hold no integer digit.
  size_t lead = 0;
  while (lead < digits.size() && digits[lead] == '0') ++lead;
  digits.erase(0, lead);
  point -= static_cast<long long>(lead);
  // The digits kept: up to `scale` after the point; the next one rounds.
  const long long kept = point + static_cast<long long>(scale);
  long long integer_digits = std::max(point, 0LL);
  if (kept < static_cast<long long>(digits.size()) && kept >= 0 && digits[static_cast<size_t>(kept)] >= '5') {
    // Rounding up carries into a new leading digit when every kept one is 9.
    if (std::all_of(digits.begin(), digits.begin() + kept, [](char c) { return c == '9'; }) && point >= 0)
      ++integer_digits;
  }
  return integer_digits <= static_cast<long long>(precision) - static_cast<long long>(scale);
}

constexpr const char* conformance_message =
    "The structure of data source does not conform to the destination table. For more information see "
    "Troubleshooting article";

}  // namespace

dmp_recordset::dmp_recordset(dmp_database& database, std::u16string table, const udb_schema& columns)
    : sql_row_writer(&database, table, table),
      db_(database),
      held_set_(held_set(database, table_)),
      held_(held_set_),
      utf8_table_(tk_wstring::starts_with(held_set_, u"utf8", true)),
      char_bytes_(tk_wstring::equal_no_case(held_set_, u"utf8mb4") ? 4 : 3),
      own_columns_(database.options().dmp_ins_tab) {
  TK_TRACE(2, "dmp_recordset::ctor(%s)", table_);
  schema_ = columns;
  // Room for a full statement and the row that takes it past the cap.
  buffer_.reserve(max_statement_bytes + 64 * 1024);
}

dmp_recordset::~dmp_recordset() {
  TK_TRACE(2, "dmp_recordset::dtor");
  try {
    flush();
  } catch (const tk_exception& e) {
    // The file keeps the failure and reports it again when it is closed.
    TK_TRACE(3, "%s", e.message());
  }
}

void dmp_recordset::flush() {
  if (buffer_.empty()) return;
  TK_TRACE(1, "Run SQL query: [%s]", std::string_view(buffer_).substr(0, 4096));
  TK_TRACE(1, "Cleaning append_buffer...");
  // The statement is gone whether or not the write worked: a failure is
  // the file's, reported once.
  struct clear_on_exit {
    std::string& s;
    ~clear_on_exit() { s.clear(); }
  } clear{buffer_};
  buffer_ += tail_;
  db_.write_statement(buffer_);
}

void dmp_recordset::append_record(const udb_record& record) {
  TK_TRACE(2, "dmp_recordset::append_record");
  const size_t size = record.get_total_size();
  TK_TRACE(1, "record size=%d", size);
  if (size > max_fast_row_bytes) {
    TK_TRACE(3, "Row is too big (%d bytes), swtich to slow_append", size);
    db_.stop_batching();
    flush();
  }
  if (!same_layout(record)) {
    if (!db_.batching()) flush();
    prepare_layout(record);
  }
  ++n_records_;
  unsigned error_number = 0;
  if (const std::string reason = refusal(record, error_number); !reason.empty()) {
    refuse_row(n_records_, sql_exception(reason, error_number));
    return;
  }
  if (db_.batching()) {
    fast_append(record);
  } else {
    slow_append(record, size > sql_max_inline_field_size);
  }
}

bool dmp_recordset::same_layout(const udb_record& record) const {
  if (slots_.empty() || record.size() != layout_names_.size()) return false;
  if (record.layout() != 0 && record.layout() == layout_) return true;
  for (size_t i = 0; i < record.size(); ++i) {
    const std::u16string& name = record[i].name();
    const std::u16string& known = layout_names_[i];
    // Checked for every record: a plain byte comparison.
    if (name.size() != known.size() || std::memcmp(name.data(), known.data(), name.size() * sizeof(char16_t)) != 0)
      return false;
  }
  return true;
}

void dmp_recordset::prepare_layout(const udb_record& record) {
  // Until the match is complete no layout is known.
  slots_.clear();
  layout_names_.clear();
  if (schema_.size() > record.size()) {
    TK_TRACE(1, "Size of record is less than size of schema");
    match_fields(record);
  } else {
    TK_TRACE(1, "Size of schema is less or equal to the size of record");
    match_columns(record);
  }
  layout_names_.resize(record.size());
  for (size_t i = 0; i < record.size(); ++i) layout_names_[i].assign(record[i].name());
  layout_ = record.layout();

  next_head_.clear();
  db_.dialect().append_insert_head(next_head_, sql_dialect::insert_verb::insert, table_, slots_);
  // Rows of the open statement fill the columns its head names.
  if (next_head_ != head_) flush();
  head_.swap(next_head_);
  tail_.clear();
  db_.dialect().append_insert_tail(tail_, slots_);
  // What the type of each column asks of its values, found once a layout.
  checks_.clear();
  for (const sql_cell_slot& slot : slots_) {
    const std::u16string& type = slot.column->native_type;
    column_checks c;
    const uint32_t limit = sql_dialect::text_bytes_limit(type, char_bytes_);
    c.long_text = limit != 0;
    // A limit counts in UTF-8 bytes: those of a BLOB, and of a UTF-8 table.
    if (utf8_table_ || tk_wstring::to_lower(type).find(u"blob") != std::u16string::npos) c.text_bytes = limit;
    c.year = !type.empty() && tk_wstring::equal_no_case(sql_dialect::type_word(type), u"YEAR");
    c.time = sql_dialect::is_time_column(*slot.column);
    checks_.push_back(c);
  }
}

void dmp_recordset::match_columns(const udb_record& record) {
  const udb_names_map& names = db_.names_map();
  for (const auto& column : schema_.fields) {
    const std::u16string_view source = names.get_fn_mapped_name(table_, column->name, true);
    TK_TRACE(1, "Name=%s, original name=%s", column->name, source);
    const ptrdiff_t at = record.find_index(source);
    if (at < 0) {
      TK_TRACE(3, "Field %s not found", source);
      throw tk_exception(conformance_message, 0);
    }
    slots_.push_back({column.get(), static_cast<size_t>(at)});
  }
}

void dmp_recordset::match_fields(const udb_record& record) {
  const auto validator = db_.dialect().create_fn_validator(record);
  for (size_t i = 0; i < record.size(); ++i) {
    const std::u16string_view mapped = validator->get_mapped_name(record[i].name());
    TK_TRACE(1, "Name=%s, mapped name=%s", record[i].name(), mapped);
    const t_ftd* column = schema_.find(mapped);
    if (!column) {
      TK_TRACE(3, "Field %s not found", mapped);
      throw tk_exception(conformance_message, 0);
    }
    slots_.push_back({column, i});
  }
}

void dmp_recordset::fast_append(const udb_record& record) {
  TK_TRACE(1, "dmp_recordset::fast_append");
  const bool opening = buffer_.empty();
  if (opening) {
    TK_TRACE(1, "Initialize new query...");
    buffer_ += head_;
  }
  db_.dialect().append_row(buffer_, record, slots_, opening, false);
  TK_TRACE(1, "*** FAST INSERT MODE ***");
  if (buffer_.size() > max_statement_bytes) flush();
}

void dmp_recordset::slow_append(const udb_record& record, bool may_hold_big) {
  TK_TRACE(1, "dmp_recordset::slow_append");
  // Rows packed before the run left fast mode come first.
  flush();
  if (may_hold_big) {
    for (const sql_cell_slot& s : slots_) {
      if (is_big(record[s.cell])) {
        write_row_in_pieces(record);
        return;
      }
    }
  }
  row_.assign(head_);
  db_.dialect().append_row(row_, record, slots_, true, false);
  row_ += tail_;
  TK_TRACE(1, "Run SQL query: %s", std::string_view(row_).substr(0, 4096));
  db_.write_statement(row_);
}

bool dmp_recordset::is_big(const udb_field& cell) const {
  return cell.get_type() >= VT_I2 && cell.get_size() > sql_max_inline_field_size;
}

void dmp_recordset::write_row_in_pieces(const udb_record& record) {
  TK_TRACE(1, "Writing a row with values over %d bytes in pieces", sql_max_inline_field_size);
  db_.dialect().write_row_in_pieces(head_, record, slots_, [this](std::string_view piece) { db_.write(piece); });
  db_.write_statement(tail_);
}

std::string dmp_recordset::refusal(const udb_record& record, unsigned& error_number) const {
  for (size_t at = 0; at < slots_.size(); ++at) {
    const sql_cell_slot& slot = slots_[at];
    const udb_field& cell = record[slot.cell];
    const t_ftd& decimal = *slot.column;
    // Most cells: text read as UTF-8 for a text column that holds it (what
    // the text checks below find of it).
    if (decimal.vartype == VT_BSTR && !checks_[at].long_text && held_.holds_every_character() && cell.utf8() &&
        (decimal.size == 0 || decimal.size > sql_max_varchar_chars || cell.text_units() <= decimal.size))
      continue;
    if (decimal.vartype == VT_DECIMAL && decimal.precision > 0 && cell.get_type() != VT_EMPTY) {
      literal_.clear();
      db_.dialect().append_cell(literal_, cell, decimal, false);
      if (!decimal_fits(literal_, decimal.precision, decimal.scale)) {
        error_number = out_of_range_error;
        return "Out of range value for column '" + tk_unicode_to_utf8(decimal.name) + "' at row 1";
      }
    }
    // A number past an integer column's range (which the type mappings
    // chose; a YEAR takes 0 to 99 and 1901 to 2155); the column's own type
    // otherwise makes every value fit.
    if (cell.is_numeric() && cell.get_type() != VT_BOOL) {
      const double x = cell.to_double();
      const double year = std::trunc(x >= 0 ? x + 0.5 : x - 0.5);
      if (!ole_coerce::fits_integer(x, decimal.vartype) ||
          (checks_[at].year && !((year >= 0 && year <= 99) || (year >= 1901 && year <= 2155)))) {
        error_number = out_of_range_error;
        return "Out of range value for column '" + tk_unicode_to_utf8(decimal.name) + "' at row 1";
      }
    }
    // A number that means no date or time the column takes (a negative one,
    // one past the calendar or TIME's range), or a moment out of a
    // TIMESTAMP's range, in the live run's words.
    if (decimal.vartype == VT_DATE && cell.get_type() != VT_BOOL && (cell.is_numeric() || cell.get_type() == VT_DATE)) {
      ole_date moment;
      if (cell.get_type() == VT_DATE) {
        moment = cell.get_date();
      } else if (!db_.dialect().date_number_holds(cell.to_double(), decimal)) {
        // A duration past TIME's range is out of it; a number that is no
        // date is cut to nothing.
        const bool time = checks_[at].time;
        error_number = time ? out_of_range_error : data_truncated_error;
        return (time ? "Out of range value for column '" : "Data truncated for column '") +
               tk_unicode_to_utf8(decimal.name) + "' at row 1";
      } else {
        db_.dialect().date_of_number(cell.to_double(), moment);
      }
      if (!sql_dialect::moment_holds(moment, decimal)) {
        error_number = out_of_range_error;
        return "Out of range value for column '" + tk_unicode_to_utf8(decimal.name) + "' at row 1";
      }
    }
    if (cell.get_type() != VT_BSTR) continue;
    const t_ftd& column = *slot.column;
    // Text read as UTF-8 that the set holds whole needs no UTF-16 form.
    const auto utf8 = cell.utf8();
    if (const std::u16string* text = utf8 && held_.holds_all(*utf8) ? nullptr : &cell.text()) {
      if (const size_t bad = held_.first_unheld(*text); bad < text->size()) {
        // As the server shows it: up to six bytes from the character on, the
        // others written as \xNN, "..." when more follow.
        std::string bytes;
        tk_append_utf8(bytes, std::u16string_view(*text).substr(bad));
        std::string shown;
        for (size_t k = 0; k < bytes.size() && k < shown_bytes; ++k) {
          const auto b = static_cast<unsigned char>(bytes[k]);
          shown += b >= 0x20 && b < 0x7F ? std::string(1, static_cast<char>(b)) : tk_format("\\x%02X", b);
        }
        if (bytes.size() > shown_bytes) shown += "...";
        error_number = incorrect_string_error;
        return "Incorrect string value: '" + shown + "' for column `" + tk_unicode_to_utf8(db_.name()) + "`.`" +
               tk_unicode_to_utf8(table_) + "`.`" + tk_unicode_to_utf8(column.name) + "` at row 1";
      }
    }
    // A TEXT or BLOB type the type mappings give holds bytes: UTF-8 ones in
    // a BLOB and in a UTF-8 table (in another set the server judges).
    if (checks_[at].long_text) {
      const uint32_t limit = checks_[at].text_bytes;
      if (limit != 0 && cell.text_units() > limit / 4 &&
          (utf8 ? utf8->size() : tk_unicode_to_utf8(cell.text()).size()) > limit) {
        error_number = data_truncated_error;  // the live run's words
        return "Data truncated for column '" + tk_unicode_to_utf8(column.name) + "' at row 1";
      }
      continue;
    }
    // (A dump of rows alone does not know the length of the column a
    // file's text goes to: the table it is loaded into decides.)
    const bool bounded = column.vartype == VT_BSTR && column.size > 0 && column.size <= sql_max_varchar_chars &&
                         (own_columns_ || !column.native_type.empty());
    if (bounded && cell.text_units() > column.size &&
        (utf8 ? tk_utf8_counts(*utf8).characters : sql_dialect::characters(cell.text())) > column.size) {
      error_number = data_too_long_error;
      return "Data too long for column '" + tk_unicode_to_utf8(column.name) + "' at row 1";
    }
  }
  return {};
}
