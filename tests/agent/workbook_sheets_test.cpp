// Worksheets end to end: which sheets a workbook run converts, in which
// order and under which table names; selection by a table-names file;
// processing modes; and the messages of workbooks that cannot be read.

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "workbook_support.h"

using testsupport::read_file;
using testsupport::run_result;
using testsupport::write_file;
using wbtest::table_rows;
using wbtest::workbook_run;
using wbtest::xlsx_book;

namespace {

class WorkbookSheets : public workbook_run {
 protected:
  // A workbook whose sheets, in workbook order, each hold their own name in
  // A1 and the sheet's position below it, and numbers in column B.
  void write_book(const std::vector<std::string>& names, const std::vector<std::string>& hidden = {}) {
    xlsx_book b(dir_.file("book.xlsx"));
    int position = 0;
    for (const std::string& name : names) {
      lxw_worksheet* s = b.sheet(name.c_str());
      worksheet_write_string(s, 0, 0, name.c_str(), nullptr);
      worksheet_write_number(s, 1, 0, ++position, nullptr);
      worksheet_write_number(s, 0, 1, 10 * position, nullptr);
      worksheet_write_number(s, 1, 1, 10 * position + 1, nullptr);
      for (const std::string& h : hidden)
        if (h == name) worksheet_hide(s);
    }
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
  std::string out = "Converting spreadsheet book.xlsx(" + std::to_string(sheets) + " worksheets)\n";
  for (const std::string& t : tables) out += "Converting table " + t + "\n";
  return out;
}

// The friendly text of a message-table entry as the error handler prints
// it: its line feeds become spaces.
std::string friendly(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  return "Error:\n" + text + "\n";
}

const std::string protected_text = friendly(
    "The workbook and/or one of its workseets is password protected.\nYou should unprotect it first. Open it with MS "
    "Excel,\nremove the password and run Gridloader again.\n");
const std::string structure_text = friendly(
    "Failed to recognize table structure in the worksheet.\nYou can migrate the data manually via CSV format. "
    "See\n'CSV Files' article in the documentation for details.");

}  // namespace

// Upper-case letters sort before lower-case ones: b, a, Z convert as Z, a, b.
TEST_F(WorkbookSheets, ConvertedInAscendingOrderOfTheirNames) {
  write_book({"b", "a", "Z"});
  both_ways("book.xlsx", {}, converting(3, {"Z", "a", "b"}), [&] {
    EXPECT_EQ(first_cells(), (std::map<std::string, std::string>{{"Z", "Z"}, {"a", "a"}, {"b", "b"}}));
  });
}

// Hidden sheets are converted, chart sheets are not; names with characters
// other than letters, digits and "_" are quoted by the workbook engine and
// keep their inner apostrophes doubled; a table name with an apostrophe is
// made safe for the server.
TEST_F(WorkbookSheets, HiddenSheetsAndNamesThatNeedQuoting) {
  {
    xlsx_book b(dir_.file("book.xlsx"));
    const std::vector<std::string> names = {"My Data",
                                            "O'Brien",
                                            "Hidden",
                                            "Sales-2024",
                                            "\xC3\x9C"
                                            "bersicht",
                                            "2024"};
    for (const std::string& name : names) {
      lxw_worksheet* s = b.sheet(name.c_str());
      worksheet_write_string(s, 0, 0, name.c_str(), nullptr);
      if (name == "Hidden") worksheet_hide(s);
    }
    lxw_chart* chart = workbook_add_chart(b.handle(), LXW_CHART_COLUMN);
    chart_add_series(chart, nullptr, "='My Data'!$A$1:$A$1");
    lxw_chartsheet* cs = workbook_add_chartsheet(b.handle(), "Chart1");
    ASSERT_EQ(chartsheet_set_chart(cs, chart), LXW_NO_ERROR);
    b.close();
  }
  both_ways("book.xlsx", {},
            converting(6, {"2024", "Hidden", "My Data", "O''Brien", "Sales-2024",
                           "\xC3\x9C"
                           "bersicht"}),
            [&] {
              EXPECT_EQ(first_cells(), (std::map<std::string, std::string>{{"2024", "2024"},
                                                                           {"Hidden", "Hidden"},
                                                                           {"My Data", "My Data"},
                                                                           {"Sales-2024", "Sales-2024"},
                                                                           {"o__brien", "O'Brien"},
                                                                           {"\xC3\x9C"
                                                                            "bersicht",
                                                                            "\xC3\x9C"
                                                                            "bersicht"}}));
            });
}

// A table-names file selects worksheets by their exact, case-sensitive
// names; a name that matches none is reported on stderr and skipped. When
// none matches, every worksheet is converted.
TEST_F(WorkbookSheets, TableNamesFileSelectsWorksheets) {
  write_book({"Sheet1", "Sheet2", "Sheet3", "O'Brien",
              "\xC3\x9C"
              "bersicht"},
             {"Sheet3"});
  struct row {
    const char* title;
    std::string file;
    std::string err;
    std::vector<std::string> converted;
    int listed;
  } cases[] = {
      {"two found, one not", "Sheet3\nsheet1\n\nSheet2\n", "Worksheet sheet1 not found\n", {"Sheet2", "Sheet3"}, 2},
      {"UTF-8 with a byte-order mark, quoted name as listed",
       "\xEF\xBB\xBF\xC3\x9C"
       "bersicht\r\nO''Brien\r\n",
       "",
       {"O''Brien",
        "\xC3\x9C"
        "bersicht"},
       2},
      {"the unquoted name is not the listed one", "O'Brien\nSheet1\n", "Worksheet O'Brien not found\n", {"Sheet1"}, 1},
      {"none found: all converted",
       "SHEET1\nsheet2\n Sheet3\n",
       "Worksheet SHEET1 not found\nWorksheet sheet2 not found\nWorksheet  Sheet3 not found\n",
       {"O''Brien", "Sheet1", "Sheet2", "Sheet3",
        "\xC3\x9C"
        "bersicht"},
       5},
  };
  for (const row& c : cases) {
    SCOPED_TRACE(c.title);
    write_file(dir_.file("tables.txt"), c.file);
    for (bool direct : {true, false}) {
      SCOPED_TRACE(direct ? "into the server" : "into a dump file");
      run_result r = direct ? convert("book.xlsx", {"--tab_file=tables.txt"})
                            : dump("book.xlsx", "out.sql", {"--tab_file=tables.txt"});
      ASSERT_EQ(r.status, 0) << r.out << r.err;
      EXPECT_EQ(r.err, c.err);
      EXPECT_EQ(r.out, converting(c.listed, c.converted));
      if (!direct) load_dump("out.sql");
      std::vector<std::string> want;
      for (const std::string& t : c.converted) want.push_back(t == "O''Brien" ? "o__brien" : t);
      std::sort(want.begin(), want.end());
      EXPECT_EQ(tables(), want);
    }
  }
}

TEST_F(WorkbookSheets, SilentRunReportsNothing) {
  write_book({"Sheet1"});
  write_file(dir_.file("tables.txt"), "Missing\n");
  run_result r = convert("book.xlsx", {"--tab_file=tables.txt", "--silent"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(tables(), std::vector<std::string>{"Sheet1"});
}

// The processing modes with a database that already holds a table of one
// of the worksheets' names and a table of its own.
TEST_F(WorkbookSheets, ProcessingModes) {
  write_book({"Sheet1", "Sheet2"});
  struct row {
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
  for (const row& c : cases) {
    SCOPED_TRACE("mode " + c.mode);
    ASSERT_TRUE(check_.exec("DROP DATABASE IF EXISTS `" + db_ + "`"));
    ASSERT_TRUE(check_.exec("CREATE DATABASE `" + db_ + "`"));
    reconnect();
    ASSERT_TRUE(check_.exec("CREATE TABLE Sheet1 (f1 VARCHAR(20), f2 DOUBLE)"));
    ASSERT_TRUE(check_.exec("INSERT INTO Sheet1 VALUES ('old', NULL)"));
    ASSERT_TRUE(check_.exec("CREATE TABLE other (x INT)"));
    run_result r = convert("book.xlsx", {"--mode=" + c.mode});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, c.out);
    std::vector<std::string> want_tables = {"Sheet1", "Sheet2"};
    if (c.other_kept) want_tables.push_back("other");
    EXPECT_EQ(tables(), want_tables);
    EXPECT_EQ(column("Sheet1", "f1", "f1 = 'old' DESC"), c.sheet1);
    EXPECT_EQ(rows("SELECT f1, f2 FROM Sheet2"), (table_rows{{"Sheet2", "20"}, {"2", "21"}}));
    EXPECT_EQ(columns("Sheet2").back(), "f2 " + c.f2_type);
  }
}

// A record the server refuses is reported with its worksheet and record
// number; the other records are stored and the run ends with status 0.
TEST_F(WorkbookSheets, RefusedRecordIsReportedWithItsWorksheetAndNumber) {
  {
    xlsx_book b(dir_.file("book.xlsx"));
    lxw_worksheet* s = b.sheet("Qty");
    worksheet_write_string(s, 0, 0, "n", nullptr);
    worksheet_write_string(s, 0, 1, "qty", nullptr);
    const char* names[] = {"a", "b", "c", "d"};
    for (int r = 0; r < 4; ++r) {
      worksheet_write_string(s, r + 1, 0, names[r], nullptr);
      if (r == 2)
        worksheet_write_string(s, r + 1, 1, "lots", nullptr);
      else
        worksheet_write_number(s, r + 1, 1, r + 1, nullptr);
    }
    b.close();
  }
  ASSERT_TRUE(check_.exec("CREATE TABLE Qty (n VARCHAR(10), qty INT NOT NULL)"));
  run_result r = convert("book.xlsx", {"--extr_fn", "--mode=3"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.rfind(converting(1, {"Qty"}) + "Error:\nQty, record #3: ", 0), 0u) << r.out;
  EXPECT_EQ(rows("SELECT n, qty FROM Qty ORDER BY n"), (table_rows{{"a", "1"}, {"b", "2"}, {"d", "4"}}));
}

// A dump file already at the destination is replaced, whatever the mode.
TEST_F(WorkbookSheets, DumpReplacesAnExistingFile) {
  write_book({"Sheet1"});
  for (const char* mode : {"0", "3"}) {
    SCOPED_TRACE(mode);
    write_file(dir_.file("out.sql"), "this is not SQL;\n");
    run_result r = dump("book.xlsx", "out.sql", {std::string("--mode=") + mode});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(read_file(dir_.file("out.sql")).find("this is not SQL"), std::string::npos);
    load_dump("out.sql");
    EXPECT_EQ(rows("SELECT f1 FROM Sheet1"), (table_rows{{"Sheet1"}, {"1"}}));
  }
}

// Workbooks that cannot be read end the run with status 255 and the
// friendly text of their failure, into the server and into a dump alike.
TEST_F(WorkbookSheets, UnreadableWorkbooksShowTheFriendlyTexts) {
  write_book({"Sheet1"});
  const std::string good = read_file(dir_.file("book.xlsx"));
  const std::string xls = read_file(testsupport::source_dir() + "/tests/data/xls/cell_kinds.xls");
  std::string random_bytes(4096, '\0');
  std::mt19937 rng(8);
  for (char& c : random_bytes) c = static_cast<char>(rng());
  // An .xls whose workbook globals announce encryption: the record after
  // BOF becomes a FILEPASS record of the same length.
  std::string filepass = xls;
  const size_t bof = filepass.find(std::string("\x09\x08\x10\x00\x00\x06\x05\x00", 8));
  ASSERT_NE(bof, std::string::npos);
  ASSERT_EQ(filepass.substr(bof + 20, 4), std::string("\xE1\x00\x02\x00", 4));
  filepass.replace(bof + 20, 6, std::string("\x2F\x00\x02\x00\x00\x00", 6));
  // A ZIP package that is no workbook.
  wbtest::write_zip(dir_.file("notes.xlsx"), {{"notes.txt", "no workbook here"}});

  struct row {
    const char* name;
    std::string bytes;
    std::string out;
  } cases[] = {
      {"encrypted.xlsx", read_file(testsupport::source_dir() + "/tests/data/xlsx/encrypted_secret.xlsx"),
       protected_text},
      {"filepass.xls", filepass, protected_text},
      {"truncated.xlsx", good.substr(0, good.size() / 2), structure_text},
      {"truncated.xls", xls.substr(0, 1536), structure_text},
      {"random.xlsx", random_bytes, structure_text},
      {"empty.xlsx", "", structure_text},
      {"notes.xlsx", read_file(dir_.file("notes.xlsx")), structure_text},
      {"text.xls", "id,name\n1,x\n", structure_text},
      {"ole_header_only.xls", xls.substr(0, 512), structure_text},
  };
  for (const row& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir_.file(c.name), c.bytes);
    run_result r = convert(c.name);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
    r = dump(c.name, "out.sql");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, c.out);
  }
  run_result r = convert("missing.xlsx");
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "Error:\nCould not find file 'missing.xlsx'.\n");
  EXPECT_EQ(r.err, "");
}
