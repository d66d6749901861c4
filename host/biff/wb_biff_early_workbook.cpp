#include "wb_biff_early_workbook.h"

#include "wb_biff_early_sheet.h"
#include "wb_biff_record_cursor.h"
#include "wb_biff_records.h"
#include "wb_error_list.h"
#include "wb_number_format.h"
#include "wb_text.h"

namespace {

// A BOF record of BIFF2-4 is short: version and type, in BIFF3 and 4 also a
// build number. Anything longer is no such record.
constexpr std::size_t max_bof_length = 16;

int version_of_bof(std::uint16_t type) {
  switch (type) {
    case wb_biff_record::bof_biff2:
      return 2;
    case wb_biff_record::bof_biff3:
      return 3;
    case wb_biff_record::bof_biff4:
      return 4;
    default:
      return 0;
  }
}

// Records that hold or start the cells of a sheet: the settings a reader
// needs come before them.
bool is_cell_record(std::uint16_t type) {
  using namespace wb_biff_record;
  using namespace wb_biff_early_record;
  switch (type) {
    case 0x0001:  // BLANK (BIFF2)
    case integer2:
    case number2:
    case label2:
    case boolerr2:
    case formula2:
    case 0x0008:  // ROW (BIFF2)
    case blank:
    case number:
    case label:
    case boolerr:
    case formula3:
    case row:
    case rk:
    case formula4:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool wb_biff_early_workbook::has_signature(const unsigned char* head, std::size_t size) {
  if (size < 8) return false;
  const int version = version_of_bof(static_cast<std::uint16_t>(head[0] | (head[1] << 8)));
  const std::size_t length = static_cast<std::size_t>(head[2] | (head[3] << 8));
  const std::uint16_t substream = static_cast<std::uint16_t>(head[6] | (head[7] << 8));
  if (version == 0 || length < 4 || length > max_bof_length) return false;
  return substream == wb_biff_substream::worksheet || (version == 4 && substream == wb_biff_substream::workbook4);
}

std::u16string wb_biff_early_workbook::base_name(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos && dot != 0) name = name.substr(0, dot);
  return wb_to_utf16(name);
}

std::unique_ptr<wb_biff_early_workbook> wb_biff_early_workbook::open(const std::string& path, long& dao_error) {
  auto storage = wb_cfb_storage::open_file(path);
  if (!storage) {
    dao_error = wb_dao_error::cannot_open_file;
    return nullptr;
  }
  return read(std::make_unique<wb_cfb_stream>(std::move(storage)), base_name(path), dao_error);
}

std::unique_ptr<wb_biff_early_workbook> wb_biff_early_workbook::open_memory(std::string_view bytes, std::u16string name,
                                                                            long& dao_error) {
  return read(std::make_unique<wb_cfb_stream>(wb_cfb_storage::from_memory(bytes)), std::move(name), dao_error);
}

std::unique_ptr<wb_biff_early_workbook> wb_biff_early_workbook::read(std::unique_ptr<wb_cfb_stream> stream,
                                                                     std::u16string name, long& dao_error) {
  std::unique_ptr<wb_biff_early_workbook> book(new wb_biff_early_workbook());
  book->stream_ = std::move(stream);
  if (const long error = book->read_file(std::move(name))) {
    dao_error = error;
    return nullptr;
  }
  return book;
}

long wb_biff_early_workbook::read_settings(wb_biff_record_cursor& cursor, bool keep_formats) {
  using namespace wb_biff_record;
  using namespace wb_biff_early_record;
  while (cursor.next()) {
    const std::uint16_t type = cursor.type();
    if (type == eof || type == sheethdr || is_cell_record(type)) break;
    switch (type) {
      case filepass:
        return wb_dao_error::cannot_decrypt;
      case codepage:
        if (!have_codepage_) codepage_number_ = cursor.u16();
        have_codepage_ = true;
        break;
      case datemode:
        if (!have_datemode_) date1904_ = cursor.u16() != 0;
        have_datemode_ = true;
        break;
      case format2:
      case format:
        if (keep_formats) {
          if (type == format) cursor.u16();  // not used before BIFF5
          std::string code(cursor.u8(), '\0');
          cursor.take(code.data(), code.size());
          raw_formats_.push_back(std::move(code));
        }
        break;
      case xf2:
      case xf3:
      case xf4:
        if (keep_formats) xf_formats_.push_back(read_xf_format(cursor));
        break;
      default:
        break;
    }
    if (cursor.short_read()) return wb_dao_error::unexpected_format;
  }
  return cursor.failed() ? wb_dao_error::unexpected_format : 0;
}

long wb_biff_early_workbook::read_file(std::u16string name) {
  using namespace wb_biff_record;
  constexpr long corrupt = wb_dao_error::unexpected_format;
  wb_biff_record_cursor cursor(*stream_);
  if (!cursor.next()) return corrupt;
  version_ = version_of_bof(cursor.type());
  cursor.u16();  // version, which the record number already tells
  const std::uint16_t substream = cursor.u16();
  if (version_ == 0 || cursor.short_read()) return corrupt;

  std::vector<std::pair<std::string, std::uint64_t>> bundled;  // name bytes, BOF offset
  if (substream == wb_biff_substream::worksheet) {
    if (const long error = read_settings(cursor, false)) return error;
    sheets_.push_back({std::move(name), 0});
  } else if (version_ == 4 && substream == wb_biff_substream::workbook4) {
    // The globals, each SHEETHDR followed by its sheet's stream, the EOF.
    for (;;) {
      if (const long error = read_settings(cursor, true)) return error;
      if (cursor.type() != wb_biff_early_record::sheethdr) break;
      const std::uint32_t size = cursor.u32();
      std::string sheet_name(cursor.u8(), '\0');
      cursor.take(sheet_name.data(), sheet_name.size());
      if (cursor.short_read()) return corrupt;
      const std::uint64_t bof_offset = cursor.offset() + 4 + cursor.length();
      if (!cursor.seek(bof_offset + size)) return corrupt;
      bundled.emplace_back(std::move(sheet_name), bof_offset);
    }
    if (cursor.failed()) return corrupt;
  } else {
    return corrupt;  // a chart or macro sheet file
  }

  // A bundled sheet is listed when it is a worksheet; the first of them
  // tells the code page and the date system if the globals did not.
  std::vector<std::pair<std::string, std::uint64_t>> worksheets;
  for (auto& entry : bundled) {
    if (!cursor.seek(entry.second) || !cursor.next() || version_of_bof(cursor.type()) == 0) return corrupt;
    cursor.u16();
    if (cursor.u16() != wb_biff_substream::worksheet) continue;
    if (const long error = read_settings(cursor, false)) return error;
    worksheets.push_back(std::move(entry));
  }

  codepage_ = std::make_unique<wb_biff_codepage>(codepage_number_);
  for (const auto& [name_bytes, offset] : worksheets) {
    sheets_.push_back({{}, offset});
    codepage_->decode(reinterpret_cast<const unsigned char*>(name_bytes.data()), name_bytes.size(),
                      sheets_.back().name);
  }
  for (const std::string& code : raw_formats_) {
    std::u16string text;
    codepage_->decode(reinterpret_cast<const unsigned char*>(code.data()), code.size(), text);
    formats_.push_back(wb_number_format::classify_code(wb_to_utf8(text)));
  }
  raw_formats_.clear();
  return 0;
}

wb_number_class wb_biff_early_workbook::read_format(wb_biff_record_cursor& cursor) const {
  if (cursor.type() == wb_biff_record::format) cursor.u16();  // not used before BIFF5
  unsigned char bytes[255];
  const std::size_t count = cursor.u8();
  cursor.take(bytes, count);
  std::u16string text;
  codepage_->decode(bytes, count, text);
  return wb_number_format::classify_code(wb_to_utf8(text));
}

std::uint16_t wb_biff_early_workbook::read_xf_format(wb_biff_record_cursor& cursor) const {
  // BIFF2: font, an unused byte, then the format in the low six bits;
  // BIFF3 and 4: font, then the format.
  cursor.u8();
  if (cursor.type() == wb_biff_early_record::xf2) return static_cast<std::uint16_t>((cursor.u16() >> 8) & 0x3F);
  return cursor.u8();
}

std::unique_ptr<wb_sheet_source> wb_biff_early_workbook::open_sheet(std::size_t index, long& dao_error) {
  if (index >= sheets_.size()) {
    dao_error = wb_dao_error::unexpected_format;
    return nullptr;
  }
  auto sheet = std::make_unique<wb_biff_early_sheet>(*this, stream_->clone(), sheets_[index].offset);
  if (!sheet->rewind()) {
    dao_error = sheet->error() != 0 ? sheet->error() : wb_dao_error::unexpected_format;
    return nullptr;
  }
  return sheet;
}
