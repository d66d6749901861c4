#include "wb_biff_workbook.h"

#include <unordered_map>

#include "wb_biff_record_cursor.h"
#include "wb_biff_records.h"
#include "wb_biff_sheet.h"
#include "wb_cfb_reader.h"
#include "wb_error_list.h"
#include "wb_number_format.h"
#include "wb_text.h"

namespace {

constexpr std::uint16_t biff5_version = 0x0500;
constexpr std::uint16_t biff8_version = 0x0600;
constexpr std::uint8_t sheet_type_worksheet = 0;  // worksheets and dialog sheets
constexpr std::uint16_t wsbool_dialog = 0x0010;
// Format ids below this one are built in: their meaning is fixed even where a
// workbook stores a localised code for them.
constexpr std::uint16_t first_custom_format = 164;
// Records to look through after a sheet's BOF for the one that marks a dialog sheet.
constexpr int max_records_before_cells = 64;

// A BIFF8 string with a 16-bit (`wide_count`) or 8-bit character count and a flag byte.
std::u16string read_unicode_string(wb_biff_record_cursor& cursor, bool wide_count) {
  const std::size_t count = wide_count ? cursor.u16() : cursor.u8();
  const bool two_byte = (cursor.u8() & 0x01) != 0;
  std::u16string s(count, u'\0');
  cursor.chars(count, two_byte, s.data());
  return s;
}

// A BIFF5 byte string with an 8-bit or 16-bit length, kept undecoded until
// the code page is known.
std::string read_byte_string(wb_biff_record_cursor& cursor, bool wide_count) {
  const std::size_t count = wide_count ? cursor.u16() : cursor.u8();
  std::string s(count, '\0');
  cursor.take(s.data(), count);
  return s;
}

bool starts_cells(std::uint16_t type) {
  using namespace wb_biff_record;
  switch (type) {
    case dimension:
    case row:
    case number:
    case rk:
    case mulrk:
    case labelsst:
    case label:
    case rstring:
    case boolerr:
    case formula:
    case blank:
    case mulblank:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::unique_ptr<wb_biff_workbook> wb_biff_workbook::open(const std::string& path, long& dao_error) {
  auto storage = wb_cfb_storage::open_file(path);
  if (!storage) {
    dao_error = wb_dao_error::cannot_open_file;
    return nullptr;
  }
  return open_compound(std::move(storage), dao_error);
}

std::unique_ptr<wb_biff_workbook> wb_biff_workbook::open_memory(std::string_view bytes, long& dao_error) {
  return open_compound(wb_cfb_storage::from_memory(bytes), dao_error);
}

std::unique_ptr<wb_biff_workbook> wb_biff_workbook::open_stream(std::vector<unsigned char> stream, long& dao_error) {
  auto bytes = std::make_shared<const std::vector<unsigned char>>(std::move(stream));
  return read(std::make_unique<wb_cfb_stream>(std::move(bytes)), 8, dao_error);
}

std::unique_ptr<wb_biff_workbook> wb_biff_workbook::open_compound(std::shared_ptr<const wb_cfb_storage> storage,
                                                                  long& dao_error) {
  auto cfb = wb_cfb_reader::open(std::move(storage));
  if (!cfb) {
    dao_error = wb_dao_error::unexpected_format;
    return nullptr;
  }
  if (cfb->is_encrypted_package()) {
    dao_error = wb_dao_error::cannot_decrypt;
    return nullptr;
  }
  int version = 8;
  long index = cfb->find_stream(u"Workbook");
  if (index < 0) {
    index = cfb->find_stream(u"Book");
    version = 5;
  }
  std::unique_ptr<wb_cfb_stream> stream = index < 0 ? nullptr : cfb->open_stream(static_cast<std::size_t>(index));
  if (!stream) {
    dao_error = wb_dao_error::unexpected_format;
    return nullptr;
  }
  return read(std::move(stream), version, dao_error);
}

std::unique_ptr<wb_biff_workbook> wb_biff_workbook::read(std::unique_ptr<wb_cfb_stream> stream, int version_hint,
                                                         long& dao_error) {
  std::unique_ptr<wb_biff_workbook> book(new wb_biff_workbook());
  book->stream_ = std::move(stream);
  if (const long error = book->read_globals(version_hint)) {
    dao_error = error;
    return nullptr;
  }
  return book;
}

long wb_biff_workbook::read_globals(int version_hint) {
  using namespace wb_biff_record;
  constexpr long corrupt = wb_dao_error::unexpected_format;
  wb_biff_record_cursor cursor(*stream_);
  if (!cursor.next() || cursor.type() != bof) return corrupt;  // also BIFF2-4, whose BOF differs
  const std::uint16_t version = cursor.u16();
  const std::uint16_t substream = cursor.u16();
  if (cursor.short_read() || substream != wb_biff_substream::globals) return corrupt;
  version_ = version == biff5_version ? 5 : version == biff8_version ? 8 : version_hint;
  const bool biff8 = version_ == 8;

  struct raw_sheet {
    std::uint32_t offset;
    std::uint8_t type;
    std::u16string name;
    std::string name_bytes;  // BIFF5: decoded once the code page is known
  };
  struct raw_format {
    std::uint16_t id;
    std::u16string code;
    std::string code_bytes;
  };
  std::vector<raw_sheet> raw_sheets;
  std::vector<raw_format> formats;
  std::vector<std::uint16_t> xf_formats;
  std::uint16_t codepage_number = wb_biff_codepage::default_id;

  bool done = false;
  while (!done && cursor.next()) {
    switch (cursor.type()) {
      case filepass:
        // Everything after it is encrypted.
        return wb_dao_error::cannot_decrypt;
      case codepage:
        codepage_number = cursor.u16();
        break;
      case datemode:
        date1904_ = cursor.u16() != 0;
        break;
      case recalcid:
        calculated_ = true;
        break;
      case boundsheet: {
        raw_sheet s{};
        s.offset = cursor.u32();
        cursor.u8();  // visibility: a hidden worksheet is a table too
        s.type = cursor.u8();
        if (biff8)
          s.name = read_unicode_string(cursor, false);
        else
          s.name_bytes = read_byte_string(cursor, false);
        raw_sheets.push_back(std::move(s));
        break;
      }
      case format: {
        raw_format f{};
        f.id = cursor.u16();
        if (biff8)
          f.code = read_unicode_string(cursor, true);
        else
          f.code_bytes = read_byte_string(cursor, false);
        formats.push_back(std::move(f));
        break;
      }
      case xf:
        cursor.u16();  // font
        xf_formats.push_back(cursor.u16());
        break;
      case sst:
        if (biff8 && !sst_.load(cursor)) return corrupt;
        break;
      case eof:
        done = true;
        break;
      default:
        break;
    }
    if (cursor.short_read()) return corrupt;
  }
  if (cursor.failed()) return corrupt;

  codepage_ = std::make_unique<wb_biff_codepage>(codepage_number);

  std::unordered_map<std::uint16_t, wb_number_class> format_classes;
  for (raw_format& f : formats) {
    if (!biff8)
      codepage_->decode(reinterpret_cast<const unsigned char*>(f.code_bytes.data()), f.code_bytes.size(), f.code);
    wb_number_class c = wb_number_format::classify_code(wb_to_utf8(f.code));
    if (c == wb_number_class::general && f.id < first_custom_format) c = wb_number_format::classify_builtin(f.id);
    format_classes[f.id] = c;
  }
  xf_classes_.reserve(xf_formats.size());
  for (std::uint16_t id : xf_formats) {
    const auto it = format_classes.find(id);
    xf_classes_.push_back(it != format_classes.end() ? it->second : wb_number_format::classify_builtin(id));
  }

  for (raw_sheet& s : raw_sheets) {
    if (s.type != sheet_type_worksheet || !is_worksheet(cursor, s.offset)) continue;
    if (!biff8)
      codepage_->decode(reinterpret_cast<const unsigned char*>(s.name_bytes.data()), s.name_bytes.size(), s.name);
    sheets_.push_back({std::move(s.name), s.offset});
  }
  if (cursor.failed()) return corrupt;
  return 0;
}

bool wb_biff_workbook::is_worksheet(wb_biff_record_cursor& cursor, std::uint64_t offset) {
  using namespace wb_biff_record;
  // A sheet whose BOF cannot be found stays listed: opening it reports the damage.
  if (!cursor.seek(offset) || !cursor.next() || cursor.type() != bof) return true;
  cursor.u16();
  const std::uint16_t substream = cursor.u16();
  if (cursor.short_read()) return true;
  if (substream != wb_biff_substream::worksheet) return false;  // chart, macro sheet
  // Dialog sheets share the worksheet type; a WSBOOL flag before the cells tells them apart.
  for (int i = 0; i < max_records_before_cells && cursor.next(); ++i) {
    if (cursor.type() == wsbool) return (cursor.u16() & wsbool_dialog) == 0;
    if (cursor.type() == eof || cursor.type() == bof || starts_cells(cursor.type())) break;
  }
  return true;
}

std::unique_ptr<wb_sheet_source> wb_biff_workbook::open_sheet(std::size_t index, long& dao_error) {
  if (index >= sheets_.size()) {
    dao_error = wb_dao_error::unexpected_format;
    return nullptr;
  }
  auto sheet = std::make_unique<wb_biff_sheet>(*this, stream_->clone(), sheets_[index].offset);
  if (!sheet->rewind()) {
    dao_error = sheet->error() != 0 ? sheet->error() : wb_dao_error::unexpected_format;
    return nullptr;
  }
  return sheet;
}
