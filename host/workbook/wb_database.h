// An open workbook: the table collection (one table per worksheet) and the
// way to read a table through a query definition.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wb_error_list.h"
#include "wb_status.h"
#include "wb_table_def.h"
#include "wb_workbook_source.h"

class wb_query_def;
class wb_recordset;

class wb_database {
 public:
  // Takes over an opened workbook source. `name` is the path as given.
  wb_database(std::shared_ptr<wb_workbook_source> workbook, std::u16string name, bool header_row,
              wb_error_list_ptr errors);

  const std::u16string& name() const { return name_; }
  bool header_row() const { return header_row_; }
  // Whether the workbook counts its dates in the 1904 system.
  bool date1904() const;

  // The table collection, in workbook order.
  std::size_t table_count() const { return tables_.size(); }
  // Item by index; 3265 when out of range.
  wb_hresult table(std::size_t index, wb_table_def& out) const;
  // Item by name (as listed; case and the enclosing apostrophes do not
  // matter); 3265 when there is none.
  wb_hresult table(std::u16string_view name, wb_table_def& out) const;
  // The index of the table named `name`, or -1 (same matching as above).
  long find_table(std::u16string_view name) const;

  // A query definition for "SELECT * FROM [table]". The statement is
  // checked when the recordset opens.
  wb_hresult create_query_def(std::u16string_view name, std::u16string_view sql, std::unique_ptr<wb_query_def>& out);
  // Shortcut: opens `sql` directly as a forward-only, read-only recordset.
  wb_hresult open_recordset(std::u16string_view sql, std::unique_ptr<wb_recordset>& out);
  // The same, its first pass read ahead past `first_rows` data rows
  // (wb_recordset::open_ahead); 0 reads it first, as open_recordset does.
  wb_hresult open_recordset_ahead(std::u16string_view sql, std::size_t first_rows, std::unique_ptr<wb_recordset>& out);

  const wb_error_list& errors() const { return *errors_; }

  // The table name the Excel driver gives a worksheet: the sheet name and
  // "$", in apostrophes when the name holds anything but letters, digits
  // and "_", with apostrophes inside doubled ("'O''Brien$'").
  static std::u16string table_name_for_sheet(std::u16string_view sheet);

  // Extracts the table name from "SELECT * FROM [name]" (or a bare name);
  // keywords ignore case, a trailing ";" is allowed. Returns 0 or the DAO
  // error number (3129 not a SELECT, 3131 anything else malformed).
  static long parse_select(std::u16string_view sql, std::u16string& table);

 private:
  std::shared_ptr<wb_workbook_source> workbook_;
  std::u16string name_;
  bool header_row_;
  wb_error_list_ptr errors_;
  std::vector<wb_table_def> tables_;
};
