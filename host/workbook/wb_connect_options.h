// The connect string of OpenDatabase for the Excel driver, such as
// "Excel 5.0; HDR=No; IMEX=1;". The first item names the driver and must
// start with "Excel" (any version); options are NAME=VALUE items, names
// ignoring case, unknown ones ignored.
#pragma once

#include <string_view>

struct wb_connect_options {
  // HDR=Yes (the default): the used range's first row names the columns.
  bool header_row = true;
  // IMEX: accepted and kept for the caller; columns of mixed kinds are
  // always read as text, which is what IMEX=1 asks for.
  int imex = 0;

  // Parses `connect`. Returns false when it names no Excel driver.
  static bool parse(std::u16string_view connect, wb_connect_options& out);
};
