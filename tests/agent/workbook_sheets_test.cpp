// Worksheets end to end: which sheets a workbook run converts, in which
// order and under which table names; selection by a table-names file;
// processing modes; and the messages of workbooks that cannot be read. The
// outputs and tables are compared with tests/golden/workbook.

#include <gtest/gtest.h>

#include <utility>

#include "workbook_support.h"

using testsupport::read_file;
using testsupport::run_result;
using testsupport::write_file;
using wbtest::xlsx_book;

namespace {

const std::string uebersicht =
    "\xC3\x9C"
    "bersicht";

class WorkbookSheets : public wbtest::workbook_run {
 protected:
  // A workbook whose sheets, in workbook order, each hold their own name in
  // A1 and the sheet's position below it, and numbers in column B; and a
  // chart sheet.
  void write_book(const std::vector<std::string>& names, const std::string& hidden = "") {
    xlsx_book b(dir_.file("book.xlsx"));
    int position = 0;
    for (const std::string& name : names) {
      lxw_worksheet* s = b.sheet(name.c_str());
      ++position;
      wbtest::write_row(s, 0, {name, 10.0 * position});
      wbtest::write_row(s, 1, {double(position), 10.0 * position + 1});
      if (name == hidden) worksheet_hide(s);
    }
    lxw_chart* chart = workbook_add_chart(b.handle(), LXW_CHART_COLUMN);
    chart_add_series(chart, nullptr, ("='" + names[0] + "'!$A$1:$A$1").c_str());
    ASSERT_EQ(chartsheet_set_chart(workbook_add_chartsheet(b.handle(), "Chart1"), chart), LXW_NO_ERROR);
    b.close();
  }
};

}  // namespace

// Upper-case letters sort before lower-case ones: b, a, Z convert as Z, a,
// b. Hidden sheets are converted, chart sheets are not; names with
// characters other than letters, digits and "_" are quoted by the workbook
// engine and keep their inner apostrophes doubled; a table name with an
// apostrophe is made safe for the server.
TEST_F(WorkbookSheets, AllWorksheetsInAscendingOrderOfTheirNames) {
  write_book({"b", "a", "Z", "My Data", "O'Brien", "Hidden", "Sales-2024", uebersicht, "2024"}, "Hidden");
  both_ways("book.xlsx", {}, "workbook/sheet_order.txt");
}

// A table-names file selects worksheets by their exact, case-sensitive
// names; a name that matches none is reported on stderr and skipped. When
// none matches, every worksheet is converted. --silent reports nothing.
TEST_F(WorkbookSheets, TableNamesFileSelectsWorksheets) {
  write_book({"Sheet1", "Sheet2", "Sheet3", "O'Brien", uebersicht}, "Sheet3");
  const std::pair<const char*, std::string> cases[] = {
      {"two found, one not", "Sheet3\nsheet1\n\nSheet2\n"},
      {"UTF-8 with a byte-order mark, quoted name as listed", "\xEF\xBB\xBF" + uebersicht + "\r\nO''Brien\r\n"},
      {"the unquoted name is not the listed one", "O'Brien\nSheet1\n"},
      {"none found: all converted", "SHEET1\nsheet2\n Sheet3\n"},
      {"silent", "Missing\n"},
      // A line of any length is read whole.
      {"long line", std::string(5000, 'n') + "\nSheet1\n"},
  };
  std::string text;
  for (const auto& [title, file] : cases) {
    write_file(dir_.file("tables.txt"), file);
    std::vector<std::string> extra = {"--tab_file=tables.txt"};
    if (title == std::string("silent")) extra.push_back("--silent");
    std::string way = title;
    each_way("book.xlsx", extra, [&](const run_result& r) {
      text += testsupport::transcript(std::exchange(way, way + " (dump)"), r) + "tables:";
      for (const std::string& t : tables()) text += " " + t;
      text += "\n\n";
    });
  }
  testsupport::expect_golden("workbook/table_names_file.txt", text);
}

// The processing modes with a database that already holds a table of one
// of the worksheets' names (Sheet1, one row "old") and a table of its own:
// 0 drops the database, 1 the table; 2 leaves the table as it was, its
// worksheet unread; 3 adds the rows to it, with no type refinement.
TEST_F(WorkbookSheets, ProcessingModes) {
  write_book({"Sheet1", "Sheet2"});
  const std::string db = "`" + db_ + "`";
  testsupport::expect_golden(
      "workbook/processing_modes.txt",
      each_mode("book.xlsx", {},
                {"DROP DATABASE IF EXISTS " + db, "CREATE DATABASE " + db,
                 "CREATE TABLE " + db + ".Sheet1 (f1 VARCHAR(20), f2 DOUBLE)",
                 "INSERT INTO " + db + ".Sheet1 VALUES ('old', NULL)", "CREATE TABLE " + db + ".other (x INT)"}));
}

// Mode 2 leaves a worksheet's existing table as it is, which no dump can
// do: a dump says so with its table statements and with rows alone, which
// loaded add the sheets' rows to the tables there (it said nothing, or
// advised rows alone).
TEST_F(WorkbookSheets, Mode2IntoADumpSaysItCannotLeaveTheTables) {
  write_book({"Sheet1"});
  const std::string notice = "(a dump cannot leave a worksheet's table as it is: convert into the server for that)\n";
  for (const char* lines : {"", "dmp_ins_tab=0\n"}) {
    const run_result r = dump("book.xlsx", "b.sql", {"--mode=2"}, settings(lines));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(notice), std::string::npos) << lines << r.out;
  }
}

// Sheets whose names differ in surrounding spaces alone are both
// converted, whichever comes first: the one named without them keeps the
// plain name (a leading blank sorts first, and took it). A table-names file may name either exactly. One of the two
// used to be left out without a word.
TEST_F(WorkbookSheets, NamesThatDifferInSpacesAloneAreSheetsOfTheirOwn) {
  for (const auto& order : {std::vector<std::string>{"x ", "x"}, std::vector<std::string>{"x", "x "},
                            std::vector<std::string>{"x", " x"}}) {
    const std::string spaced = order[0] == "x" ? order[1] : order[0];
    std::vector<wbtest::xlsx_sheet> sheets;
    for (const std::string& name : order) sheets.push_back({name, {{"v"}, {"from '" + name + "'"}}});
    wbtest::write_xlsx(dir_.file("book.xlsx"), sheets);
    SCOPED_TRACE(order.front() + "|" + order.back());
    sql({"DROP TABLE IF EXISTS x", "DROP TABLE IF EXISTS x00000"});
    run_result r = convert("book.xlsx", {"--extr_fn", "--mode=1"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(check_.scalar("SELECT v FROM x"), "from 'x'");
    EXPECT_EQ(check_.scalar("SELECT v FROM x00000"), "from '" + spaced + "'");
    write_file(dir_.file("tables.txt"), spaced + "\n");
    check_.exec("DROP TABLE x00000");
    r = convert("book.xlsx", {"--extr_fn", "--mode=1", "--tab_file=tables.txt"});
    EXPECT_EQ(r.out.find("not found"), std::string::npos) << r.out;
    EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM x"), "1");
    EXPECT_EQ(tables(), (std::vector<std::string>{"x", "x00000"}));
  }
}

// A worksheet without a single value makes no table, and says so: its
// table used to replace the user's table of that name (mode 1, or a dump
// loaded later) by an empty one of an invented column F1. A workbook with
// nothing to convert fails the run and changes nothing.
TEST_F(WorkbookSheets, EmptyOrUnreadableWorksheetsChangeNothing) {
  wbtest::write_xlsx(dir_.file("book.xlsx"), {{"data", {{"a"}, {1.0}}}, {"keep", {}}});
  sql({"DROP TABLE IF EXISTS keep", "CREATE TABLE keep (id INT)", "INSERT INTO keep VALUES (7)"});
  // Each run's output and the tables after it, against
  // tests/golden/workbook/empty_or_unreadable_sheets.txt; the dump says what
  // the live run says.
  run_result r = convert("book.xlsx", {"--extr_fn", "--mode=1"});
  std::string text = testsupport::transcript("book.xlsx", r) + listing();
  r = dump("book.xlsx", "book.sql", {"--extr_fn"});
  EXPECT_EQ(testsupport::transcript("book.xlsx", r) + listing(), text);
  EXPECT_EQ(read_file(dir_.file("book.sql")).find("`keep`"), std::string::npos);

  // A workbook that opens but holds nothing to convert (its sheets empty,
  // or a sheet's part cut short) leaves the database as it was, also in
  // mode 0, and the run fails: mode 0 used to empty the database, status 0.
  wbtest::write_xlsx(dir_.file("empty.xlsx"), {{"S1", {}}, {"S2", {}}});
  wbtest::write_xlsx(dir_.file("cut.xlsx"), {{"S1", {{"a"}}}});
  wbtest::patch_part(dir_.file("cut.xlsx"), "xl/worksheets/sheet1.xml", "</sheetData>", "<row");
  // A sheet of 600 text columns: the server refuses its table (a row too
  // large), and mode 0 had emptied the database before, status 255.
  std::vector<wbtest::xlsx_cell> wide;
  for (int c = 0; c < 600; ++c) wide.push_back(std::string("c").append(std::to_string(c)));
  wbtest::write_xlsx(dir_.file("wide.xlsx"), {{"wide", {wide}}});
  for (const std::string book : {"empty.xlsx", "cut.xlsx", "wide.xlsx"}) {
    r = convert(book, {"--extr_fn", "--mode=0"});
    text += testsupport::transcript(book + " --mode=0", r) + listing();
  }
  testsupport::expect_golden("workbook/empty_or_unreadable_sheets.txt", text);
}

// Workbooks that cannot be read end the run with status 255 and the
// friendly text of their failure, into the server and into a dump alike.
// (Every other kind of damaged file is shown to fail alike in the workbook
// engine's own tests.)
TEST_F(WorkbookSheets, UnreadableWorkbooksShowTheFriendlyTexts) {
  write_book({"Sheet1"});
  const std::string good = read_file(dir_.file("book.xlsx"));
  const std::string xls = read_file(testsupport::source_dir() + "/tests/data/xls/cell_kinds.xls");
  // An .xls whose workbook globals announce encryption: the record after
  // BOF becomes a FILEPASS record of the same length.
  std::string filepass = xls;
  const size_t bof = filepass.find(std::string("\x09\x08\x10\x00\x00\x06\x05\x00", 8));
  ASSERT_NE(bof, std::string::npos);
  ASSERT_EQ(filepass.substr(bof + 20, 4), std::string("\xE1\x00\x02\x00", 4));
  filepass.replace(bof + 20, 6, std::string("\x2F\x00\x02\x00\x00\x00", 6));
  const std::pair<const char*, std::string> cases[] = {
      {"encrypted.xlsx", read_file(testsupport::source_dir() + "/tests/data/xlsx/encrypted_secret.xlsx")},
      {"filepass.xls", filepass},
      {"truncated.xlsx", good.substr(0, good.size() / 2)},
      {"truncated.xls", xls.substr(0, 1536)},
      {"missing.xlsx", ""},
  };
  std::string text;
  for (const auto& [name, bytes] : cases) {
    if (!bytes.empty()) write_file(dir_.file(name), bytes);
    text += testsupport::transcript(name, convert(name)) +
            testsupport::transcript(name + std::string(" (dump)"), dump(name, "out.sql"));
  }
  testsupport::expect_golden("workbook/unreadable_workbooks.txt", text);
}
