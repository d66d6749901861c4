// .xlsx workbooks end to end: files written by libxlsxwriter, converted by
// the real gridload binary into the private server and into dump files that
// are loaded back, every value compared with what the writer was given.

#include <gtest/gtest.h>

#include <cstdio>

#include "workbook_support.h"

using testsupport::run_result;
using wbtest::table_rows;
using wbtest::workbook_run;
using wbtest::xlsx_book;

namespace {

class XlsxValues : public workbook_run {
 protected:
  std::string book_path() const { return dir_.file("book.xlsx"); }
};

const std::string converting_one = "Converting spreadsheet book.xlsx(1 worksheets)\n";

lxw_datetime moment(int y, int m, int d, int hh = 0, int mm = 0, double ss = 0) {
  return lxw_datetime{y, m, d, hh, mm, ss};
}

}  // namespace

// One sheet per date system: a date column, a date-and-time column, a time
// column, a currency and a percent column. The 1900 dates go through the
// writer's own date arithmetic (including its fictitious 1900-02-29); the
// 1904 serials are counted here from 1904-01-01.
TEST_F(XlsxValues, DatesTimesCurrencyAndPercentInBothDateSystems) {
  for (bool date1904 : {false, true}) {
    SCOPED_TRACE(date1904 ? "1904" : "1900");
    {
      xlsx_book b(book_path());
      lxw_worksheet* s = b.sheet("Calendar");
      lxw_format* day = b.format("yyyy-mm-dd");
      lxw_format* stamp = b.format("dd.mm.yyyy hh:mm:ss");
      lxw_format* clock = b.format("hh:mm:ss");
      lxw_format* money = b.format("\"$\"#,##0.00");
      lxw_format* percent = b.format("0.00%");
      const char* heads[] = {"day", "moment", "clock", "price", "share"};
      for (int c = 0; c < 5; ++c) worksheet_write_string(s, 0, c, heads[c], nullptr);
      if (!date1904) {
        const lxw_datetime days[] = {moment(1900, 1, 1), moment(1900, 2, 28), moment(1900, 3, 1), moment(2024, 2, 29),
                                     moment(9999, 12, 31)};
        for (int r = 0; r < 5; ++r) worksheet_write_datetime(s, r + 1, 0, const_cast<lxw_datetime*>(&days[r]), day);
        const lxw_datetime stamps[] = {moment(2024, 7, 15, 13, 45, 30), moment(1999, 12, 31, 23, 59, 59),
                                       moment(2000, 1, 1)};
        for (int r = 0; r < 3; ++r) worksheet_write_datetime(s, r + 1, 1, const_cast<lxw_datetime*>(&stamps[r]), stamp);
      } else {
        const double days[] = {0, wbtest::serial_1904(1904, 2, 29), wbtest::serial_1904(1904, 3, 1),
                               wbtest::serial_1904(2024, 2, 29), wbtest::serial_1904(9999, 12, 31)};
        for (int r = 0; r < 5; ++r) worksheet_write_number(s, r + 1, 0, days[r], day);
        const double stamps[] = {wbtest::serial_1904(2024, 7, 15, 13, 45, 30),
                                 wbtest::serial_1904(1999, 12, 31, 23, 59, 59), wbtest::serial_1904(2000, 1, 1)};
        for (int r = 0; r < 3; ++r) worksheet_write_number(s, r + 1, 1, stamps[r], stamp);
      }
      // Times are fractions of a day in both systems; 0 is midnight.
      const double clocks[] = {0, (6 * 3600 + 30 * 60 + 15) / 86400.0, 0.5, (86400 - 1) / 86400.0};
      for (int r = 0; r < 4; ++r) worksheet_write_number(s, r + 1, 2, clocks[r], clock);
      const double prices[] = {1234.5, -0.75, 99.99, 0};
      for (int r = 0; r < 4; ++r) worksheet_write_number(s, r + 1, 3, prices[r], money);
      const double shares[] = {0.125, 1.5, -0.2};
      for (int r = 0; r < 3; ++r) worksheet_write_number(s, r + 1, 4, shares[r], percent);
      b.close();
      if (date1904) wbtest::patch_part(book_path(), "xl/workbook.xml", "<workbookPr ", "<workbookPr date1904=\"1\" ");
    }
    const std::string y0 = date1904 ? "1904-01-01" : "1900-01-01";
    const std::string y1 = date1904 ? "1904-02-29" : "1900-02-28";
    const std::string y2 = date1904 ? "1904-03-01" : "1900-03-01";
    both_ways("book.xlsx", {"--extr_fn"}, converting_one + "Converting table Calendar\n", [&] {
      EXPECT_EQ(columns("Calendar"), (std::vector<std::string>{"day date", "moment datetime", "clock time",
                                                               "price double", "share double"}));
      EXPECT_EQ(rows("SELECT * FROM Calendar"), (table_rows{
                                                    {y0, "2024-07-15 13:45:30", "00:00:00", "1234.5", "0.125"},
                                                    {y1, "1999-12-31 23:59:59", "06:30:15", "-0.75", "1.5"},
                                                    {y2, "2000-01-01 00:00:00", "12:00:00", "99.99", "-0.2"},
                                                    {"2024-02-29", "<NULL>", "23:59:59", "0", "<NULL>"},
                                                    {"9999-12-31", "<NULL>", "<NULL>", "<NULL>", "<NULL>"},
                                                }));
    });
  }
}

// Serial 60 of the 1900 system is the fictitious 1900-02-29: it arrives as
// the day before, never as an invalid date.
TEST_F(XlsxValues, FictitiousLeapDayOf1900ArrivesAsTheDayBefore) {
  {
    xlsx_book b(book_path());
    lxw_worksheet* s = b.sheet("Leap");
    lxw_format* day = b.format("yyyy-mm-dd");
    worksheet_write_number(s, 0, 0, 59, day);
    worksheet_write_number(s, 1, 0, 60, day);
    worksheet_write_number(s, 2, 0, 61, day);
    b.close();
  }
  both_ways("book.xlsx", {}, converting_one + "Converting table Leap\n", [&] {
    EXPECT_EQ(column("Leap", "f1", "f1"), (std::vector<std::string>{"1900-02-28", "1900-02-28", "1900-03-01"}));
  });
}

// Without refinement the currency column keeps the exact decimal type the
// currency format gave it, with the four decimals the writer stored (also
// above 2^53 / 10,000, where a product with 10,000 in double precision
// already rounds).
TEST_F(XlsxValues, CurrencyColumnIsExactDecimalWithoutRefinement) {
  {
    xlsx_book b(book_path());
    lxw_worksheet* s = b.sheet("Money");
    lxw_format* euro = b.format("#,##0.00 [$\xE2\x82\xAC-407]");
    lxw_format* plain = b.format("0.00");
    const double values[] = {1234.5, -0.75, 922337203685.4775};
    for (int r = 0; r < 3; ++r) {
      worksheet_write_number(s, r, 0, values[r], euro);
      worksheet_write_number(s, r, 1, values[r], plain);
    }
    b.close();
  }
  both_ways("book.xlsx", {"--no_refine"}, converting_one + "Converting table Money\n", [&] {
    EXPECT_EQ(columns("Money"), (std::vector<std::string>{"f1 decimal(19,4)", "f2 double"}));
    EXPECT_EQ(rows("SELECT * FROM Money ORDER BY f2"),
              (table_rows{{"-0.7500", "-0.75"}, {"1234.5000", "1234.5"}, {"922337203685.4775", "922337203685.4775"}}));
  });
}

// Booleans, error cells (NULL) and formulas, whose cached results are the
// values. The writer marks every string result "str"; the error and
// boolean results are patched in.
TEST_F(XlsxValues, BooleansErrorsAndCachedFormulaResults) {
  {
    xlsx_book b(book_path());
    lxw_worksheet* s = b.sheet("Calc");
    const char* heads[] = {"flag", "broken", "product", "label", "test"};
    for (int c = 0; c < 5; ++c) worksheet_write_string(s, 0, c, heads[c], nullptr);
    worksheet_write_boolean(s, 1, 0, 1, nullptr);
    worksheet_write_boolean(s, 2, 0, 0, nullptr);
    worksheet_write_boolean(s, 3, 0, 1, nullptr);
    worksheet_write_formula_str(s, 1, 1, "=1/0", nullptr, "#DIV/0!");
    worksheet_write_formula_str(s, 2, 1, "=NA()", nullptr, "#N/A");
    worksheet_write_number(s, 3, 1, 5, nullptr);
    worksheet_write_formula_num(s, 1, 2, "=2*21", nullptr, 42);
    worksheet_write_formula_num(s, 2, 2, "=1/4", nullptr, 0.25);
    worksheet_write_formula_num(s, 3, 2, "=-3/2", nullptr, -1.5);
    worksheet_write_formula_str(s, 1, 3, "=\"x\"&1", nullptr, "x1");
    worksheet_write_formula_str(s, 2, 3, "=REPT(\"ab\",2)", nullptr, "abab");
    worksheet_write_formula_str(s, 1, 4, "=AND(TRUE)", nullptr, "1");
    worksheet_write_formula_str(s, 2, 4, "=OR(FALSE)", nullptr, "0");
    b.close();
    const std::string sheet = "xl/worksheets/sheet1.xml";
    wbtest::patch_part(book_path(), sheet, "t=\"str\"><f>1/0</f>", "t=\"e\"><f>1/0</f>");
    wbtest::patch_part(book_path(), sheet, "t=\"str\"><f>NA()</f>", "t=\"e\"><f>NA()</f>");
    wbtest::patch_part(book_path(), sheet, "t=\"str\"><f>AND(TRUE)</f>", "t=\"b\"><f>AND(TRUE)</f>");
    wbtest::patch_part(book_path(), sheet, "t=\"str\"><f>OR(FALSE)</f>", "t=\"b\"><f>OR(FALSE)</f>");
  }
  both_ways("book.xlsx", {"--extr_fn"}, converting_one + "Converting table Calc\n", [&] {
    EXPECT_EQ(rows("SELECT flag, broken, product, label, test FROM Calc"), (table_rows{
                                                                               {"1", "<NULL>", "42", "x1", "1"},
                                                                               {"0", "<NULL>", "0.25", "abab", "0"},
                                                                               {"1", "5", "-1.5", "<NULL>", "<NULL>"},
                                                                           }));
  });
}

// Shared strings (the default) and inline strings (the writer's
// constant-memory mode) deliver the same texts: rich-text runs joined,
// line breaks kept, a carriage return (written as the _x000D_ escape)
// decoded, 4-byte characters whole, and a text over 255 characters in a
// long-text column.
TEST_F(XlsxValues, SharedInlineAndRichTextStrings) {
  const std::string long_text = [] {
    std::string t;
    for (int i = 0; t.size() < 3000; ++i) t += "chunk " + std::to_string(i) + " \xC3\xA9\xE4\xB8\xAD; ";
    return t;
  }();
  const std::vector<std::string> plain = {"caf\xC3\xA9",
                                          "\xE4\xB8\xAD\xE6\x96\x87",
                                          "emoji \xF0\x9F\x98\x80 pair",
                                          "line one\nline two",
                                          "carriage\rreturn",
                                          "  spaced  ",
                                          "tab\there",
                                          "it's a \"quote\" and a \\ backslash",
                                          long_text};
  for (bool inline_strings : {false, true}) {
    SCOPED_TRACE(inline_strings ? "inline strings" : "shared strings");
    {
      xlsx_book b(book_path(), inline_strings);
      lxw_worksheet* s = b.sheet("Texts");
      lxw_format* bold = workbook_add_format(b.handle());
      format_set_bold(bold);
      lxw_format* italic = workbook_add_format(b.handle());
      format_set_italic(italic);
      // Row by row: the constant-memory writer only takes rows in order.
      for (size_t r = 0; r < plain.size(); ++r) {
        worksheet_write_string(s, r, 0, plain[r].c_str(), nullptr);
        if (r == 0) {
          lxw_rich_string_tuple a{bold, const_cast<char*>("Bold")};
          lxw_rich_string_tuple b2{nullptr, const_cast<char*>(" and plain, ")};
          lxw_rich_string_tuple c{italic, const_cast<char*>("italic\n\xE2\x82\xAC")};
          lxw_rich_string_tuple* runs[] = {&a, &b2, &c, nullptr};
          ASSERT_EQ(worksheet_write_rich_string(s, r, 1, runs, nullptr), LXW_NO_ERROR);
        }
      }
      b.close();
    }
    both_ways("book.xlsx", {"--charset=utf8mb4"}, converting_one + "Converting table Texts\n", [&] {
      EXPECT_EQ(columns("Texts"), (std::vector<std::string>{"f1 longtext", "f2 varchar(255)"}));
      table_rows got = rows("SELECT f1, f2 FROM Texts");
      ASSERT_EQ(got.size(), plain.size());
      for (size_t r = 0; r < plain.size(); ++r) EXPECT_EQ(got[r][0], plain[r]) << "row " << r + 1;
      EXPECT_EQ(got[0][1], "Bold and plain, italic\n\xE2\x82\xAC");
    });
  }
}

// A column whose cells are of several kinds is text; each value arrives in
// its text form. A column with numbers and empty cells stays numeric, and
// a column without any value is text.
TEST_F(XlsxValues, MixedColumnsArriveAsTheirTextForms) {
  {
    xlsx_book b(book_path());
    lxw_worksheet* s = b.sheet("Mixed");
    lxw_format* day = b.format("yyyy-mm-dd");
    lxw_format* stamp = b.format("yyyy-mm-dd hh:mm");
    lxw_format* clock = b.format("h:mm:ss AM/PM");
    lxw_format* money = b.format("\"$\"#,##0.00");
    const char* heads[] = {"anything", "sparse", "nothing"};
    for (int c = 0; c < 3; ++c) worksheet_write_string(s, 0, c, heads[c], nullptr);
    int r = 1;
    worksheet_write_number(s, r++, 0, 42, nullptr);
    worksheet_write_number(s, r++, 0, 1.5, nullptr);
    worksheet_write_number(s, r++, 0, 1e20, nullptr);
    worksheet_write_number(s, r++, 0, -0.001, nullptr);
    worksheet_write_string(s, r++, 0, "word", nullptr);
    worksheet_write_number(s, r++, 0, wbtest::serial_1900(2024, 2, 29), day);
    worksheet_write_number(s, r++, 0, wbtest::serial_1900(2024, 7, 15, 13, 45), stamp);
    worksheet_write_number(s, r++, 0, (6 * 3600 + 30 * 60) / 86400.0, clock);
    worksheet_write_boolean(s, r++, 0, 1, nullptr);
    worksheet_write_boolean(s, r++, 0, 0, nullptr);
    worksheet_write_number(s, r++, 0, 19.99, money);
    worksheet_write_number(s, 1, 1, 3.25, nullptr);
    worksheet_write_number(s, 4, 1, -8, nullptr);
    b.close();
  }
  both_ways("book.xlsx", {"--extr_fn"}, converting_one + "Converting table Mixed\n", [&] {
    EXPECT_EQ(columns("Mixed"),
              (std::vector<std::string>{"anything varchar(255)", "sparse double", "nothing varchar(255)"}));
    EXPECT_EQ(rows("SELECT * FROM Mixed"), (table_rows{
                                               {"42", "3.25", "<NULL>"},
                                               {"1.5", "<NULL>", "<NULL>"},
                                               {"1E+20", "<NULL>", "<NULL>"},
                                               {"-0.001", "-8", "<NULL>"},
                                               {"word", "<NULL>", "<NULL>"},
                                               {"2024-02-29", "<NULL>", "<NULL>"},
                                               {"2024-07-15 13:45:00", "<NULL>", "<NULL>"},
                                               {"06:30:00", "<NULL>", "<NULL>"},
                                               {"TRUE", "<NULL>", "<NULL>"},
                                               {"FALSE", "<NULL>", "<NULL>"},
                                               {"19.99", "<NULL>", "<NULL>"},
                                           }));
  });
}

// Header names: an empty or blank header gives F<n>, a name already taken
// (ignoring case) gets the lowest number that makes it unique; the server's
// column names are lower case. Without --extr_fn the header row is data.
TEST_F(XlsxValues, HeaderRowWithEmptyAndDuplicateNames) {
  {
    xlsx_book b(book_path());
    lxw_worksheet* s = b.sheet("Heads");
    const char* heads[] = {"id", "", "Name", "name", "  ", "NAME", "f2"};
    for (int c = 0; c < 7; ++c)
      if (*heads[c]) worksheet_write_string(s, 0, c, heads[c], nullptr);
    for (int c = 0; c < 7; ++c) worksheet_write_number(s, 1, c, c + 1, nullptr);
    b.close();
  }
  both_ways("book.xlsx", {"--extr_fn"}, converting_one + "Converting table Heads\n", [&] {
    EXPECT_EQ(columns("Heads"), (std::vector<std::string>{"id int(11)", "f2 int(11)", "name int(11)", "name1 int(11)",
                                                          "f5 int(11)", "name2 int(11)", "f21 int(11)"}));
    EXPECT_EQ(rows("SELECT * FROM Heads"), (table_rows{{"1", "2", "3", "4", "5", "6", "7"}}));
  });
  both_ways("book.xlsx", {}, converting_one + "Converting table Heads\n", [&] {
    EXPECT_EQ(columns("Heads").front(), "f1 varchar(255)");
    EXPECT_EQ(rows("SELECT f1, f3, f7 FROM Heads"), (table_rows{{"id", "Name", "f2"}, {"1", "3", "7"}}));
  });
}

// The used range starts at the first used row and column: leading empty
// rows and columns are not part of the table, empty rows inside it are
// records of NULLs unless --skip_empty drops them.
TEST_F(XlsxValues, UsedRangeAndSkipEmptyRows) {
  {
    xlsx_book b(book_path());
    lxw_worksheet* s = b.sheet("Gaps");
    lxw_format* filled = workbook_add_format(b.handle());
    format_set_bg_color(filled, LXW_COLOR_YELLOW);
    worksheet_write_string(s, 2, 1, "k", nullptr);
    worksheet_write_string(s, 2, 2, "v", nullptr);
    worksheet_write_number(s, 3, 1, 1, nullptr);
    worksheet_write_string(s, 3, 2, "one", nullptr);
    worksheet_write_blank(s, 5, 1, filled);  // formatted, no value
    worksheet_write_number(s, 6, 1, 2, nullptr);
    worksheet_write_string(s, 6, 2, "two", nullptr);
    worksheet_write_string(s, 8, 2, "only v", nullptr);
    b.close();
  }
  struct row {
    std::vector<std::string> extra;
    table_rows want;
  } cases[] = {
      {{"--extr_fn"},
       {{"1", "one"},
        {"<NULL>", "<NULL>"},
        {"<NULL>", "<NULL>"},
        {"2", "two"},
        {"<NULL>", "<NULL>"},
        {"<NULL>", "only v"}}},
      {{"--extr_fn", "--skip_empty"}, {{"1", "one"}, {"2", "two"}, {"<NULL>", "only v"}}},
  };
  for (const row& c : cases) {
    SCOPED_TRACE(c.extra.back());
    both_ways("book.xlsx", c.extra, converting_one + "Converting table Gaps\n", [&] {
      EXPECT_EQ(columns("Gaps"), (std::vector<std::string>{"k int(11)", "v varchar(255)"}));
      EXPECT_EQ(rows("SELECT k, v FROM Gaps"), c.want);
    });
  }
}

// 100,000 rows with unique shared strings: the count and checksums of each
// column, computed here from what the writer was given.
TEST_F(XlsxValues, HundredThousandRows) {
  const int n = 100000;
  double sum_amount = 0;
  unsigned long long sum_crc = 0, sum_len = 0, sum_days = 0;
  {
    xlsx_book b(book_path(), true);
    lxw_worksheet* s = b.sheet("Big");
    lxw_format* day = b.format("yyyy-mm-dd");
    worksheet_write_string(s, 0, 0, "id", nullptr);
    worksheet_write_string(s, 0, 1, "label", nullptr);
    worksheet_write_string(s, 0, 2, "amount", nullptr);
    worksheet_write_string(s, 0, 3, "day", nullptr);
    char buf[128];
    for (int r = 1; r <= n; ++r) {
      worksheet_write_number(s, r, 0, r, nullptr);
      std::snprintf(buf, sizeof buf, "label %d \xC3\xA4 %x", r, r * 2654435761u);
      worksheet_write_string(s, r, 1, buf, nullptr);
      sum_crc += wbtest::crc32(buf);
      sum_len += std::string(buf).size();
      const double amount = (r % 1000) * 0.25;
      sum_amount += amount;
      worksheet_write_number(s, r, 2, amount, nullptr);
      worksheet_write_number(s, r, 3, wbtest::serial_1900(2000, 1, 1) + r % 3650, day);
      sum_days += r % 3650;
    }
    b.close();
  }
  char want_amount[64];
  std::snprintf(want_amount, sizeof want_amount, "%.2f", sum_amount);
  both_ways("book.xlsx", {"--extr_fn"}, converting_one + "Converting table Big\n", [&] {
    EXPECT_EQ(columns("Big"),
              (std::vector<std::string>{"id int(11)", "label varchar(255)", "amount double", "day date"}));
    EXPECT_EQ(rows("SELECT COUNT(*), SUM(id), COUNT(DISTINCT label), SUM(CRC32(label)), SUM(OCTET_LENGTH(label)), "
                   "ROUND(SUM(amount), 2), MIN(day), MAX(day), SUM(DATEDIFF(day, '2000-01-01')) FROM Big"),
              (table_rows{{std::to_string(n), std::to_string(static_cast<long long>(n) * (n + 1) / 2),
                           std::to_string(n), std::to_string(sum_crc), std::to_string(sum_len), want_amount,
                           "2000-01-01", "2009-12-28", std::to_string(sum_days)}}));
    EXPECT_EQ(
        rows("SELECT label FROM Big WHERE id IN (1, 65536, 100000) ORDER BY id"),
        (table_rows{
            {"label 1 \xC3\xA4 9e3779b1"}, {"label 65536 \xC3\xA4 79b10000"}, {"label 100000 \xC3\xA4 660fb4a0"}}));
  });
}

// A workbook is known by its content, not its file name; the strict
// namespaces of the format read as the transitional ones do.
TEST_F(XlsxValues, PackageKnownByContentInBothNamespaceSets) {
  {
    xlsx_book b(book_path());
    lxw_worksheet* s = b.sheet("Data");
    lxw_format* day = b.format("yyyy-mm-dd");
    worksheet_write_string(s, 0, 0, "name", nullptr);
    worksheet_write_string(s, 0, 1, "day", nullptr);
    worksheet_write_string(s, 1, 0, "first", nullptr);
    worksheet_write_number(s, 1, 1, wbtest::serial_1900(2024, 2, 29), day);
    worksheet_write_string(s, 2, 0, "second", nullptr);
    worksheet_write_number(s, 2, 1, wbtest::serial_1900(1999, 12, 31), day);
    b.close();
  }
  std::map<std::string, std::string> strict = wbtest::read_zip(book_path());
  const std::pair<std::string, std::string> namespaces[] = {
      {"http://schemas.openxmlformats.org/spreadsheetml/2006/main", "http://purl.oclc.org/ooxml/spreadsheetml/main"},
      {"http://schemas.openxmlformats.org/officeDocument/2006/relationships",
       "http://purl.oclc.org/ooxml/officeDocument/relationships"},
      {"http://schemas.openxmlformats.org/drawingml/2006/main", "http://purl.oclc.org/ooxml/drawingml/main"},
  };
  for (auto& [name, xml] : strict)
    for (const auto& [from, to] : namespaces)
      for (size_t at = xml.find(from); at != std::string::npos; at = xml.find(from, at + to.size()))
        xml.replace(at, from.size(), to);
  ASSERT_NE(strict.at("xl/workbook.xml").find("http://purl.oclc.org/ooxml/spreadsheetml/main"), std::string::npos);
  wbtest::write_zip(dir_.file("strict.xlsx"), strict);
  const std::string transitional = testsupport::read_file(book_path());
  testsupport::write_file(dir_.file("macros.xlsm"), transitional);
  testsupport::write_file(dir_.file("export.dat"), transitional);
  for (const char* file : {"strict.xlsx", "macros.xlsm", "export.dat"}) {
    SCOPED_TRACE(file);
    both_ways(file, {"--extr_fn"},
              std::string("Converting spreadsheet ") + file + "(1 worksheets)\nConverting table Data\n", [&] {
                EXPECT_EQ(columns("Data"), (std::vector<std::string>{"name varchar(255)", "day date"}));
                EXPECT_EQ(rows("SELECT name, day FROM Data"),
                          (table_rows{{"first", "2024-02-29"}, {"second", "1999-12-31"}}));
              });
  }
}
