// Shared helpers of the workbook engine tests: opening workbooks through the
// engine and copying a whole table out of a recordset. Workbooks are written
// with tests/support/workbook_files.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"
#include "wb_engine.h"
#include "wb_recordset.h"
#include "workbook_files.h"

namespace host_test {

// A value copied out of the recordset, text in UTF-8.
struct cell {
  wb_value_kind kind = wb_value_kind::null;
  double number = 0;
  std::int64_t currency = 0;
  bool boolean = false;
  std::string text;
};

struct column {
  std::string name;
  wb_dao_type type = wb_dao_type::text;
  int size = 0;
  std::string format;  // "" when the property is absent
};

struct table {
  std::vector<column> columns;
  std::vector<std::vector<cell>> rows;
  long record_count = 0;
};

inline constexpr char16_t hdr_no[] = u"Excel 5.0; HDR=No; IMEX=1;";
inline constexpr char16_t hdr_yes[] = u"Excel 5.0; IMEX=1;";

std::unique_ptr<wb_engine> make_engine();

// Opens `path`; the test fails when the engine refuses it.
std::unique_ptr<wb_database> open_ok(wb_engine& engine, const std::string& path, const char16_t* connect = hdr_no);

// Reads every row of `table_name` ("Sheet1$") through a query definition.
table read_table(const std::string& path, const std::u16string& table_name, const char16_t* connect = hdr_no);

// The values of every row as texts: a number in its shortest form,
// currency after "$", 'text', TRUE or FALSE, a date as the calendar shows
// it to the second ("2024-02-29", "13:45:30" or both), NULL.
std::vector<std::vector<std::string>> rows_of(const table& t);

// The table names of a workbook, in order.
std::vector<std::string> table_names(const std::string& path);

// The DAO error number and description of a failing open.
struct open_failure {
  long number = 0;
  std::string description;
  wb_hresult hr = 0;
};
open_failure open_error(const std::string& path, const char16_t* connect = hdr_no);

// The OLE date (days since 1899-12-30) of a calendar date and time,
// computed with the standard calendar, independently of the engine.
inline double ole_date(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, int ss = 0) {
  return testsupport::serial(testsupport::epoch_1900, y, m, d, hh, mm, ss);
}

std::string utf8(std::u16string_view s);

using testsupport::xlsx_book;

}  // namespace host_test
