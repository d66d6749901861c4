#pragma once
// The spreadsheet source of the conversion driver: lists a workbook's
// worksheets, selects the ones to convert and opens each as a recordset.

#include <map>
#include <string>
#include <vector>

#include "udb_converter.h"

class xls_reader : public udb_converter {
 public:
  // Lists the workbook's worksheets by their plain names. False when no
  // workbook engine can be created.
  bool get_all_sheets(std::vector<std::u16string>& sheets);
  // Selects the named worksheets; names that are not worksheets are reported.
  void set_sel_sheets1(const std::vector<std::u16string>& names);

 protected:
  // Plain worksheet name -> the engine's table name; converted in key order.
  std::map<std::u16string, std::u16string> sheets_;
};
