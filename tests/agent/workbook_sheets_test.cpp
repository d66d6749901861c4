// Worksheets end to end: which sheets a workbook run converts, in which
// order and under which table names; selection by a table-names file;
// processing modes; and the messages of workbooks that cannot be read.

#include <gtest/gtest.h>

#include "workbook_support.h"

using testsupport::read_file;
using testsupport::run_result;
using testsupport::write_file;
using wbtest::table_rows;
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
      worksheet_write_string(s, 0, 0, name.c_str(), nullptr);
      worksheet_write_number(s, 1, 0, ++position, nullptr);
      worksheet_write_number(s, 0, 1, 10 * position, nullptr);
      worksheet_write_number(s, 1, 1, 10 * position + 1, nullptr);
      if (name == hidden) worksheet_hide(s);
    }
    lxw_chart* chart = workbook_add_chart(b.handle(), LXW_CHART_COLUMN);
    chart_add_series(chart, nullptr, ("='" + names[0] + "'!$A$1:$A$1").c_str());
    ASSERT_EQ(chartsheet_set_chart(workbook_add_chartsheet(b.handle(), "Chart1"), chart), LXW_NO_ERROR);
    b.close();
  }

  // Each table's first cell, by table.
  std::map<std::string, std::string> first_cells() {
    std::map<std::string, std::string> out;
    for (const std::string& t : tables()) out[t] = rows("SELECT f1 FROM `" + t + "` LIMIT 1").at(0).at(0);
    return out;
  }
};

std::string converting(int sheets, const std::vector<std::string>& tables) {
  return wbtest::converting("book.xlsx", tables, sheets);
}

// The friendly text of a message-table entry as the error handler prints
// it: its line feeds become spaces.
std::string friendly(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  return "Error:\n" + text + "\n";
}

}  // namespace

// Upper-case letters sort before lower-case ones: b, a, Z convert as Z, a,
// b. Hidden sheets are converted, chart sheets are not; names with
// characters other than letters, digits and "_" are quoted by the workbook
// engine and keep their inner apostrophes doubled; a table name with an
// apostrophe is made safe for the server.
TEST_F(WorkbookSheets, AllWorksheetsInAscendingOrderOfTheirNames) {
  write_book({"b", "a", "Z", "My Data", "O'Brien", "Hidden", "Sales-2024", uebersicht, "2024"}, "Hidden");
  both_ways("book.xlsx", {},
            converting(9, {"2024", "Hidden", "My Data", "O''Brien", "Sales-2024", "Z", "a", "b", uebersicht}), [&] {
              EXPECT_EQ(first_cells(), (std::map<std::string, std::string>{{"2024", "2024"},
                                                                           {"Hidden", "Hidden"},
                                                                           {"My Data", "My Data"},
                                                                           {"Sales-2024", "Sales-2024"},
                                                                           {"Z", "Z"},
                                                                           {"a", "a"},
                                                                           {"b", "b"},
                                                                           {"o__brien", "O'Brien"},
                                                                           {uebersicht, uebersicht}}));
            });
}

// A table-names file selects worksheets by their exact, case-sensitive
// names; a name that matches none is reported on stderr and skipped. When
// none matches, every worksheet is converted. --silent reports nothing.
TEST_F(WorkbookSheets, TableNamesFileSelectsWorksheets) {
  write_book({"Sheet1", "Sheet2", "Sheet3", "O'Brien", uebersicht}, "Sheet3");
  const std::vector<std::string> all = {"O''Brien", "Sheet1", "Sheet2", "Sheet3", uebersicht};
  const struct {
    const char* title;
    std::string file;
    std::string err;
    std::vector<std::string> converted;
    int listed;
    bool silent = false;
  } cases[] = {
      {"two found, one not", "Sheet3\nsheet1\n\nSheet2\n", "Worksheet sheet1 not found\n", {"Sheet2", "Sheet3"}, 2},
      {"UTF-8 with a byte-order mark, quoted name as listed",
       "\xEF\xBB\xBF" + uebersicht + "\r\nO''Brien\r\n",
       "",
       {"O''Brien", uebersicht},
       2},
      {"the unquoted name is not the listed one", "O'Brien\nSheet1\n", "Worksheet O'Brien not found\n", {"Sheet1"}, 1},
      {"none found: all converted", "SHEET1\nsheet2\n Sheet3\n",
       "Worksheet SHEET1 not found\nWorksheet sheet2 not found\nWorksheet  Sheet3 not found\n", all, 5},
      {"silent", "Missing\n", "", all, 5, true},
      // A line of any length is read whole.
      {"long line",
       std::string(5000, 'n') + "\nSheet1\n",
       "Worksheet " + std::string(5000, 'n') + " not found\n",
       {"Sheet1"},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    write_file(dir_.file("tables.txt"), c.file);
    std::vector<std::string> extra = {"--tab_file=tables.txt"};
    if (c.silent) extra.push_back("--silent");
    for (bool direct : {true, false}) {
      SCOPED_TRACE(direct ? "into the server" : "into a dump file");
      run_result r = direct ? convert("book.xlsx", extra) : dump("book.xlsx", "out.sql", extra);
      ASSERT_EQ(r.status, 0) << r.out << r.err;
      EXPECT_EQ(r.err, c.err);
      EXPECT_EQ(r.out, c.silent ? "" : converting(c.listed, c.converted));
      if (!direct) load_dump("out.sql");
      std::vector<std::string> want;
      for (const std::string& t : c.converted) want.push_back(t == "O''Brien" ? "o__brien" : t);
      std::sort(want.begin(), want.end());
      EXPECT_EQ(tables(), want);
    }
  }
}

// The processing modes with a database that already holds a table of one
// of the worksheets' names and a table of its own.
TEST_F(WorkbookSheets, ProcessingModes) {
  write_book({"Sheet1", "Sheet2"});
  const struct {
    std::string mode;
    bool other_kept;
    std::string out;
    std::vector<std::string> sheet1;  // f1 of Sheet1, the old row first
    std::string f2_type;              // of the table made for Sheet2
  } cases[] = {
      {"0", false, converting(2, {"Sheet1", "Sheet2"}), {"Sheet1", "1"}, "int(11)"},
      {"1", true, converting(2, {"Sheet1", "Sheet2"}), {"Sheet1", "1"}, "int(11)"},
      // Skip: the existing table is left as it was, its worksheet unread.
      {"2", true, converting(2, {"Sheet2"}), {"old"}, "int(11)"},
      // Merge: rows added to the existing table, no type refinement.
      {"3", true, converting(2, {"Sheet1", "Sheet2"}), {"old", "Sheet1", "1"}, "double"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("mode " + c.mode);
    for (const std::string& sql :
         {"DROP DATABASE IF EXISTS `" + db_ + "`", "CREATE DATABASE `" + db_ + "`",
          "CREATE TABLE `" + db_ + "`.Sheet1 (f1 VARCHAR(20), f2 DOUBLE)",
          "INSERT INTO `" + db_ + "`.Sheet1 VALUES ('old', NULL)", "CREATE TABLE `" + db_ + "`.other (x INT)"})
      ASSERT_TRUE(check_.exec(sql)) << sql;
    run_result r = convert("book.xlsx", {"--mode=" + c.mode});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(tables().size(), c.other_kept ? 3u : 2u);
    EXPECT_EQ(column("Sheet1", "f1", "f1 = 'old' DESC"), c.sheet1);
    EXPECT_EQ(rows("SELECT f1, f2 FROM Sheet2"), (table_rows{{"Sheet2", "20"}, {"2", "21"}}));
    EXPECT_EQ(columns("Sheet2").back(), "f2 " + c.f2_type);
  }
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
  const std::string protected_text = friendly(
      "The workbook and/or one of its workseets is password protected.\nYou should unprotect it first. Open it with "
      "MS Excel,\nremove the password and run Gridloader again.\n");
  const std::string structure_text = friendly(
      "Failed to recognize table structure in the worksheet.\nYou can migrate the data manually via CSV format. "
      "See\n'CSV Files' article in the documentation for details.");
  const struct {
    const char* name;
    std::string bytes;
    std::string out;
  } cases[] = {
      {"encrypted.xlsx", read_file(testsupport::source_dir() + "/tests/data/xlsx/encrypted_secret.xlsx"),
       protected_text},
      {"filepass.xls", filepass, protected_text},
      {"truncated.xlsx", good.substr(0, good.size() / 2), structure_text},
      {"truncated.xls", xls.substr(0, 1536), structure_text},
      {"missing.xlsx", "", "Error:\nCould not find file 'missing.xlsx'.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.bytes.empty()) write_file(dir_.file(c.name), c.bytes);
    for (const run_result& r : {convert(c.name), dump(c.name, "out.sql")}) {
      EXPECT_EQ(r.status, 255);
      EXPECT_EQ(r.out, c.out);
      EXPECT_EQ(r.err, "");
    }
  }
}
