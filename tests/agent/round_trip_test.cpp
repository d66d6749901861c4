// The same input converted into the server and into a dump file gives the
// same tables: every fixture's dump loads with the client (no --force) into
// a database of its own, and both databases hold the same definitions, rows
// and checksums. The refinement proposes only changes the server makes
// exactly, so no ALTER TABLE of the live run fails either.

#include <gtest/gtest.h>

#include "workbook_support.h"

using testsupport::run_result;
using testsupport::write_file;
using wbtest::table_rows;

namespace {

// Columns whose texts the refinement must judge as the server does: numbers
// the server reads only as text, one slash date pattern per column, dates in
// the server's forms, and rows the server refuses (a 4-byte character in a
// three-byte database).
const char* const kinds_csv =
    "int,big,point,exp,comma,inner,us,eu,either,iso,moment,clock,mixed,code,note\n"
    "1,3000000000,5.0,1e3,\"0,5\",12-3,12/31/2024,31/12/2024,1/2/2023,2024-02-29,2024-01-02 10:20:30,100:00:00,"
    "2024-01-02,007,plain\n"
    "-7,-3000000000,7,2,\"1,25\",5,1/2/2023,1/2/2023,3/4/2022,1999-12-31,1999-12-31 23:59:59,-1:00:00,"
    "1/2/2023,12,second\n"
    ",,,,\"2,2\",,,,,,,,,,\xF0\x9F\x98\x80 refused\n"
    ",,,,,,,,,,,,,,\n"
    "2147483647,9223372036854775807,-0.5,1.5E-3,\"3\",-4,2/29/2024,29/2/2024,5/5/2020,0001-01-01,"
    "2000-02-29 00:00:00,838:59:59,1999-12-31,0,last\n";

class RoundTrip : public wbtest::workbook_run {
 protected:
  void TearDown() override {
    check_.exec("DROP DATABASE IF EXISTS `" + dump_db() + "`");
    workbook_run::TearDown();
  }
  std::string dump_db() const { return db_ + "_d"; }

  // Converts `source` live (its trace log checked for refused statements)
  // and into a dump that creates its own database, loads the dump, and
  // compares the two databases table by table.
  void live_and_dump_agree(const std::string& source, const std::vector<std::string>& extra) {
    write_file(dir_.file("settings"), "dmp_ins_db=1\n");
    const std::map<std::string, std::string> env{{"GRIDLOAD_SETTINGS", dir_.file("settings")}};
    std::vector<std::string> live = extra;
    live.push_back("--logfile=live.log");
    const run_result r = convert(source, live, env);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(testsupport::read_file(dir_.file("live.log")).find("Got exception"), std::string::npos)
        << "a statement of the live run was refused";
    const run_result d = dump(source, dump_db() + ".sql", extra, env);
    ASSERT_EQ(d.status, 0) << d.out << d.err;
    // The same rows are refused both ways (the dump's database has its own name).
    std::string dump_out = d.out;
    for (size_t at; (at = dump_out.find(dump_db())) != std::string::npos;) dump_out.replace(at, dump_db().size(), db_);
    EXPECT_EQ(dump_out, r.out);
    const run_result load = testsupport::run(
        "/bin/sh", {"sh", "-c", R"(exec mariadb --no-defaults -h"$1" -P"$2" -u"$3" -p"$4" < "$5")", "sh", address_.host,
                    std::to_string(address_.port), address_.user, address_.password, dir_.file(dump_db() + ".sql")});
    ASSERT_EQ(load.status, 0) << load.err;
    reconnect();
    const std::vector<std::string> names = tables();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(tables(dump_db()), names);
    for (const std::string& t : names) {
      SCOPED_TRACE(t);
      auto state = [&](const std::string& db) {
        const std::string table = "`" + db + "`.`" + t + "`";
        table_rows out = rows("SHOW CREATE TABLE " + table);
        for (const auto& row : rows("SELECT * FROM " + table)) out.push_back(row);
        out.push_back({rows("CHECKSUM TABLE " + table).at(0).at(1)});
        return out;
      };
      EXPECT_EQ(state(dump_db()), state(db_));
    }
  }
};

}  // namespace

TEST_F(RoundTrip, CsvColumnsOfEveryKind) {
  write_file(dir_.file("kinds.csv"), kinds_csv);
  live_and_dump_agree("kinds.csv", {"--from_csv", "--csv_delim=2", "--extr_fn", "--tab_name=kinds", "--mode=0"});
  // What the exact rules make of the columns.
  EXPECT_EQ(columns("kinds"),
            (std::vector<std::string>{"int int(11)", "big bigint(20)", "point double", "exp double",
                                      "comma varchar(255)", "inner varchar(255)", "us date", "eu date",
                                      "either varchar(255)", "iso date", "moment datetime", "clock time",
                                      "mixed varchar(255)", "code varchar(255)", "note varchar(255)"}));
  EXPECT_EQ(column("kinds", "us", "`int`"),
            (std::vector<std::string>{"<NULL>", "2023-01-02", "2024-12-31", "2024-02-29"}));
  EXPECT_EQ(column("kinds", "eu", "`int`"),
            (std::vector<std::string>{"<NULL>", "2023-02-01", "2024-12-31", "2024-02-29"}));
}

TEST_F(RoundTrip, Workbooks) {
  {
    wbtest::xlsx_book book(dir_.file("numbers.xlsx"));
    lxw_worksheet* s = book.sheet("Numbers");
    lxw_format* money = book.format("#,##0.00 [$EUR]");
    const char* header[] = {"account", "amount", "price", "code", "flag"};
    for (lxw_col_t c = 0; c < 5; ++c) worksheet_write_string(s, 0, c, header[c], nullptr);
    const double accounts[] = {4400123456789.0, 9007199254740992.0, 12.0};
    for (lxw_row_t r = 1; r <= 3; ++r) {
      worksheet_write_number(s, r, 0, accounts[r - 1], nullptr);
      worksheet_write_number(s, r, 1, r * 1.25, nullptr);
      worksheet_write_number(s, r, 2, r * 10.5, money);
      worksheet_write_string(s, r, 3, r == 2 ? "2,2" : "7", nullptr);
      worksheet_write_boolean(s, r, 4, r % 2, nullptr);
    }
  }
  live_and_dump_agree("numbers.xlsx", {"--extr_fn"});
  EXPECT_EQ(columns("Numbers"), (std::vector<std::string>{"account bigint(20)", "amount double", "price decimal(19,4)",
                                                          "code varchar(255)", "flag int(11)"}));
  for (const char* fixture : {"cell_kinds.xls", "dates_1900.xls", "number_formats.xls", "unicode_text.xls"}) {
    SCOPED_TRACE(fixture);
    live_and_dump_agree(testsupport::source_dir() + "/tests/data/xls/" + fixture, {"--extr_fn"});
  }
}
