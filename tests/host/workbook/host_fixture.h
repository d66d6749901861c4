// Shared helpers of the workbook engine tests: opening workbooks through the
// engine and copying whole tables out of recordsets as text. Workbooks are
// written with tests/support/workbook_files.h.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"
#include "wb_engine.h"
#include "wb_recordset.h"
#include "workbook_files.h"

namespace host_test {

// A table as the engine gives it. A column reads "name type size", then its
// Format property in quotes when it has one. A value reads: a number in its
// shortest form, currency after "$", 'text', TRUE or FALSE, a date as the
// calendar shows it to the second ("2024-02-29", "13:45:30" or both), NULL.
struct table {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  long record_count = 0;
  std::uint64_t unreadable = 0;  // values of no value of their cell's kind
};

inline constexpr char16_t hdr_no[] = u"Excel 5.0; HDR=No; IMEX=1;";
inline constexpr char16_t hdr_yes[] = u"Excel 5.0; IMEX=1;";

std::unique_ptr<wb_engine> make_engine();

// Opens `path`; the test fails when the engine refuses it.
std::unique_ptr<wb_database> open_ok(wb_engine& engine, const std::string& path, const char16_t* connect = hdr_no);

// Reads every row of `table_name` ("Sheet1$") through a query definition.
table read_table(const std::string& path, const std::u16string& table_name, const char16_t* connect = hdr_no);

// `bytes`, or a ZIP file of `parts`, written as `name` in a folder of its own.
struct written_file {
  testsupport::temp_dir dir;
  std::string path;
  explicit written_file(const std::string& bytes, const std::string& name = "book.xls") : path(dir.file(name)) {
    testsupport::write_file(path, bytes);
  }
  explicit written_file(const std::map<std::string, std::string>& parts) : path(dir.file("book.xlsx")) {
    testsupport::write_zip(path, parts);
  }
};

// Every table of a workbook, for a golden file: "== name", its columns on
// one line, then one line per row, separated by " | ".
std::string listing(const std::string& path);
// The same of a file holding `bytes`, written as `name` in a folder of its own.
std::string listing_of(const std::string& bytes, const std::string& name = "book.xls");

// Opens `path`, which must list the one table `table_name` and fail to
// open it with 3274.
void expect_table_unreadable(const std::string& path, const std::u16string& table_name);

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
// A number in the shortest text that reads back as it.
std::string shortest(double v);

using testsupport::xlsx_book;

}  // namespace host_test
