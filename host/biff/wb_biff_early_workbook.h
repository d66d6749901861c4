// wb_workbook_source for the files of Excel 2.x, 3.0 and 4.0 (BIFF2, BIFF3,
// BIFF4): bare record streams, without a compound file around them.
//
// A worksheet file starts with a BOF record 0x0009, 0x0209 or 0x0409 of
// type worksheet and holds one sheet, which has no name of its own: it is
// named after the file (its base name, without folder and extension). An
// Excel 4.0 workbook starts with a BOF 0x0409 of type workbook; each of its
// sheets follows a SHEETHDR record (the sheet's size and name) as a complete
// worksheet stream of its own. Chart and macro sheets are not listed.
//
// Opening reads the workbook's records up to the first cell (of the file,
// or of each bundled sheet) for the code page, the date system and, in a
// workbook, number formats and XF records shared by the sheets; a sheet
// reads its own formats and XF records as it meets them (they precede its
// cells), so the file is never held whole.
//
// Errors: 3274 for a damaged file, 3161 for an encrypted one (FILEPASS).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wb_biff_codepage.h"
#include "wb_cfb_stream.h"
#include "wb_raw_cell.h"
#include "wb_workbook_source.h"

class wb_biff_record_cursor;

class wb_biff_early_workbook final : public wb_workbook_source {
 public:
  // Opens the file at `path` (UTF-8).
  static std::unique_ptr<wb_biff_early_workbook> open(const std::string& path, long& dao_error);
  // Reads a file held in memory (`bytes` must outlive the workbook); a
  // single sheet is named `name`.
  static std::unique_ptr<wb_biff_early_workbook> open_memory(std::string_view bytes, std::u16string name,
                                                             long& dao_error);
  // True when `head`, the first bytes of a file (8 are enough), is the BOF
  // record of a BIFF2-4 worksheet or of an Excel 4.0 workbook.
  static bool has_signature(const unsigned char* head, std::size_t size);
  // The sheet name of a single-sheet file at `path`: its base name.
  static std::u16string base_name(std::string_view path);

  std::size_t sheet_count() const override { return sheets_.size(); }
  const std::u16string& sheet_name(std::size_t index) const override { return sheets_.at(index).name; }
  bool date1904() const override { return date1904_; }
  std::unique_ptr<wb_sheet_source> open_sheet(std::size_t index, long& dao_error) override;

  // 2, 3 or 4.
  int biff_version() const { return version_; }
  std::uint16_t codepage_id() const { return codepage_->id(); }
  const wb_biff_codepage& text_codepage() const { return *codepage_; }
  // The class of each number format, in the order of the workbook's FORMAT
  // records (BIFF2-4 refer to formats by that position), and the format
  // index of each XF record: those a workbook's globals hold for its sheets.
  const std::vector<wb_number_class>& shared_formats() const { return formats_; }
  const std::vector<std::uint16_t>& shared_xf_formats() const { return xf_formats_; }
  // Classifies a FORMAT record's code, read at the cursor (after any
  // leading bytes the version puts before it).
  wb_number_class read_format(wb_biff_record_cursor& cursor) const;
  // The format index of an XF record at the cursor.
  std::uint16_t read_xf_format(wb_biff_record_cursor& cursor) const;

 private:
  struct sheet_entry {
    std::u16string name;
    std::uint64_t offset = 0;  // of the sheet's BOF record
  };

  wb_biff_early_workbook() = default;
  static std::unique_ptr<wb_biff_early_workbook> read(std::unique_ptr<wb_cfb_stream> stream, std::u16string name,
                                                      long& dao_error);
  long read_file(std::u16string name);
  // Reads the records from the cursor up to the first cell or the end of the
  // substream, for the code page, the date system and encryption. Formats
  // and XF records are kept when `keep_formats` (a workbook's globals).
  long read_settings(wb_biff_record_cursor& cursor, bool keep_formats);

  std::unique_ptr<wb_cfb_stream> stream_;
  int version_ = 4;
  bool date1904_ = false;
  bool have_codepage_ = false;
  bool have_datemode_ = false;
  std::uint16_t codepage_number_ = wb_biff_codepage::default_id;
  std::unique_ptr<wb_biff_codepage> codepage_;
  std::vector<sheet_entry> sheets_;
  std::vector<wb_number_class> formats_;
  std::vector<std::uint16_t> xf_formats_;
  std::vector<std::string> raw_formats_;  // format codes until the code page is known
};
