#pragma once
// Shared by the end-to-end tests: the workbook helpers of
// tests/support/workbook_files.h, and a fixture that runs the real gridload binary into the private server or
// into a dump file that is then loaded back, and lists the database's tables
// for the goldens under tests/golden.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "mysql_test_server.h"
#include "test_support.h"
#include "workbook_files.h"

// A sanitizer build: its memory costs more, and limits set from outside
// (a preloaded library, ulimit) do not suit it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GRIDLOAD_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define GRIDLOAD_SANITIZED 1
#endif
#endif

namespace wbtest {

using testsupport::epoch_1900, testsupport::epoch_1904, testsupport::patch_part, testsupport::read_zip,
    testsupport::serial, testsupport::write_zip, testsupport::xlsx_book;

using table_rows = std::vector<std::vector<std::string>>;

// Writes `cells` into row `row` from column `first` on, without a format:
// texts as strings (an empty text leaves its cell empty), numbers as numbers.
using xlsx_cell = std::variant<std::string, double>;
inline void write_row(lxw_worksheet* s, lxw_row_t row, const std::vector<xlsx_cell>& cells, lxw_col_t first = 0) {
  for (lxw_col_t c = 0; c < cells.size(); ++c) {
    const std::string* text = std::get_if<std::string>(&cells[c]);
    const auto col = static_cast<lxw_col_t>(first + c);
    if (!text)
      worksheet_write_number(s, row, col, std::get<double>(cells[c]), nullptr);
    else if (!text->empty())
      worksheet_write_string(s, row, col, text->c_str(), nullptr);
  }
}

// Writes an .xlsx at `path` with one worksheet per entry, its rows from A1
// on as write_row() writes them.
using xlsx_sheet = std::pair<std::string, std::vector<std::vector<xlsx_cell>>>;
inline void write_xlsx(const std::string& path, const std::vector<xlsx_sheet>& sheets) {
  xlsx_book b(path);
  for (const auto& [name, rows] : sheets) {
    lxw_worksheet* s = b.sheet(name.c_str());
    for (lxw_row_t r = 0; r < rows.size(); ++r) write_row(s, r, rows[r]);
  }
}

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
  // The environment of a run whose settings file holds `lines`.
  std::map<std::string, std::string> settings(const std::string& lines) {
    testsupport::write_file(dir_.file("settings"), lines);
    return {{"GRIDLOAD_SETTINGS", dir_.file("settings")}};
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
  // Runs each statement on the test's connection; a refused one fails the test.
  void sql(const std::vector<std::string>& statements) {
    for (const std::string& s : statements) EXPECT_TRUE(check_.exec(s)) << s;
  }
  // gridload with `args`, started by `/bin/sh -c script` in the test's
  // folder: "$0" "$@" in the script is gridload and its arguments.
  testsupport::run_result shell(const std::string& script, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"sh", "-c", script, testsupport::gridload_binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::run("/bin/sh", argv, dir_.path());
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
  // The server's own client, run in the test's folder, reading `file` into
  // `database`. The file name and the account reach the shell as positional
  // parameters, never inside its command text, so any file name loads.
  testsupport::run_result client(const std::string& file, const std::string& database) {
    return testsupport::run(
        "/bin/sh",
        {"sh", "-c", R"(exec mariadb --no-defaults -h"$1" -P"$2" -u"$3" -p"$4" "$5" < "$6")", "sh", address_.host,
         std::to_string(address_.port), address_.user, address_.password, database, file},
        dir_.path());
  }
  // Empties the test's database (or `database`) and loads `file` into it
  // with client(); the test fails (and false is returned) when the client
  // ends with an error or prints one.
  bool load_dump(const std::string& file, std::string database = "") {
    if (database.empty()) database = db_;
    check_.exec("DROP DATABASE IF EXISTS `" + database + "`");
    check_.exec("CREATE DATABASE `" + database + "` CHARACTER SET utf8mb4");
    reconnect();
    const testsupport::run_result r = client(file, database);
    EXPECT_EQ(r.status, 0) << "the dump does not load: " << r.err.substr(r.err.size() > 2000 ? r.err.size() - 2000 : 0);
    EXPECT_TRUE(r.status != 0 || r.err.empty()) << "the client complained: " << r.err;
    return r.status == 0 && r.err.empty();
  }
  // Converts `source` into the server, then into a dump file loaded into an
  // empty database; after each (the dump's once it loaded) `check` gets the run.
  void each_way(const std::string& source, const std::vector<std::string>& extra,
                const std::function<void(const testsupport::run_result&)>& check,
                const std::map<std::string, std::string>& env = {}) {
    for (bool direct : {true, false}) {
      SCOPED_TRACE(direct ? "into the server" : "into a dump file");
      const testsupport::run_result r = direct ? convert(source, extra, env) : dump(source, "out.sql", extra, env);
      if (direct || load_dump("out.sql")) check(r);
    }
  }
  // Both runs must end with status 0, print `out` and nothing on stderr, and
  // pass `check`.
  void both_ways(const std::string& source, const std::vector<std::string>& extra, const std::string& out,
                 const std::function<void()>& check, const std::map<std::string, std::string>& env = {}) {
    each_way(
        source, extra,
        [&](const testsupport::run_result& r) {
          EXPECT_EQ(std::tuple(r.status, r.out, r.err), std::tuple(0, out, std::string()));
          check();
        },
        env);
  }
  // Each run's transcript (titled by the source and `extra`), then
  // listing(), compared with tests/golden/<golden>.
  void both_ways(const std::string& source, const std::vector<std::string>& extra, const std::string& golden,
                 const std::map<std::string, std::string>& env = {}) {
    std::string title = source;
    for (const std::string& a : extra) title += " " + a;
    each_way(
        source, extra,
        [&](const testsupport::run_result& r) {
          testsupport::expect_golden(golden, testsupport::transcript(title, r) + listing());
        },
        env);
  }
  // The runs of `source` with `extra` in each processing mode, each after
  // `setup` has made the tables it meets: the transcripts and listings.
  std::string each_mode(const std::string& source, const std::vector<std::string>& extra,
                        const std::vector<std::string>& setup) {
    std::string text;
    for (const std::string mode : {"0", "1", "2", "3"}) {
      sql(setup);
      std::vector<std::string> args = extra;
      args.push_back("--mode=" + mode);
      text += testsupport::transcript(source + " --mode=" + mode, convert(source, args));
      text += listing() + "\n";
    }
    return text;
  }
  // Every table of the test's database by name (or the table `only`):
  // "== name", the columns with their types, then the rows in the order they
  // were stored; cells are separated by tabs, NULL is \N, and backslash, tab,
  // CR and LF are escaped.
  std::string listing(const std::string& only = "") {
    std::string text;
    auto line = [&text](const std::vector<std::optional<std::string>>& cells) {
      for (size_t i = 0; i < cells.size(); ++i) {
        text += i ? "\t" : "";
        if (!cells[i]) text += "\\N";
        for (const char c : cells[i].value_or(""))
          text += c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
      }
      text += "\n";
    };
    for (const std::string& table : only.empty() ? tables() : std::vector<std::string>{only}) {
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
  // The test's database's (or `db`'s) tables, in byte order.
  std::vector<std::string> tables(const std::string& db = "") {
    return first_column("SELECT table_name FROM information_schema.tables WHERE table_schema='" +
                        (db.empty() ? db_ : db) + "' ORDER BY BINARY table_name");
  }
  // A table's columns as "name type", in order.
  std::vector<std::string> columns(const std::string& table) {
    return first_column(
        "SELECT CONCAT(column_name, ' ', column_type) FROM information_schema.columns WHERE "
        "table_schema='" +
        db_ + "' AND table_name='" + table + "' ORDER BY ordinal_position");
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
  // The first cell of every row of a query.
  std::vector<std::string> first_column(const std::string& sql) {
    std::vector<std::string> out;
    for (const auto& r : rows(sql)) out.push_back(r[0]);
    return out;
  }
  // One column of a table in the order `order_by` (empty: the order the
  // rows were stored in).
  std::vector<std::string> column(const std::string& table, const std::string& col, const std::string& order_by = "") {
    return first_column("SELECT `" + col + "` FROM `" + table + "`" +
                        (order_by.empty() ? "" : " ORDER BY " + order_by));
  }

  testsupport::temp_dir dir_;
};

}  // namespace wbtest
