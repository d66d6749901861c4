// The same input converted into the server and into a dump file gives the
// same tables: every fixture's dump loads with the client (no --force) into
// a database of its own, and both databases hold the same definitions, rows
// and checksums. The refinement proposes only changes the server makes
// exactly, so no ALTER TABLE of the live run fails either. Workbook numbers
// arrive as their formats mean them, from the files of every Excel version.
// The tables are compared with tests/golden/round_trip.

#include <gtest/gtest.h>

#include "biff_test_writer.h"
#include "workbook_support.h"

using testsupport::run_result;
using testsupport::write_file;
using wbtest::table_rows;

namespace {

// Columns whose texts the refinement must judge as the server does: numbers
// the server reads only as text, one slash date pattern per column, dates in
// the server's forms, and rows the server refuses (a 4-byte character in a
// three-byte database), and text to escape.
const char* const kinds_csv =
    "int,big,point,exp,comma,inner,us,eu,either,iso,moment,clock,mixed,code,note\n"
    "1,3000000000,5.0,1e3,\"0,5\",12-3,12/31/2024,31/12/2024,1/2/2023,2024-02-29,2024-01-02 10:20:30,100:00:00,"
    "2024-01-02,007,plain\n"
    "-7,-3000000000,7,2,\"1,25\",5,1/2/2023,1/2/2023,3/4/2022,1999-12-31,1999-12-31 23:59:59,-1:00:00,"
    "1/2/2023,12,\"O'Brien's \\\\ \"\"line\"\"\nbreak, caf\xC3\xA9 \xE2\x82\xAC\"\n"
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
    const auto env = settings("dmp_ins_db=1\n");
    std::vector<std::string> live = extra;
    live.push_back("--logfile=live.log");
    const run_result r = convert(source, live, env);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(testsupport::read_file(dir_.file("live.log")).find("Got exception"), std::string::npos)
        << "a statement of the live run was refused";
    const run_result d = dump(source, dump_db() + ".sql", extra, env);
    ASSERT_EQ(d.status, 0) << d.out << d.err;
    // The same rows are refused both ways (the dump's database has its own name).
    EXPECT_EQ(testsupport::replace_all(d.out, dump_db(), db_), r.out);
    ASSERT_TRUE(load_dump(dump_db() + ".sql", dump_db()));
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
  live_and_dump_agree("kinds.csv", csv_args("kinds", {"--mode=0"}));
  // What the exact rules make of the columns.
  testsupport::expect_golden("round_trip/csv_kinds.txt", listing());
}

TEST_F(RoundTrip, Workbooks) {
  {
    wbtest::xlsx_book book(dir_.file("numbers.xlsx"));
    lxw_worksheet* s = book.sheet("Numbers");
    lxw_format* money = book.format("#,##0.00 [$EUR]");
    wbtest::write_row(s, 0, {"account", "amount", "price", "code", "flag"});
    const double accounts[] = {4400123456789.0, 9007199254740992.0, 12.0};
    for (lxw_row_t r = 1; r <= 3; ++r) {
      wbtest::write_row(s, r, {accounts[r - 1], r * 1.25});
      worksheet_write_number(s, r, 2, r * 10.5, money);
      worksheet_write_string(s, r, 3, r == 2 ? "2,2" : "7", nullptr);
      worksheet_write_boolean(s, r, 4, r % 2, nullptr);
    }
  }
  live_and_dump_agree("numbers.xlsx", {"--extr_fn"});
  EXPECT_EQ(columns("Numbers"), (std::vector<std::string>{"account bigint(20)", "amount double", "price decimal(19,4)",
                                                          "code varchar(255)", "flag int(11)"}));
}

// Numbers of one column that mean different things arrive as text, each as
// its format reads (then refined like any text); durations are no calendar
// dates; negative serials under date and time formats are numbers.
TEST_F(RoundTrip, WorkbookNumbersKeepTheirMeaning) {
  {
    wbtest::xlsx_book book(dir_.file("meanings.xlsx"));
    lxw_format* day = book.format("yyyy-mm-dd");
    lxw_format* clock = book.format("hh:mm");
    lxw_format* stamp = book.format("yyyy-mm-dd hh:mm:ss");
    lxw_format* hours = book.format("[h]:mm:ss");
    lxw_format* month_day = book.format("m\"\xE6\x9C\x88\"d\"\xE6\x97\xA5\"");  // m"月"d"日"
    lxw_format* builtin_elapsed = workbook_add_format(book.handle());
    format_set_num_format_index(builtin_elapsed, 46);
    auto column = [](lxw_worksheet* s, lxw_col_t c, const char* name,
                     const std::vector<std::pair<double, lxw_format*>>& cells) {
      worksheet_write_string(s, 0, c, name, nullptr);
      for (lxw_row_t r = 0; r < cells.size(); ++r) worksheet_write_number(s, r + 1, c, cells[r].first, cells[r].second);
    };
    lxw_worksheet* s = book.sheet("Meanings");
    column(s, 0, "every",
           {{45000, day},
            {0.75, clock},
            {45000.5, stamp},
            {1.5, hours},
            {12.5, nullptr},
            {19.99, book.format("\"$\"#,##0.00")},
            {45001, month_day}});
    // A formula whose cached result is a date, among dates.
    column(s, 1, "calendar", {{45000, day}, {45001, month_day}});
    worksheet_write_formula_num(s, 3, 1, "=B2+2", day, 45002);
    column(s, 2, "stamps", {{45000.5, stamp}, {7, nullptr}});

    s = book.sheet("Durations");
    const double limit = (838 * 3600 + 59 * 60 + 59) / 86400.0;
    column(s, 0, "elapsed", {{0, hours}, {1, hours}, {59, hours}, {60, hours}, {61, hours}});
    column(s, 1, "within",
           {{0.25, book.format("[h]:mm")}, {1.5, builtin_elapsed}, {limit, hours}, {-0.5, book.format("[mm]:ss")}});
    column(s, 2, "past", {{limit, hours}, {limit + 1 / 86400.0, hours}});

    s = book.sheet("Negative");
    column(s, 0, "day", {{45000, day}, {-1, day}});
    column(s, 1, "clock", {{0.5, clock}, {-0.25, clock}});
    column(s, 2, "stamp", {{-1.25, stamp}, {45000.5, stamp}});
    column(s, 3, "only", {{-1.25, stamp}, {-3, day}});
    worksheet_write_string(s, 3, 2, "none", nullptr);  // a text column in any case
  }
  // The types arrive as the engine gives them: refinement has nothing to change.
  for (const char* refine : {"--mode=0", "--no_refine"}) {
    SCOPED_TRACE(refine);
    live_and_dump_agree("meanings.xlsx", {"--extr_fn", refine});
    testsupport::expect_golden("round_trip/meanings.txt", listing());
  }
}

// Files of Excel 2.x (a non-Latin code page, named after the file), 3.0
// (known by its content under another extension) and an Excel 4.0 workbook
// of three worksheets (one named in Windows-1252, one with formats of its
// own) and a chart, written record by record.
TEST_F(RoundTrip, ExcelTwoToFourFiles) {
  using namespace biff_test;
  const std::string cp1251 = early::codepage(1251);
  const auto formats = [](int v) {
    std::string out;
    for (const char* code : {"General", "dd.mm.yyyy", "[h]:mm", "\"$\"#,##0.00", "h:mm"}) out += early::format(v, code);
    if (v != 2)
      for (unsigned i = 0; i < 5; ++i) out += early::xf(v, i);
    return out;
  };
  // \u0422\u043e\u0432\u0430\u0440 and so on, in code page 1251.
  const std::string goods = "\xD2\xEE\xE2\xE0\xF0", price = "\xD6\xE5\xED\xE0", bread = "\xD5\xEB\xE5\xE1",
                    milk = "\xCC\xEE\xEB\xEE\xEA\xEE";
  write_file(dir_.file("\xD0\x9F\xD1\x80\xD0\xB0\xD0\xB9\xD1\x81.xls"),  // "Прайс.xls" in UTF-8
             early::sheet(2, cp1251 + formats(2) + early::label(2, 0, 0, 0, goods) + early::label(2, 0, 1, 0, price) +
                                 early::label(2, 0, 2, 0, "date") + early::label(2, 1, 0, 0, bread) +
                                 early::number(2, 1, 1, 0, 45.5) + early::number(2, 1, 2, 1, 45000) +
                                 early::label(2, 2, 0, 0, milk) + early::integer(2, 1, 0, 80) +
                                 early::integer(2, 2, 1, 45001)));
  write_file(dir_.file("ledger.dat"),
             early::sheet(3, formats(3) + early::label(3, 0, 0, 0, "spent") + early::label(3, 0, 1, 0, "amount") +
                                 early::number(3, 1, 0, 2, 1.5) + early::number(3, 1, 1, 3, 12.5) +
                                 early::formula(3, 2, 0, 2, formula_number(40)) + early::number(3, 2, 1, 0, 3)));
  // Beta's own formats, not the globals', decide its cells: its XF 1 is a time.
  const std::string beta = early::format(4, "General") + early::format(4, "h:mm") + early::xf(4, 0) + early::xf(4, 1) +
                           early::label(4, 0, 0, 0, "at") + early::number(4, 1, 0, 1, 0.75);
  write_file(dir_.file("three.xlw"),
             early::workbook4(
                 formats(4) + early::datemode(true),
                 {{"Alpha", early::sheet(4, early::label(4, 0, 0, 0, "day") + early::number(4, 1, 0, 1, 0))},
                  {"Beta", early::sheet(4, beta)},
                  {"Chart1", early::chart(4)},
                  {"G\xE4mma", early::sheet(4, early::label(4, 0, 0, 0, "flag") + early::boolerr(4, 1, 0, 1, false) +
                                                   early::formula(4, 2, 0, 0, formula_special(1, 0)))}}));

  // 960 hours are past the TIME range; currency beside a plain number is
  // text ("12.5000", "3") until refined.
  std::string text;
  for (const char* file : {"\xD0\x9F\xD1\x80\xD0\xB0\xD0\xB9\xD1\x81.xls", "ledger.dat", "three.xlw"}) {
    live_and_dump_agree(file, {"--extr_fn"});
    text += std::string("$ ") + file + "\n" + listing();
  }
  testsupport::expect_golden("round_trip/excel_2_to_4.txt", text);
}
