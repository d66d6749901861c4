#include "wb_biff_sheet.h"

#include <algorithm>
#include <cstring>

#include "wb_biff_records.h"
#include "wb_biff_workbook.h"
#include "wb_error_list.h"

namespace {

// The cached result of a FORMULA record is a double unless its last two
// bytes are FFFF; then its first byte tells the kind.
constexpr std::uint8_t result_string = 0;
constexpr std::uint8_t result_boolean = 1;
constexpr std::uint8_t result_error = 2;
constexpr std::uint8_t result_empty_string = 3;

}  // namespace

wb_biff_sheet::wb_biff_sheet(const wb_biff_workbook& book, std::unique_ptr<wb_cfb_stream> stream,
                             std::uint64_t bof_offset)
    : book_(book),
      stream_(std::move(stream)),
      cursor_(*stream_),
      bof_offset_(bof_offset),
      biff8_(book.biff_version() == 8) {}

void wb_biff_sheet::fail() {
  error_ = wb_dao_error::unexpected_format;
  done_ = true;
  queue_.clear();
  queue_pos_ = 0;
}

void wb_biff_sheet::end_sheet() {
  done_ = true;
  // The rows of a file written in place while it was read are of two files.
  if (!stream_->unchanged()) fail();
}

bool wb_biff_sheet::rewind() {
  error_ = 0;
  uncalculated_ = 0;
  unreadable_ = 0;
  done_ = false;
  depth_ = 0;
  string_pending_ = false;
  queue_.clear();
  queue_pos_ = 0;
  text_arena_.clear();
  if (!cursor_.seek(bof_offset_) || !cursor_.next() || cursor_.type() != wb_biff_record::bof) {
    fail();
    return false;
  }
  depth_ = 1;
  return true;
}

bool wb_biff_sheet::next_cell(wb_raw_cell& cell) {
  while (queue_pos_ == queue_.size()) {
    if (done_ || !read_block()) return false;
  }
  const queued_cell& q = queue_[queue_pos_++];
  cell.row = q.row;
  cell.column = q.column;
  cell.kind = q.kind;
  cell.number_class = q.number_class;
  cell.number = q.number;
  cell.text_is_stable = q.stable;
  cell.text_omitted = 0;  // texts of BIFF records are short: always whole
  cell.text_buffer = nullptr;
  if (q.kind != wb_cell_kind::text)
    cell.text = {};
  else if (q.stable)
    cell.text = std::u16string_view(q.stable_text, q.text_length);
  else
    cell.text = std::u16string_view(text_arena_.data() + q.text_offset, q.text_length);
  return true;
}

bool wb_biff_sheet::read_block() {
  using namespace wb_biff_record;
  queue_.clear();
  queue_pos_ = 0;
  text_arena_.clear();
  bool block_has_cells = false;
  while (!done_) {
    if (!cursor_.next()) {
      // A sheet ends at its EOF record; the stream ending first is tolerated
      // unless a record was cut off.
      if (cursor_.failed()) {
        fail();
        return false;
      }
      end_sheet();
      break;
    }
    const std::uint16_t type = cursor_.type();
    if (type == bof) {
      ++depth_;
      continue;
    }
    if (type == eof) {
      if (--depth_ == 0) end_sheet();
      continue;
    }
    if (depth_ != 1) continue;
    // A formula's string result comes in the next STRING record; only the
    // records of shared and array formulas may stand between them.
    if (string_pending_ && type != string && type != shrfmla && type != array && type != table) string_pending_ = false;
    if (type == row) {
      if (block_has_cells && !string_pending_) break;
      continue;
    }
    if (type == dbcell) {
      if (block_has_cells && !string_pending_) break;
      continue;
    }
    const std::size_t before = queue_.size();
    read_cell_record();
    if (cursor_.short_read() || cursor_.failed()) {
      fail();
      return false;
    }
    if (queue_.size() != before) block_has_cells = true;
    if ((queue_.size() >= max_block_cells || text_arena_.size() >= max_block_text_units) && !string_pending_) break;
  }
  // Writers store a block's rows ascending; sort the rare block that is not.
  const bool sorted = std::is_sorted(queue_.begin(), queue_.end(),
                                     [](const queued_cell& a, const queued_cell& b) { return a.row < b.row; });
  if (!sorted)
    std::stable_sort(queue_.begin(), queue_.end(),
                     [](const queued_cell& a, const queued_cell& b) { return a.row < b.row; });
  return true;
}

void wb_biff_sheet::push_number(std::uint32_t row, std::uint32_t column, std::uint16_t xf, double value) {
  // NaN came out as 0, an infinity as the text 'inf'.
  if (!wb_value_of_kind(wb_cell_kind::number, value)) {
    ++unreadable_;
    return;
  }
  queue_.push_back({row, column, wb_cell_kind::number, book_.xf_class(xf), false, value, nullptr, 0, 0});
}

void wb_biff_sheet::push_plain(std::uint32_t row, std::uint32_t column, wb_cell_kind kind, double value) {
  queue_.push_back({row, column, kind, wb_number_class::general, false, value, nullptr, 0, 0});
}

void wb_biff_sheet::push_boolean(std::uint32_t row, std::uint32_t column, std::uint8_t value) {
  if (!wb_value_of_kind(wb_cell_kind::boolean, value)) {
    ++unreadable_;
    return;
  }
  push_plain(row, column, wb_cell_kind::boolean, value);
}

void wb_biff_sheet::push_text(std::uint32_t row, std::uint32_t column, std::size_t offset) {
  const std::size_t length = text_arena_.size() - offset;
  if (length == 0) return;  // an empty text is no value
  queue_.push_back({row, column, wb_cell_kind::text, wb_number_class::general, false, 0.0, nullptr,
                    static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
}

std::size_t wb_biff_sheet::read_text(bool wide_count) {
  const std::size_t offset = text_arena_.size();
  const std::size_t count = wide_count ? cursor_.u16() : cursor_.u8();
  if (biff8_) {
    const bool two_byte = (cursor_.u8() & 0x01) != 0;
    text_arena_.resize(offset + count);
    cursor_.chars(count, two_byte, text_arena_.data() + offset);
  } else {
    bytes_.resize(count);
    cursor_.take(bytes_.data(), count);
    book_.text_codepage().decode(bytes_.data(), count, text_arena_);
  }
  return offset;
}

void wb_biff_sheet::read_cell_record() {
  using namespace wb_biff_record;
  const std::uint16_t type = cursor_.type();
  switch (type) {
    case number: {
      const std::uint16_t r = cursor_.u16(), c = cursor_.u16(), xf_index = cursor_.u16();
      push_number(r, c, xf_index, cursor_.f64());
      break;
    }
    case rk: {
      const std::uint16_t r = cursor_.u16(), c = cursor_.u16(), xf_index = cursor_.u16();
      push_number(r, c, xf_index, wb_biff_decode_rk(cursor_.u32()));
      break;
    }
    case mulrk: {
      // Row, first column, then (XF, RK) pairs, then the last column.
      const std::uint16_t r = cursor_.u16(), first = cursor_.u16();
      if (cursor_.length() < 6) break;
      const std::size_t count = (cursor_.length() - 6) / 6;
      for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t xf_index = cursor_.u16();
        push_number(r, static_cast<std::uint32_t>(first + i), xf_index, wb_biff_decode_rk(cursor_.u32()));
      }
      break;
    }
    case labelsst: {
      const std::uint16_t r = cursor_.u16(), c = cursor_.u16();
      cursor_.u16();  // XF
      const std::uint32_t index = cursor_.u32();
      std::u16string_view text;
      // An index past the table reads as no value, as does an empty string.
      if (!book_.shared_strings().get(index, text))
        ++unreadable_;
      else if (!text.empty())
        queue_.push_back({r, c, wb_cell_kind::text, wb_number_class::general, true, 0.0, text.data(), 0,
                          static_cast<std::uint32_t>(text.size())});
      break;
    }
    case label:
    case rstring: {
      const std::uint16_t r = cursor_.u16(), c = cursor_.u16();
      cursor_.u16();                     // XF
      push_text(r, c, read_text(true));  // rich-text runs after the text are ignored
      break;
    }
    case boolerr: {
      const std::uint16_t r = cursor_.u16(), c = cursor_.u16();
      cursor_.u16();  // XF
      const std::uint8_t value = cursor_.u8();
      const bool is_error = cursor_.u8() != 0;
      if (is_error)
        push_plain(r, c, wb_cell_kind::error, value);
      else
        push_boolean(r, c, value);
      break;
    }
    case formula: {
      const std::uint16_t r = cursor_.u16(), c = cursor_.u16(), xf_index = cursor_.u16();
      unsigned char result[8];
      cursor_.take(result, sizeof result);
      if (result[6] != 0xFF || result[7] != 0xFF) {
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i) bits = (bits << 8) | result[i];
        double value;
        std::memcpy(&value, &bits, sizeof value);
        push_number(r, c, xf_index, value);
        break;
      }
      switch (result[0]) {
        case result_string:
          string_pending_ = true;
          pending_row_ = r;
          pending_column_ = c;
          break;
        case result_boolean:
          push_boolean(r, c, result[2]);
          break;
        case result_error:
          push_plain(r, c, wb_cell_kind::error, result[2]);
          break;
        case result_empty_string:
          // No value; in a file no spreadsheet program saved, no result.
          if (biff8_ && !book_.calculated()) ++uncalculated_;
          break;
        default:
          // A writing program that cannot calculate leaves no result.
          ++uncalculated_;
          break;
      }
      break;
    }
    case string:
      if (string_pending_) {
        string_pending_ = false;
        push_text(pending_row_, pending_column_, read_text(true));
      }
      break;
    default:
      // BLANK and MULBLANK carry formatting only; other records carry no cells.
      break;
  }
}
