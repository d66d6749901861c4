#pragma once
// Shared by the end-to-end tests: workbooks written by an independent
// writer (libxlsxwriter), the calendar arithmetic the expected values need,
// and a fixture that runs the real gridload binary into the private server
// or into a dump file that is then loaded back.

#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "mysql_test_server.h"
#include "test_support.h"

namespace wbtest {

// A workbook written by libxlsxwriter at `path`; close() writes the file.
// In constant-memory mode the writer stores strings inline in the sheet
// instead of in the shared-strings part.
class xlsx_book {
 public:
  explicit xlsx_book(const std::string& path, bool constant_memory = false);
  ~xlsx_book();
  xlsx_book(const xlsx_book&) = delete;
  xlsx_book& operator=(const xlsx_book&) = delete;

  lxw_worksheet* sheet(const char* name);
  lxw_format* format(const char* num_format);
  lxw_workbook* handle() { return book_; }
  const std::string& close();

 private:
  std::string path_;
  std::string tmp_;
  lxw_workbook* book_ = nullptr;
};

// Replaces the first `from` by `to` in one part of a ZIP package, for what
// the writer cannot say (error cells, the 1904 date system).
void patch_part(const std::string& path, const std::string& part, const std::string& from, const std::string& to);

// Writes a ZIP file whose entries are `parts` (name -> content).
void write_zip(const std::string& path, const std::map<std::string, std::string>& parts);

// Reads every entry of a ZIP file (name -> content).
std::map<std::string, std::string> read_zip(const std::string& path);

// Days since 1899-12-30 (the 1900 system's serial from 1900-03-01 on) and
// days since 1904-01-01 (the 1904 system's serial), with the time of day
// as the fraction; plain calendar arithmetic, independent of the code
// under test.
double serial_1900(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, int ss = 0);
double serial_1904(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, int ss = 0);

using table_rows = std::vector<std::vector<std::string>>;

// What a workbook run prints: the workbook's line with `listed` worksheets
// (by default as many as `tables`), then a line per converted table.
std::string converting(const std::string& file, const std::vector<std::string>& tables, int listed = -1);

class workbook_run : public testsupport::mysql_fixture {
 protected:
  std::vector<std::string> server_args() const;

  // gridload --src=<source> --dest=<test database> with the server's
  // address and `extra`, run in the test's folder with `env` added.
  testsupport::run_result convert(const std::string& source, const std::vector<std::string>& extra = {},
                                  const std::map<std::string, std::string>& env = {});
  // gridload with `args` alone, run in the test's folder.
  testsupport::run_result run(const std::vector<std::string>& args);
  // gridload --dump --src=<source> --dest=<file> with `extra`.
  testsupport::run_result dump(const std::string& source, const std::string& file,
                               const std::vector<std::string>& extra = {});
  // Empties the test's database and loads `file` into it with the server's
  // own client; the test fails (and false is returned) when the file does
  // not load.
  bool load_dump(const std::string& file);
  // Converts `source` directly, runs `check`, then converts it into a dump
  // file, loads that into an empty database and runs `check` again. Both
  // runs must end with status 0 and print `out`.
  void both_ways(const std::string& source, const std::vector<std::string>& extra, const std::string& out,
                 const std::function<void()>& check);

  // A fresh checking connection (a conversion in mode 0 drops and creates
  // the database the connection was opened on).
  void reconnect();
  // Of the test's database, or of `db`.
  std::vector<std::string> tables(const std::string& db = "");                             // sorted
  std::vector<std::string> columns(const std::string& table, const std::string& db = "");  // "name type", in order
  // Every row of a query, NULL as "<NULL>".
  table_rows rows(const std::string& sql);
  // One column of a table in the order `order_by` (empty: the order the
  // rows were stored in).
  std::vector<std::string> column(const std::string& table, const std::string& col, const std::string& order_by = "");

  testsupport::temp_dir dir_;
};

}  // namespace wbtest
