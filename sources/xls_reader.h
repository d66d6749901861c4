#pragma once
// The spreadsheet source of the conversion driver: lists a workbook's
// worksheets under plain names, selects the ones to convert and opens the
// workbook for the conversion.
//
// State (in the driver object, which derives from this class): the sheet
// map, plain worksheet name -> the engine's table name ("Sheet1$",
// "'My Data$'"), which the driver converts in key order; and the selection
// list, udb_converter::selected_entries(), of (name, query) pairs.
//
// The engine and database made by the first form of get_all_sheets live
// only during that call. open_xls opens the workbook on the registered
// dao_engine, which the driver creates beforehand, and hands the database
// to the caller.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "udb_converter.h"

class dao_database;
class udb_database;

// Ordered by comparing UTF-16 code units one by one, case-sensitively, a
// shorter key before a longer one that it begins: Z < a < b.
using xls_sheet_map = std::map<std::u16string, std::u16string>;

class xls_reader : public udb_converter {
 public:
  // The connect string of the workbook driver. The sheet listing always
  // reads the first row as data; the conversion does so unless that row
  // holds the field names.
  static std::u16string connect_string(bool first_row_has_names);

  // Lists the worksheets of the source file by their plain names and makes
  // them the sheet map. False (nothing listed) when no workbook engine can
  // be created; an engine failure raises dao_exception.
  bool get_all_sheets(std::vector<std::u16string>& sheets);
  // The same from an open database's table list: the tables whose name
  // ends with "$" (or "$'") are worksheets; the sheet map is rebuilt from
  // them (for a plain name listed twice the first table wins).
  void get_all_sheets(const udb_database& database, std::vector<std::u16string>& sheets);

  // The plain name of an engine table name: enclosing apostrophes, the
  // final "$" and surrounding spaces removed (" Totals $" -> "Totals").
  static std::u16string simplify_name(std::u16string_view engine_name);
  // The same with the surrounding spaces kept: the plain name of a sheet
  // whose simplified name another sheet has already.
  static std::u16string undecorated_name(std::u16string_view engine_name);

  // Opens `source` for the conversion on the registered dao_engine (an
  // internal error without one); `first_row_has_names` chooses the connect
  // string. An engine failure raises dao_exception.
  std::unique_ptr<dao_database> open_xls(const std::u16string& source, bool first_row_has_names);

  // Narrows the sheet map to the worksheets named (exactly, case-sensitive)
  // and makes them the selection list, in list order. A name that is not a
  // worksheet is reported on stderr (unless silent) and skipped.
  void set_sel_sheets1(const std::vector<std::u16string>& names);
  // The same for (name, query) pairs already held as the selection list,
  // which is left as it is.
  void set_sel_sheets2(const std::vector<udb_selection>& entries);

  const xls_sheet_map& sheet_map() const noexcept { return sheets_; }

 protected:
  xls_sheet_map sheets_;
  // A sheet's name as the workbook has it, spaces included, and its plain
  // name: a table-names file may name a sheet exactly.
  std::map<std::u16string, std::u16string> exact_names_;

 private:
  // Moves the entry of `name` from the sheet map into `selected`; false
  // (after the report) when there is none.
  bool select(const std::u16string& name, xls_sheet_map& selected) const;
};
