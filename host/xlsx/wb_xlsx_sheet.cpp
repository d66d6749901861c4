#include "wb_xlsx_sheet.h"

#include <cstring>
#include <limits>

#include "wb_ole_date.h"
#include "wb_shared_strings.h"
#include "wb_text.h"
#include "wb_value_text.h"
#include "wb_xlsx_styles.h"

namespace {

// Reads the decimal digits at the start of the NUL-terminated `s` the way
// std::from_chars does: false without a digit or when the number does not
// fit; stops at the first other character.
template <class T>
bool leading_number(const char* s, T& value) {
  // Up to digits10 digits cannot overflow; longer numbers take the checks.
  constexpr int safe = std::numeric_limits<T>::digits10;
  T v = 0;
  int n = 0;
  for (; n < safe && static_cast<unsigned char>(s[n] - '0') <= 9; ++n)
    v = static_cast<T>(v * 10 + static_cast<T>(s[n] - '0'));
  if (n == 0) return false;
  for (const char* p = s + n; static_cast<unsigned char>(*p - '0') <= 9; ++p)
    if (__builtin_mul_overflow(v, T{10}, &v) || __builtin_add_overflow(v, static_cast<T>(*p - '0'), &v)) return false;
  value = v;
  return true;
}

// Parses a reference such as "B12" into 0-based column and row. A reference
// without row digits keeps `row`; false when there are no column letters.
bool parse_reference(const char* r, std::uint32_t& column, std::uint32_t& row) {
  std::uint32_t col = 0;
  int letters = 0;
  for (; *r != '\0'; ++r, ++letters) {
    char c = *r;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') break;
    if (letters == 3) return false;
    col = col * 26 + static_cast<std::uint32_t>(c - 'A' + 1);
  }
  if (letters == 0) return false;
  column = col - 1;
  if (*r != '\0') {
    std::uint32_t v = 0;
    if (!leading_number(r, v) || v == 0) return false;
    row = v - 1;
  }
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

wb_xlsx_sheet::wb_xlsx_sheet(std::unique_ptr<wb_byte_reader> reader, const wb_shared_strings* shared_strings,
                             const wb_xlsx_styles* styles, bool date1904)
    : reader_(std::move(reader)),
      parser_(*reader_, *this),
      scanner_(*reader_, *this),
      shared_strings_(shared_strings),
      styles_(styles),
      date1904_(date1904) {
  queue_.reserve(4096);
  text_arena_.reserve(wb_xml_parser::chunk_size);
  v_.reserve(64);
}

void wb_xlsx_sheet::reset_state() {
  queue_.clear();
  queue_pos_ = 0;
  text_arena_.clear();
  in_sheet_data_ = in_cell_ = in_inline_ = collecting_v_ = collecting_t_ = has_v_ = cell_valid_ = false;
  phonetic_depth_ = 0;
  row_ = -1;
  next_column_ = 0;
}

bool wb_xlsx_sheet::rewind() {
  reset_state();
  error_ = 0;
  scanning_ = false;
  if (!parser_.restart()) {
    error_ = parser_.error();
    return false;
  }
  return true;
}

bool wb_xlsx_sheet::next_cell(wb_raw_cell& cell) {
  if (queue_pos_ == queue_.size()) {
    queue_.clear();
    queue_pos_ = 0;
    text_arena_.clear();
    while (queue_.empty() && error_ == 0 && !at_end()) parse_chunk();
    if (queue_.empty() || error_ != 0) return false;
  }
  const queued_cell& q = queue_[queue_pos_++];
  cell.row = q.row;
  cell.column = q.column;
  cell.kind = q.kind;
  cell.number_class = q.number_class;
  cell.number = q.number;
  cell.text_is_stable = q.stable;
  if (q.kind == wb_cell_kind::text)
    cell.text = std::u16string_view(q.stable ? q.stable_text : text_arena_.data() + q.text_offset, q.text_length);
  else
    cell.text = {};
  return true;
}

void wb_xlsx_sheet::parse_chunk() {
  if (!scanning_) {
    parser_.parse_chunk();
    error_ = parser_.error();
    return;
  }
  scanner_.parse_chunk();
  if (scanner_.declined()) {
    // Not plain UTF-8: expat reads the part (nothing was reported yet).
    scanning_ = false;
    reset_state();
    if (!parser_.restart()) error_ = parser_.error();
    return;
  }
  error_ = scanner_.error();
}

void wb_xlsx_sheet::on_start(wb_xml_ns ns, std::string_view local, const char** attributes) {
  if (ns != wb_xml_ns::main) return;
  if (in_cell_) {
    if (local == "v") {
      collecting_v_ = true;
      v_.clear();
    } else if (local == "is") {
      in_inline_ = true;
    } else if (local == "rPh") {
      ++phonetic_depth_;
    } else if (local == "t") {
      collecting_t_ = in_inline_ && phonetic_depth_ == 0;
    }
    return;
  }
  if (!in_sheet_data_) {
    if (local == "sheetData") in_sheet_data_ = true;
    return;
  }
  if (local == "c") {
    start_cell(attributes);
  } else if (local == "row") {
    const char* r = wb_xml_parser::attribute(attributes, "r");
    std::uint32_t v = 0;
    if (r != nullptr && leading_number(r, v) && v > 0)
      row_ = static_cast<std::int64_t>(v) - 1;
    else
      ++row_;
    next_column_ = 0;
  }
}

void wb_xlsx_sheet::start_cell(const char** attributes) {
  in_cell_ = true;
  has_v_ = false;
  in_inline_ = false;
  phonetic_depth_ = 0;
  cell_style_ = 0;
  cell_type_ = cell_type::number;
  t_.clear();
  v_.clear();
  // Rows and columns counted on past the sheet's last stay past it: they must
  // not wrap round to the top.
  std::uint32_t row = row_ < 0 ? 0 : row_ >= wb_max_rows ? wb_max_rows : static_cast<std::uint32_t>(row_);
  std::uint32_t column = next_column_;
  for (const char** a = attributes; *a != nullptr; a += 2) {
    const char* name = a[0];
    const char* value = a[1];
    if (name[0] == '\0' || name[1] != '\0') continue;  // only one-letter attributes matter
    switch (name[0]) {
      case 'r': {
        std::uint32_t c = column, r = row;
        if (parse_reference(value, c, r)) {
          column = c;
          row = r;
        }
        break;
      }
      case 's':
        leading_number(value, cell_style_);
        break;
      case 't':
        if (std::strcmp(value, "s") == 0)
          cell_type_ = cell_type::shared;
        else if (std::strcmp(value, "str") == 0)
          cell_type_ = cell_type::formula_string;
        else if (std::strcmp(value, "inlineStr") == 0)
          cell_type_ = cell_type::inline_string;
        else if (std::strcmp(value, "b") == 0)
          cell_type_ = cell_type::boolean;
        else if (std::strcmp(value, "e") == 0)
          cell_type_ = cell_type::error;
        else if (std::strcmp(value, "d") == 0)
          cell_type_ = cell_type::iso_date;
        break;
      default:
        break;
    }
  }
  // A reference that names a different row moves the row on, so that
  // following cells without references continue from there.
  row_ = row;
  cell_row_ = row;
  cell_column_ = column;
  next_column_ = column < wb_max_columns ? column + 1 : wb_max_columns;
  cell_valid_ = row < wb_max_rows && column < wb_max_columns;
}

void wb_xlsx_sheet::on_end(wb_xml_ns ns, std::string_view local) {
  if (ns != wb_xml_ns::main) return;
  if (in_cell_) {
    if (local == "v") {
      collecting_v_ = false;
      has_v_ = true;
    } else if (local == "t") {
      collecting_t_ = false;
    } else if (local == "rPh") {
      if (phonetic_depth_ > 0) --phonetic_depth_;
    } else if (local == "is") {
      in_inline_ = false;
    } else if (local == "c") {
      in_cell_ = false;
      collecting_v_ = collecting_t_ = false;
      if (cell_valid_) finish_cell();
    }
    return;
  }
  if (local == "sheetData") in_sheet_data_ = false;
}

void wb_xlsx_sheet::on_text(std::string_view text) {
  if (collecting_v_)
    v_.append(text);
  else if (collecting_t_)
    t_.append(text);
}

void wb_xlsx_sheet::queue_text(queued_cell& q, std::string_view utf8) {
  const std::size_t offset = text_arena_.size();
  wb_append_utf16(text_arena_, utf8, true);
  q.text_offset = static_cast<std::uint32_t>(offset);
  q.text_length = static_cast<std::uint32_t>(text_arena_.size() - offset);
  q.stable = false;
  q.kind = q.text_length == 0 ? wb_cell_kind::empty : wb_cell_kind::text;
}

void wb_xlsx_sheet::finish_cell() {
  queued_cell q{cell_row_, cell_column_, wb_cell_kind::empty, wb_number_class::general, false, 0.0, nullptr, 0, 0};
  const std::string_view v = trim(v_);
  switch (cell_type_) {
    case cell_type::number:
      if (has_v_ && !v.empty()) {
        double d = 0;
        if (wb_parse_number(v, d)) {
          q.kind = wb_cell_kind::number;
          q.number = d;
          q.number_class = styles_ ? styles_->number_class(cell_style_) : wb_number_class::general;
        }
      }
      break;
    case cell_type::shared: {
      std::size_t index = 0;
      std::u16string_view text;
      if (has_v_ && leading_number(v.data(), index) && shared_strings_ != nullptr &&
          shared_strings_->get(index, text) && !text.empty()) {
        q.kind = wb_cell_kind::text;
        q.stable = true;
        q.stable_text = text.data();
        q.text_length = static_cast<std::uint32_t>(text.size());
      }
      break;
    }
    case cell_type::formula_string:
      if (has_v_) queue_text(q, v_);
      break;
    case cell_type::inline_string:
      queue_text(q, t_);
      break;
    case cell_type::boolean:
      if (has_v_ && (v == "1" || v == "true" || v == "0" || v == "false")) {
        q.kind = wb_cell_kind::boolean;
        q.number = (v == "1" || v == "true") ? 1.0 : 0.0;
      }
      break;
    case cell_type::error:
      q.kind = wb_cell_kind::error;
      break;
    case cell_type::iso_date: {
      double ole = 0;
      if (has_v_ && wb_parse_iso_date(v, ole)) {
        q.kind = wb_cell_kind::number;
        q.number = wb_ole_to_serial(ole, date1904_);
        const wb_number_class c = styles_ ? styles_->number_class(cell_style_) : wb_number_class::general;
        q.number_class = wb_is_date_class(c) ? c : wb_number_class::date_time;
      }
      break;
    }
  }
  // Cells without a value matter to nobody above: leave them out.
  if (q.kind != wb_cell_kind::empty) queue_.push_back(q);
}
