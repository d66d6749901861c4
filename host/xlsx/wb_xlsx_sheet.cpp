#include "wb_xlsx_sheet.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "wb_error_list.h"
#include "wb_ole_date.h"
#include "wb_shared_strings.h"
#include "wb_text.h"
#include "wb_value_text.h"
#include "wb_xlsx_styles.h"

namespace {

// UTF-8 bytes of a long text converted at a time.
constexpr std::size_t slice_bytes = 64 * 1024;

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
                             const wb_xlsx_styles* styles, bool date1904, std::size_t spill_memory)
    : reader_(std::move(reader)),
      parser_(*reader_, *this),
      scanner_(*reader_, *this),
      spill_(spill_memory),
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
  release_long_texts();
  t_.clear();
  end_long_text();
  in_sheet_data_ = in_cell_ = in_inline_ = collecting_v_ = collecting_t_ = has_v_ = cell_valid_ = false;
  phonetic_depth_ = 0;
  row_ = -1;
  next_column_ = 0;
  note_pos_ = 0;
  noted_cell_ = notes_done_ && !notes_.empty() ? notes_[0].cell : no_note;
  cell_ordinal_ = 0;
  expected_units_ = 0;
  spill_bytes_ = wb_long_text_units;
  recorded_cells_ = 0;
  recorded_row_ = 0;
  replay_done_ = false;
}

void wb_xlsx_sheet::release_long_texts() {
  // Buffers no larger than a measured text are kept for the next long
  // texts; larger ones (the reader did not take them) go.
  const std::size_t keep = std::max(text_limit_, wb_long_text_units);
  for (std::size_t i = 0; i < long_texts_used_; ++i)
    if (long_texts_[i].capacity() > keep) std::u16string().swap(long_texts_[i]);
  long_texts_used_ = 0;
}

bool wb_xlsx_sheet::rewind() {
  reset_state();
  error_ = 0;
  scanning_ = false;
  first_read_ = false;
  // Whatever the first read saw, it saw in document order: its notes serve
  // every later read.
  notes_done_ = true;
  noted_cell_ = notes_.empty() ? no_note : notes_[0].cell;
  if (recording_) {
    recording_ = false;
    if (!recorded_) spill_.clear();
  }
  if (recorded_) {
    replaying_ = true;
    if (!spill_.start_reading()) {
      error_ = spill_.error();
      return false;
    }
    start_replayed_cell();
    return true;
  }
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
    release_long_texts();
    while (queue_.empty() && error_ == 0 && !at_end()) parse_chunk();
    if (queue_.empty() || error_ != 0) return false;
  }
  const queued_cell& q = queue_[queue_pos_++];
  cell.row = q.row;
  cell.column = q.column;
  cell.kind = q.kind;
  cell.number_class = q.number_class;
  cell.number = q.number;
  cell.text_is_stable = false;
  cell.text_omitted = q.text_omitted;
  cell.text_buffer = nullptr;
  if (q.kind != wb_cell_kind::text) {
    cell.text = {};
  } else if (q.long_text >= 0) {
    std::u16string& buffer = long_texts_[static_cast<std::size_t>(q.long_text)];
    cell.text = buffer;
    // A cut text is no value to take over.
    if (q.text_omitted == 0) cell.text_buffer = &buffer;
  } else {
    cell.text = std::u16string_view(text_arena_.data() + q.text_offset, q.text_length);
  }
  return true;
}

void wb_xlsx_sheet::parse_chunk() {
  if (replaying_) {
    replay_chunk();
    return;
  }
  if (!scanning_) {
    parser_.parse_chunk();
    error_ = parser_.error();
  } else {
    scanner_.parse_chunk();
    if (scanner_.declined()) {
      // Not plain UTF-8: expat reads the part (nothing was reported yet).
      scanning_ = false;
      reset_state();
      spill_.clear();
      unreadable_ = 0;
      uncalculated_ = 0;
      if (!parser_.restart()) error_ = parser_.error();
      return;
    }
    error_ = scanner_.error();
  }
  if (recording_ && error_ == 0) {
    if (at_end()) spill_.flush();
    if (spill_.error() != 0)
      error_ = spill_.error();
    else if (at_end())
      recorded_ = true;
  }
}

void wb_xlsx_sheet::record_cell(std::uint8_t tag) {
  spill_.put_byte(tag);
  const std::int64_t delta = std::int64_t{cell_row_} - std::int64_t{recorded_row_};
  spill_.put_varint((static_cast<std::uint64_t>(delta) << 1) ^ static_cast<std::uint64_t>(delta >> 63));
  spill_.put_varint(cell_column_);
  recorded_row_ = cell_row_;
  ++recorded_cells_;
}

void wb_xlsx_sheet::start_replayed_cell() {
  restart_text();
  if (expected_units_ != 0) {
    expected_units_ = 0;
    spill_bytes_ = wb_long_text_units;
  }
  if (note_pos_ < notes_.size() && notes_[note_pos_].recorded == recorded_cells_) {
    expected_units_ = notes_[note_pos_].units;
    spill_bytes_ = 0;
    ++note_pos_;
  }
}

void wb_xlsx_sheet::replay_chunk() {
  // Feeds `length` recorded bytes of text to the cell's text.
  const auto feed = [this](std::uint64_t length) {
    while (length > 0) {
      const std::string_view piece = spill_.take(static_cast<std::size_t>(std::min<std::uint64_t>(length, SIZE_MAX)));
      if (piece.empty()) return false;
      collect_text(piece);
      length -= piece.size();
    }
    return true;
  };
  const auto fail = [this] {
    error_ = spill_.error() != 0 ? spill_.error() : wb_dao_error::unexpected_format;
    replay_done_ = true;
  };
  std::size_t cells = 0;
  while (cells < queue_.capacity() && text_arena_.size() < wb_xml_parser::chunk_size) {
    // The longest record before its text: a tag and three varints.
    const std::size_t available = spill_.ensure(32);
    if (available == 0) {
      if (spill_.error() != 0) error_ = spill_.error();
      replay_done_ = true;
      return;
    }
    const auto* const start = reinterpret_cast<const std::uint8_t*>(spill_.data());
    const std::uint8_t* p = start;
    const std::uint8_t* const e = start + available;
    const auto varint = [&p, e](std::uint64_t& v) {
      v = 0;
      for (unsigned shift = 0; p < e && shift < 64; shift += 7) {
        const std::uint8_t b = *p++;
        v |= std::uint64_t{b & 0x7Fu} << shift;
        if (b < 0x80) return true;
      }
      return false;
    };
    const std::uint8_t tag = *p++;
    std::uint64_t length = 0;
    if ((tag & 15) == tag_restart) {
      spill_.skip(1);
      restart_text();
      continue;
    }
    if ((tag & 15) == tag_piece) {
      if (!varint(length)) return fail();
      spill_.skip(static_cast<std::size_t>(p - start));
      if (!feed(length)) return fail();
      continue;
    }
    std::uint64_t delta = 0, column = 0;
    if (!varint(delta) || !varint(column)) return fail();
    const auto row =
        static_cast<std::uint32_t>(recorded_row_ + static_cast<std::uint32_t>((delta >> 1) ^ (0 - (delta & 1))));
    queued_cell q{row, static_cast<std::uint32_t>(column), wb_cell_kind::empty, wb_number_class::general, 0.0, 0, -1,
                  0};
    switch (tag & 15) {
      case tag_number:
        if (e - p < 8) return fail();
        std::memcpy(&q.number, p, sizeof q.number);
        p += sizeof q.number;
        q.kind = wb_cell_kind::number;
        q.number_class = static_cast<wb_number_class>(tag >> 4);
        break;
      case tag_boolean:
        q.kind = wb_cell_kind::boolean;
        q.number = (tag >> 4) != 0 ? 1.0 : 0.0;
        break;
      case tag_error:
        q.kind = wb_cell_kind::error;
        break;
      case tag_shared: {
        std::uint64_t index = 0;
        if (!varint(index)) return fail();
        queue_shared(q, static_cast<std::size_t>(index));
        break;
      }
      case tag_text:
        if (!varint(length)) return fail();
        break;
      default:
        return fail();
    }
    spill_.skip(static_cast<std::size_t>(p - start));
    if ((tag & 15) == tag_text) {
      if (!feed(length)) return fail();
      queue_text(q);
    }
    if (q.kind != wb_cell_kind::empty) {
      queue_.push_back(q);
      ++cells;
    }
    recorded_row_ = row;
    ++recorded_cells_;
    start_replayed_cell();
  }
}

void wb_xlsx_sheet::on_start(wb_xml_ns ns, std::string_view local, const char** attributes) {
  if (ns != wb_xml_ns::main) return;
  if (in_cell_) {
    if (local == "v") {
      collecting_v_ = true;
      v_.clear();
      if (cell_type_ == cell_type::formula_string) restart_text();  // the last <v> counts
    } else if (local == "is") {
      in_inline_ = true;
    } else if (local == "f") {
      has_f_ = true;
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
  has_f_ = false;
  in_inline_ = false;
  phonetic_depth_ = 0;
  cell_style_ = 0;
  cell_type_ = cell_type::number;
  restart_text();
  v_.clear();
  const std::uint64_t ordinal = cell_ordinal_++;
  if (expected_units_ != 0) {
    expected_units_ = 0;
    spill_bytes_ = wb_long_text_units;
  }
  // Every read starts the same cells in the same order as the first.
  if (ordinal == noted_cell_) {
    expected_units_ = notes_[note_pos_].units;
    spill_bytes_ = 0;
    ++note_pos_;
    noted_cell_ = note_pos_ < notes_.size() ? notes_[note_pos_].cell : no_note;
  }
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
  // Cells below the last row are delivered (with a row past it), so that
  // the first pass can tell that values were left out.
  cell_valid_ = column < wb_max_columns;
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
  if (collecting_v_) {
    if (cell_type_ == cell_type::formula_string)
      collect_text(text);
    else
      v_.append(text);
  } else if (collecting_t_ && cell_type_ == cell_type::inline_string) {
    collect_text(text);
  }
}

void wb_xlsx_sheet::end_long_text() {
  text_is_long_ = false;
  spill_bytes_ = expected_units_ != 0 ? 0 : wb_long_text_units;
  long_text_units_ = 0;
  long_text_.clear();
  if (long_text_.capacity() > std::max(text_limit_, wb_long_text_units)) std::u16string().swap(long_text_);
}

void wb_xlsx_sheet::continue_long_text() {
  if (!text_is_long_) start_long_text();
  if (t_.size() >= slice_bytes) convert_long_text(false);
}

void wb_xlsx_sheet::start_long_text() {
  text_is_long_ = true;
  spill_bytes_ = 0;
  long_text_units_ = 0;
  long_text_.clear();
  // Sized once when the first read noted the length: a buffer that grows
  // on its own would hold up to twice the text and copy it at each step.
  const std::size_t want = text_limit_ != 0 ? std::min(expected_units_, text_limit_) : expected_units_;
  if (long_text_.capacity() < want || long_text_.capacity() > std::max(text_limit_, wb_long_text_units))
    std::u16string().swap(long_text_);
  if (want != 0) long_text_.reserve(want);
  if (!slice_) slice_ = std::make_unique<char16_t[]>(slice_bytes);
}

void wb_xlsx_sheet::convert_long_text(bool final) {
  std::size_t pos = 0;
  while (pos < t_.size()) {
    const std::size_t left = t_.size() - pos;
    const std::string_view piece(t_.data() + pos, std::min(left, slice_bytes));
    std::size_t consumed = piece.size();
    const std::size_t n = final && piece.size() == left ? wb_utf8_to_utf16(piece, slice_.get(), true)
                                                        : wb_utf8_to_utf16_partial(piece, slice_.get(), true, consumed);
    if (consumed == 0) break;  // only a cut-off tail is left
    long_text_units_ += n;
    // Under a text limit the rest is only counted.
    const std::size_t room = text_limit_ == 0 ? n : text_limit_ - std::min(text_limit_, long_text_.size());
    long_text_.append(slice_.get(), std::min(n, room));
    pos += consumed;
  }
  if (recording_ && pos != 0) {
    spill_.put_byte(tag_piece);
    record_bytes(std::string_view(t_.data(), pos));
  }
  t_.erase(0, pos);
}

bool wb_xlsx_sheet::queue_shared(queued_cell& q, std::size_t index) {
  std::string_view utf8;
  if (shared_strings_ == nullptr || !shared_strings_->get(index, utf8) || utf8.empty()) return false;
  const std::size_t offset = text_arena_.size();
  wb_append_utf16(text_arena_, utf8, true);
  if (text_arena_.size() == offset) return false;
  q.kind = wb_cell_kind::text;
  q.text_offset = static_cast<std::uint32_t>(offset);
  q.text_length = text_arena_.size() - offset;
  return true;
}

void wb_xlsx_sheet::queue_text(queued_cell& q) {
  if (!text_is_long_) {
    const std::size_t offset = text_arena_.size();
    wb_append_utf16(text_arena_, t_, true);
    q.text_offset = static_cast<std::uint32_t>(offset);
    q.text_length = text_arena_.size() - offset;
    q.kind = q.text_length == 0 ? wb_cell_kind::empty : wb_cell_kind::text;
    return;
  }
  convert_long_text(true);
  if (!notes_done_) notes_.push_back(long_text_note{cell_ordinal_ - 1, recorded_cells_, long_text_units_});
  if (long_texts_used_ == long_texts_.size()) long_texts_.emplace_back();
  // The slot's old buffer serves the next long text.
  long_texts_[long_texts_used_].swap(long_text_);
  q.long_text = static_cast<std::int32_t>(long_texts_used_);
  q.text_length = long_texts_[long_texts_used_].size();
  q.text_omitted = long_text_units_ - q.text_length;
  q.kind = long_text_units_ == 0 ? wb_cell_kind::empty : wb_cell_kind::text;
  ++long_texts_used_;
  end_long_text();
}

void wb_xlsx_sheet::queue_and_record_text(queued_cell& q) {
  queue_text(q);
  if (!recording_) return;
  // A long text went to the record in pieces as it was converted.
  record_cell(tag_text);
  record_bytes(t_);
}

void wb_xlsx_sheet::finish_cell() {
  queued_cell q{cell_row_, cell_column_, wb_cell_kind::empty, wb_number_class::general, 0.0, 0, -1, 0};
  const std::string_view v = trim(v_);
  // A formula without a result (a writing program that cannot calculate
  // leaves it out) reads as empty; an empty text result is a result, an
  // error element without its code formatting. In a workbook that asks to
  // be calculated when opened, a result of 0 is the place-holder such
  // programs put in.
  if (has_f_ && first_read_ && cell_type_ != cell_type::error &&
      (!has_v_ || (cell_type_ != cell_type::formula_string &&
                   (v.empty() || (results_stale_ && cell_type_ == cell_type::number && v == "0")))))
    ++uncalculated_;
  switch (cell_type_) {
    case cell_type::number:
      if (has_v_ && !v.empty()) {
        double d = 0;
        if (wb_parse_number(v, d)) {
          q.kind = wb_cell_kind::number;
          q.number = d;
          q.number_class = styles_ ? styles_->number_class(cell_style_) : wb_number_class::general;
        } else {
          note_unreadable();
        }
      }
      break;
    case cell_type::shared: {
      std::size_t index = 0;
      const bool known =
          has_v_ && leading_number(v.data(), index) && shared_strings_ != nullptr && index < shared_strings_->size();
      if (has_v_ && !v.empty() && !known) note_unreadable();
      if (known && queue_shared(q, index) && recording_) {
        record_cell(tag_shared);
        spill_.put_varint(index);
      }
      break;
    }
    case cell_type::formula_string:
    case cell_type::inline_string:
      if (cell_type_ == cell_type::formula_string && !has_v_) break;
      queue_and_record_text(q);
      break;
    case cell_type::boolean:
      if (has_v_ && (v == "1" || v == "true" || v == "0" || v == "false")) {
        q.kind = wb_cell_kind::boolean;
        q.number = (v == "1" || v == "true") ? 1.0 : 0.0;
      } else if (has_v_ && !v.empty()) {
        note_unreadable();
      }
      break;
    case cell_type::error:
      // An error element without its code is formatting, not a value.
      if (has_v_ && !v.empty()) q.kind = wb_cell_kind::error;
      break;
    case cell_type::iso_date: {
      double ole = 0;
      const bool time_only = v.size() >= 3 && v[2] == ':';
      if (has_v_ && wb_parse_iso_date(v, ole)) {
        if (time_only || wb_has_serial(ole, date1904_)) {
          q.kind = wb_cell_kind::number;
          q.number = wb_ole_to_serial(ole, date1904_);
          const wb_number_class c = styles_ ? styles_->number_class(cell_style_) : wb_number_class::general;
          q.number_class = wb_is_date_class(c) ? c : wb_number_class::date_time;
          break;
        }
        // A date no serial of the date system reads back as (1899-12-31
        // and before in the 1900 system, a day whose serial would read as a
        // time or a number) would come out as another day, a time or a
        // number: it stays the text it is.
        t_.assign(v);
        queue_and_record_text(q);
      } else if (has_v_ && !v.empty()) {
        note_unreadable();
      }
      break;
    }
  }
  if (recording_ && cell_type_ != cell_type::shared && cell_type_ != cell_type::formula_string &&
      cell_type_ != cell_type::inline_string) {
    if (q.kind == wb_cell_kind::number) {
      record_cell(static_cast<std::uint8_t>(tag_number | static_cast<unsigned>(q.number_class) << 4));
      spill_.put(&q.number, sizeof q.number);
    } else if (q.kind == wb_cell_kind::boolean) {
      record_cell(static_cast<std::uint8_t>(tag_boolean | (q.number != 0 ? 16 : 0)));
    } else if (q.kind == wb_cell_kind::error) {
      record_cell(tag_error);
    }
  }
  // Cells without a value matter to nobody above: leave them out.
  if (q.kind != wb_cell_kind::empty) queue_.push_back(q);
}
