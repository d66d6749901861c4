#include "wb_biff_early_sheet.h"

#include <cstring>

#include "wb_biff_early_workbook.h"
#include "wb_biff_records.h"
#include "wb_error_list.h"

namespace {

// The cached result of a FORMULA record is a double unless its last two
// bytes are FFFF; then its first byte tells the kind.
constexpr std::uint8_t result_string = 0;
constexpr std::uint8_t result_boolean = 1;
constexpr std::uint8_t result_error = 2;

// BIFF2 cell attributes: the XF index in the low six bits of the first
// byte (63: see the IXFE record before the cell), the number format in the
// low six bits of the second.
constexpr std::uint8_t attribute_index_mask = 0x3F;
constexpr std::uint16_t xf_in_ixfe = 63;

bool is_bof(std::uint16_t type) {
  using namespace wb_biff_record;
  return type == bof_biff2 || type == bof_biff3 || type == bof_biff4 || type == bof;
}

}  // namespace

wb_biff_early_sheet::wb_biff_early_sheet(const wb_biff_early_workbook& book, std::unique_ptr<wb_cfb_stream> stream,
                                         std::uint64_t bof_offset)
    : book_(book), stream_(std::move(stream)), cursor_(*stream_), bof_offset_(bof_offset) {}

void wb_biff_early_sheet::fail() {
  error_ = wb_dao_error::unexpected_format;
  done_ = true;
}

bool wb_biff_early_sheet::readable(const wb_raw_cell& cell) {
  const bool ok = wb_value_of_kind(cell.kind, cell.number);
  if (!ok) ++unreadable_;
  return ok;
}

void wb_biff_early_sheet::end_sheet() {
  done_ = true;
  // The rows of a file written in place while it was read are of two files.
  if (!stream_->unchanged()) fail();
}

bool wb_biff_early_sheet::rewind() {
  error_ = 0;
  unreadable_ = 0;
  done_ = false;
  string_pending_ = false;
  formats_.clear();
  xf_formats_.clear();
  ixfe_ = 0;
  if (!cursor_.seek(bof_offset_) || !cursor_.next() || !is_bof(cursor_.type())) {
    fail();
    return false;
  }
  depth_ = 1;
  return true;
}

bool wb_biff_early_sheet::next_cell(wb_raw_cell& cell) {
  using namespace wb_biff_record;
  using namespace wb_biff_early_record;
  while (!done_) {
    if (!cursor_.next()) {
      // The file ending before the sheet's EOF is tolerated unless a record
      // was cut off.
      if (cursor_.failed()) {
        fail();
        return false;
      }
      end_sheet();
      break;
    }
    const std::uint16_t type = cursor_.type();
    if (is_bof(type)) {
      ++depth_;
      continue;
    }
    if (type == eof) {
      if (--depth_ == 0) end_sheet();
      continue;
    }
    if (depth_ != 1) continue;
    // A formula's string result comes in the next STRING record; only the
    // records of array formulas and tables may stand between them.
    if (string_pending_ && type != string && type != string2 && type != array && type != array2 && type != table &&
        type != table2)
      string_pending_ = false;
    const bool found = read_cell(cell);
    if (cursor_.short_read() || cursor_.failed()) {
      fail();
      return false;
    }
    if (found) return true;
  }
  return false;
}

wb_number_class wb_biff_early_sheet::format_class(std::size_t format) const {
  const std::vector<wb_number_class>& formats = formats_.empty() ? book_.shared_formats() : formats_;
  return format < formats.size() ? formats[format] : wb_number_class::general;
}

wb_number_class wb_biff_early_sheet::read_style() {
  const std::vector<std::uint16_t>& xfs = xf_formats_.empty() ? book_.shared_xf_formats() : xf_formats_;
  std::uint16_t xf = 0;
  // BIFF2 cell records are the ones numbered below 0x0100.
  if (cursor_.type() < 0x0100) {
    const std::uint8_t attributes[3] = {cursor_.u8(), cursor_.u8(), cursor_.u8()};
    const std::uint8_t format = attributes[1] & attribute_index_mask;
    if (format != 0) return format_class(format);
    xf = attributes[0] & attribute_index_mask;
    if (xf == xf_in_ixfe) xf = ixfe_;
  } else {
    xf = cursor_.u16();
  }
  return xf < xfs.size() ? format_class(xfs[xf]) : wb_number_class::general;
}

void wb_biff_early_sheet::read_text(bool wide_count) {
  const std::size_t count = wide_count ? cursor_.u16() : cursor_.u8();
  bytes_.resize(count);
  cursor_.take(bytes_.data(), count);
  text_.clear();
  book_.text_codepage().decode(bytes_.data(), count, text_);
}

bool wb_biff_early_sheet::read_cell(wb_raw_cell& cell) {
  using namespace wb_biff_record;
  using namespace wb_biff_early_record;
  const std::uint16_t type = cursor_.type();
  switch (type) {
    case format2:
    case format:
      formats_.push_back(book_.read_format(cursor_));
      return false;
    case xf2:
    case xf3:
    case xf4:
      xf_formats_.push_back(book_.read_xf_format(cursor_));
      return false;
    case ixfe2:
      ixfe_ = cursor_.u16();
      return false;
    case string2:
    case string:
      if (!string_pending_) return false;
      string_pending_ = false;
      read_text(type == string);
      cell.row = pending_row_;
      cell.column = pending_column_;
      break;
    case integer2:
    case number2:
    case number:
    case rk:
    case label2:
    case label:
    case boolerr2:
    case boolerr:
    case formula2:
    case formula3:
    case formula4:
      cell.row = cursor_.u16();
      cell.column = cursor_.u16();
      break;
    default:
      return false;  // BLANK records carry formatting only; others carry no cells
  }

  cell.text = {};
  cell.text_is_stable = false;
  cell.number_class = wb_number_class::general;
  cell.number = 0.0;
  switch (type) {
    case string2:
    case string:
    case label2:
    case label:
      if (type == label2 || type == label) {
        read_style();
        read_text(type == label);
      }
      if (text_.empty()) return false;  // an empty text is no value
      cell.kind = wb_cell_kind::text;
      cell.text = text_;
      return true;
    case integer2:
      cell.number_class = read_style();
      cell.kind = wb_cell_kind::number;
      cell.number = cursor_.u16();
      return true;
    case number2:
    case number:
      cell.number_class = read_style();
      cell.kind = wb_cell_kind::number;
      cell.number = cursor_.f64();
      return readable(cell);
    case rk:
      cell.number_class = read_style();
      cell.kind = wb_cell_kind::number;
      cell.number = wb_biff_decode_rk(cursor_.u32());
      return true;
    case boolerr2:
    case boolerr: {
      read_style();
      const std::uint8_t value = cursor_.u8();
      const bool is_error = cursor_.u8() != 0;
      cell.kind = is_error ? wb_cell_kind::error : wb_cell_kind::boolean;
      cell.number = value;
      return readable(cell);
    }
    default: {  // the FORMULA records
      const wb_number_class number_class = read_style();
      unsigned char result[8];
      cursor_.take(result, sizeof result);
      if (result[6] != 0xFF || result[7] != 0xFF) {
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i) bits = (bits << 8) | result[i];
        std::memcpy(&cell.number, &bits, sizeof cell.number);
        cell.kind = wb_cell_kind::number;
        cell.number_class = number_class;
        return readable(cell);
      }
      switch (result[0]) {
        case result_string:
          string_pending_ = true;
          pending_row_ = cell.row;
          pending_column_ = cell.column;
          return false;
        case result_boolean:
          cell.kind = wb_cell_kind::boolean;
          cell.number = result[2];
          return readable(cell);
        case result_error:
          cell.kind = wb_cell_kind::error;
          cell.number = result[2];
          return true;
        default:
          return false;  // an empty result is no value
      }
    }
  }
}
