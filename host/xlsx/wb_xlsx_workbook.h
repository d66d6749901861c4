// wb_workbook_source for Office Open XML packages (.xlsx, .xlsm; transitional
// and strict namespaces), read with libzip and expat.
//
// Opening reads the package relationships, the workbook part (sheet list,
// date system) and its relationships. The shared strings and styles are
// loaded on the first open_sheet(), so listing the tables stays cheap.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "wb_shared_strings.h"
#include "wb_workbook_source.h"
#include "wb_xlsx_styles.h"
#include "wb_zip_archive.h"

class wb_xlsx_workbook final : public wb_workbook_source {
 public:
  // Reads the package structure. On failure returns nullptr and sets
  // `dao_error`: 3274 for a package that is no workbook this engine reads
  // (no workbook part, a binary .xlsb workbook, malformed parts).
  static std::unique_ptr<wb_xlsx_workbook> open(std::unique_ptr<wb_zip_archive> archive, long& dao_error);

  std::size_t sheet_count() const override { return sheets_.size(); }
  const std::u16string& sheet_name(std::size_t index) const override { return sheets_.at(index).name; }
  bool date1904() const override { return date1904_; }
  std::unique_ptr<wb_sheet_source> open_sheet(std::size_t index, long& dao_error) override;

  struct sheet_entry {
    std::u16string name;
    std::string part;  // zip entry name of the worksheet part
    bool hidden = false;
  };

 private:
  explicit wb_xlsx_workbook(std::unique_ptr<wb_zip_archive> archive) : archive_(std::move(archive)) {}
  bool load_shared_parts(long& dao_error);

  std::unique_ptr<wb_zip_archive> archive_;
  std::vector<sheet_entry> sheets_;
  bool date1904_ = false;
  bool results_stale_ = false;  // the workbook asks to be calculated when opened
  std::string shared_strings_part_;
  std::string styles_part_;
  bool shared_loaded_ = false;
  wb_shared_strings shared_strings_;
  wb_xlsx_styles styles_;
};
