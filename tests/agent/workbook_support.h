#pragma once
// Shared by the end-to-end tests: workbooks written by an independent
// writer (libxlsxwriter), the calendar arithmetic the workbooks need, and a
// fixture that runs the real gridload binary into the private server or
// into a dump file that is then loaded back, and lists the database's tables
// for the goldens under tests/golden.

#include <gtest/gtest.h>
#include <xlsxwriter.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "mysql_test_server.h"
#include "test_support.h"

namespace wbtest {

// A workbook written by libxlsxwriter at `file`, its temporary files beside
// it; close() writes the file. In constant-memory mode the writer stores
// strings inline in the sheet instead of in the shared-strings part.
struct xlsx_book {
  explicit xlsx_book(const std::string& file, bool constant_memory = false)
      : path(file), tmp(file.substr(0, file.find_last_of('/') + 1)) {
    lxw_workbook_options options = {};
    options.constant_memory = constant_memory ? LXW_TRUE : LXW_FALSE;
    options.tmpdir = tmp.data();
    if (!(book = workbook_new_opt(path.c_str(), &options))) throw std::runtime_error("workbook_new_opt: " + path);
  }
  ~xlsx_book() { close(); }
  lxw_worksheet* sheet(const char* name) { return workbook_add_worksheet(book, name); }
  lxw_format* format(const char* num_format) {
    lxw_format* f = workbook_add_format(book);
    format_set_num_format(f, num_format);
    return f;
  }
  lxw_workbook* handle() { return book; }
  void close() {
    if (book && workbook_close(std::exchange(book, nullptr)) != LXW_NO_ERROR) ADD_FAILURE() << "cannot write " << path;
  }
  std::string path, tmp;
  lxw_workbook* book = nullptr;
};

// Writes a ZIP file whose entries are `parts` (name -> content).
inline void write_zip(const std::string& path, const std::map<std::string, std::string>& parts) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) throw std::runtime_error("zip_open failed for " + path);
  for (const auto& [name, content] : parts) {
    zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
    if (!source || zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
      zip_source_free(source);
      zip_discard(archive);
      throw std::runtime_error("zip_file_add failed");
    }
  }
  if (zip_close(archive) != 0) throw std::runtime_error("zip_close failed");
}

// Reads every entry of a ZIP file (name -> content).
inline std::map<std::string, std::string> read_zip(const std::string& path) {
  std::map<std::string, std::string> parts;
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) throw std::runtime_error("zip_open failed for " + path);
  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(zip_get_num_entries(archive, 0)); ++i) {
    zip_stat_t st;
    zip_stat_index(archive, i, 0, &st);
    std::string content(st.size, '\0');
    zip_file_t* f = zip_fopen_index(archive, i, 0);
    if (!f || zip_fread(f, content.data(), st.size) != static_cast<zip_int64_t>(st.size))
      throw std::runtime_error(std::string("cannot read ") + st.name);
    zip_fclose(f);
    parts[st.name] = std::move(content);
  }
  zip_discard(archive);
  return parts;
}

// Replaces the first `from` by `to` in one part of a ZIP package, for what
// the writer cannot say (error cells, the 1904 date system).
inline void patch_part(const std::string& path, const std::string& part, const std::string& from,
                       const std::string& to) {
  std::map<std::string, std::string> parts = read_zip(path);
  const std::size_t at = parts[part].find(from);
  if (at == std::string::npos) throw std::runtime_error("patch_part: '" + from + "' not in " + part);
  parts[part].replace(at, from.size(), to);
  write_zip(path, parts);
}

// Days since `epoch` with the time of day as the fraction; plain calendar
// arithmetic, independent of the code under test. A workbook's serial counts
// from 1899-12-30 in the 1900 system (from 1900-03-01 on) and from
// 1904-01-01 in the 1904 system.
constexpr std::chrono::year_month_day epoch_1900{std::chrono::year{1899}, std::chrono::December, std::chrono::day{30}};
constexpr std::chrono::year_month_day epoch_1904{std::chrono::year{1904}, std::chrono::January, std::chrono::day{1}};
inline double serial(std::chrono::year_month_day epoch, int y, unsigned m, unsigned d, int hh = 0, int mm = 0,
                     int ss = 0) {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{y}, month{m}, std::chrono::day{d}};
  return static_cast<double>((day - sys_days{epoch}).count()) + (hh * 3600 + mm * 60 + ss) / 86400.0;
}

using table_rows = std::vector<std::vector<std::string>>;

// What a workbook run prints: the workbook's line with its worksheet count,
// then a line per converted table.
inline std::string converting(const std::string& file, const std::vector<std::string>& tables) {
  std::string out = "Converting spreadsheet " + file + "(" + std::to_string(tables.size()) + " worksheets)\n";
  for (const std::string& t : tables) out += "Converting table " + t + "\n";
  return out;
}

class workbook_run : public testsupport::mysql_fixture {
 protected:
  // The options of a CSV run into `table`, column names from the first row,
  // then those of `extra` that are not empty (a profile is read after them).
  static std::vector<std::string> csv_args(const std::string& table, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args{"--from_csv", "--csv_delim=2", "--extr_fn", "--tab_name=" + table};
    for (const std::string& e : extra)
      if (!e.empty()) args.push_back(e);
    return args;
  }
  // Moves the test to the server at `address`, with an empty test database.
  void use_server(const testsupport::mysql_address& address) {
    address_ = address;
    std::string why;
    ASSERT_TRUE(check_.open(address_, "", why)) << why;
    check_.exec("CREATE DATABASE IF NOT EXISTS `" + db_ + "` CHARACTER SET utf8mb4");
    reconnect();
  }
  // The command line --src=<source> --dest=<test database> with the
  // server's address, then `extra`.
  std::vector<std::string> live_args(const std::string& source, const std::vector<std::string>& extra = {}) const {
    std::vector<std::string> args{"--src=" + source,         "--dest=" + db_,
                                  "--host=" + address_.host, "--port=" + std::to_string(address_.port),
                                  "--user=" + address_.user, "--pswd=" + address_.password};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  // gridload with live_args(), run in the test's folder with `env` added.
  testsupport::run_result convert(const std::string& source, const std::vector<std::string>& extra = {},
                                  const std::map<std::string, std::string>& env = {}) {
    testsupport::run_result r = testsupport::run_gridload(live_args(source, extra), dir_.path(), env);
    reconnect();
    return r;
  }
  // gridload with `args` alone, run in the test's folder with `env` added.
  testsupport::run_result run(const std::vector<std::string>& args,
                              const std::map<std::string, std::string>& env = {}) {
    return testsupport::run_gridload(args, dir_.path(), env);
  }
  // gridload --dump --src=<source> --dest=<file> with `extra`.
  testsupport::run_result dump(const std::string& source, const std::string& file,
                               const std::vector<std::string>& extra = {},
                               const std::map<std::string, std::string>& env = {}) {
    std::vector<std::string> args{"--src=" + source, "--dump", "--dest=" + file};
    args.insert(args.end(), extra.begin(), extra.end());
    return run(args, env);
  }
  // Empties the test's database and loads `file` into it with the server's
  // own client, run in the test's folder; the test fails (and false is
  // returned) when the client ends with an error or prints one. The file
  // name and the account reach the shell as positional parameters, never
  // inside its command text, so any file name loads.
  bool load_dump(const std::string& file) {
    check_.exec("DROP DATABASE IF EXISTS `" + db_ + "`");
    check_.exec("CREATE DATABASE `" + db_ + "` CHARACTER SET utf8mb4");
    reconnect();
    const std::string path = file.front() == '/' ? file : dir_.file(file);
    testsupport::run_result r =
        testsupport::run("/bin/sh",
                         {"sh", "-c", R"(exec mariadb --no-defaults -h"$1" -P"$2" -u"$3" -p"$4" "$5" < "$6")", "sh",
                          address_.host, std::to_string(address_.port), address_.user, address_.password, db_, path},
                         dir_.path());
    EXPECT_EQ(r.status, 0) << "the dump does not load: " << r.err.substr(r.err.size() > 2000 ? r.err.size() - 2000 : 0);
    EXPECT_TRUE(r.status != 0 || r.err.empty()) << "the client complained: " << r.err;
    return r.status == 0 && r.err.empty();
  }
  // Converts `source` directly, runs `check`, then converts it into a dump
  // file, loads that into an empty database and runs `check` again. Both
  // runs, with `env` added to their environment, must end with status 0 and
  // print `out`.
  void both_ways(const std::string& source, const std::vector<std::string>& extra, const std::string& out,
                 const std::function<void()>& check, const std::map<std::string, std::string>& env = {}) {
    for (bool direct : {true, false}) {
      SCOPED_TRACE(direct ? "into the server" : "into a dump file");
      testsupport::run_result r = direct ? convert(source, extra, env) : dump(source, "out.sql", extra, env);
      ASSERT_EQ(r.status, 0) << r.out << r.err;
      EXPECT_EQ(std::pair(r.out, r.err), std::pair(out, std::string()));
      if (direct || load_dump("out.sql")) check();
    }
  }
  // The same two runs, each compared with tests/golden/<golden>: the run's
  // transcript (titled by the source and `extra`), then listing().
  void both_ways(const std::string& source, const std::vector<std::string>& extra, const std::string& golden) {
    std::string title = source;
    for (const std::string& a : extra) title += " " + a;
    for (bool direct : {true, false}) {
      SCOPED_TRACE(direct ? "into the server" : "into a dump file");
      const testsupport::run_result r = direct ? convert(source, extra) : dump(source, "out.sql", extra);
      if (direct || load_dump("out.sql"))
        testsupport::expect_golden(golden, testsupport::transcript(title, r) + listing());
    }
  }
  // Every table of the test's database by name: "== name", the columns with
  // their types, then the rows in the order they were stored; cells are
  // separated by tabs, NULL is \N, and backslash, tab, CR and LF are escaped.
  std::string listing() {
    std::string text;
    auto line = [&text](const std::vector<std::optional<std::string>>& cells) {
      for (size_t i = 0; i < cells.size(); ++i) {
        text += i ? "\t" : "";
        if (!cells[i]) text += "\\N";
        for (const char c : cells[i].value_or("")) {
          const char* escaped = c == '\\'   ? "\\\\"
                                : c == '\t' ? "\\t"
                                : c == '\r' ? "\\r"
                                : c == '\n' ? "\\n"
                                            : nullptr;
          if (escaped) {
            text += escaped;
          } else {
            text += c;
          }
        }
      }
      text += "\n";
    };
    for (const std::string& table : tables()) {
      text += "== " + table + "\n";
      const std::vector<std::string> names = columns(table);
      line(std::vector<std::optional<std::string>>(names.begin(), names.end()));
      for (const testsupport::mysql_row& row : check_.query("SELECT * FROM `" + table + "`")) line(row);
    }
    return text;
  }

  // A fresh checking connection (a conversion in mode 0 drops and creates
  // the database the connection was opened on).
  void reconnect() {
    std::string why;
    ASSERT_TRUE(check_.open(address_, db_, why)) << why;
  }
  // The test's database's (or `db`'s) tables, sorted.
  std::vector<std::string> tables(const std::string& db = "") {
    std::vector<std::string> out;
    for (const auto& r :
         rows("SELECT table_name FROM information_schema.tables WHERE table_schema='" + (db.empty() ? db_ : db) + "'"))
      out.push_back(r[0]);
    std::sort(out.begin(), out.end());
    return out;
  }
  // A table's columns as "name type", in order.
  std::vector<std::string> columns(const std::string& table, const std::string& db = "") {
    std::vector<std::string> out;
    for (const auto& r : rows("SELECT CONCAT(column_name, ' ', column_type) FROM information_schema.columns WHERE "
                              "table_schema='" +
                              (db.empty() ? db_ : db) + "' AND table_name='" + table + "' ORDER BY ordinal_position"))
      out.push_back(r[0]);
    return out;
  }
  // Every row of a query, NULL as "<NULL>".
  table_rows rows(const std::string& sql) {
    table_rows out;
    for (const testsupport::mysql_row& r : check_.query(sql)) {
      out.emplace_back();
      for (const auto& cell : r) out.back().push_back(cell ? *cell : "<NULL>");
    }
    return out;
  }
  // One column of a table in the order `order_by` (empty: the order the
  // rows were stored in).
  std::vector<std::string> column(const std::string& table, const std::string& col, const std::string& order_by = "") {
    std::vector<std::string> out;
    const std::string order = order_by.empty() ? "" : " ORDER BY " + order_by;
    for (const auto& r : rows("SELECT `" + col + "` FROM `" + table + "`" + order)) out.push_back(r[0]);
    return out;
  }

  testsupport::temp_dir dir_;
};

}  // namespace wbtest
