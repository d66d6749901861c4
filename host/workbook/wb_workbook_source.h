// The interface a workbook format backend (OOXML, BIFF) implements for the
// whole file. It lists the worksheets and opens one as a wb_sheet_source.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "wb_sheet_source.h"

class wb_workbook_source {
 public:
  virtual ~wb_workbook_source() = default;

  // Worksheets in workbook order, hidden ones included. Chart sheets,
  // macro sheets and dialog sheets are not listed.
  virtual std::size_t sheet_count() const = 0;
  // The sheet's name as the user sees it on its tab.
  virtual const std::u16string& sheet_name(std::size_t index) const = 0;
  // True for the 1904 date system.
  virtual bool date1904() const = 0;

  // Opens the worksheet for streaming. On failure returns nullptr and sets
  // `dao_error` (3274 corrupt, 3161 encrypted). Several sheet sources may be
  // open at once; each must stay valid while the workbook source lives.
  virtual std::unique_ptr<wb_sheet_source> open_sheet(std::size_t index, long& dao_error) = 0;
};
