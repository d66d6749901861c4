// wb_workbook_source for BIFF5/7 and BIFF8 workbooks (.xls): the "Workbook"
// (BIFF8) or "Book" (BIFF5/7) stream of a compound file.
//
// Opening reads the workbook globals once: code page, date system, the
// sheet list (BOUNDSHEET: name and stream offset; hidden or not, only
// worksheets are kept), number formats and XF records (reduced to one
// number class per XF), and the shared-strings table. The sheets are then
// streamed from their offsets by wb_biff_sheet, each with its own window on
// the stream, so the stream is never held whole.
//
// Errors: 3274 for a damaged or unsupported file (no workbook stream, a
// broken record or sector chain), 3161 for an encrypted workbook
// (FILEPASS) or an encrypted OOXML package in a compound file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wb_biff_codepage.h"
#include "wb_biff_sst.h"
#include "wb_cfb_stream.h"
#include "wb_raw_cell.h"
#include "wb_workbook_source.h"

class wb_biff_record_cursor;

class wb_biff_workbook final : public wb_workbook_source {
 public:
  // Opens the compound file at `path` (UTF-8).
  static std::unique_ptr<wb_biff_workbook> open(const std::string& path, long& dao_error);
  // Opens a compound file held in memory; `bytes` must outlive the workbook.
  static std::unique_ptr<wb_biff_workbook> open_memory(std::string_view bytes, long& dao_error);
  // Reads a bare workbook stream (no compound file around it), for tests
  // and fuzzing of the record layer.
  static std::unique_ptr<wb_biff_workbook> open_stream(std::vector<unsigned char> stream, long& dao_error);

  std::size_t sheet_count() const override { return sheets_.size(); }
  const std::u16string& sheet_name(std::size_t index) const override { return sheets_.at(index).name; }
  bool date1904() const override { return date1904_; }
  std::unique_ptr<wb_sheet_source> open_sheet(std::size_t index, long& dao_error) override;

  // 8 for BIFF8, 5 for BIFF5/7.
  int biff_version() const { return version_; }
  // Whether the file says which calculation engine computed its formula
  // results (a spreadsheet program saved it): a library that writes
  // formulas it cannot calculate says nothing, and marks every result an
  // empty text.
  bool calculated() const { return calculated_; }
  std::uint16_t codepage_id() const { return codepage_->id(); }
  const wb_biff_sst& shared_strings() const { return sst_; }
  const wb_biff_codepage& text_codepage() const { return *codepage_; }
  // The number class of the cell style (XF) `xf`; general when out of range.
  wb_number_class xf_class(std::uint16_t xf) const {
    return xf < xf_classes_.size() ? xf_classes_[xf] : wb_number_class::general;
  }

  struct sheet_entry {
    std::u16string name;
    std::uint64_t offset = 0;  // stream offset of the sheet's BOF record
  };

 private:
  wb_biff_workbook() = default;
  static std::unique_ptr<wb_biff_workbook> open_compound(std::shared_ptr<const wb_cfb_storage> storage,
                                                         long& dao_error);
  static std::unique_ptr<wb_biff_workbook> read(std::unique_ptr<wb_cfb_stream> stream, int version_hint,
                                                long& dao_error);
  long read_globals(int version_hint);
  bool is_worksheet(wb_biff_record_cursor& cursor, std::uint64_t offset);

  std::unique_ptr<wb_cfb_stream> stream_;
  int version_ = 8;
  bool date1904_ = false;
  bool calculated_ = false;
  std::unique_ptr<wb_biff_codepage> codepage_;
  std::vector<sheet_entry> sheets_;
  std::vector<wb_number_class> xf_classes_;
  wb_biff_sst sst_;
};
