// .xlsx workbooks end to end: files written by libxlsxwriter, converted by
// the real gridload binary into the private server and into dump files that
// are loaded back, every value compared with what the writer was given.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "workbook_support.h"

using testsupport::run_result;
using wbtest::converting;
using wbtest::table_rows;
using wbtest::xlsx_book;

namespace {

using strings = std::vector<std::string>;

// Texts of every kind: line breaks kept, a carriage return (written as the
// _x000D_ escape) decoded, 4-byte characters whole, a text over 255
// characters making a long-text column; and rich-text runs joined.
const strings plain_texts = [] {
  std::string long_text;
  for (int i = 0; long_text.size() < 3000; ++i) long_text += "chunk " + std::to_string(i) + " \xC3\xA9\xE4\xB8\xAD; ";
  return strings{"caf\xC3\xA9",
                 "\xE4\xB8\xAD\xE6\x96\x87",
                 "emoji \xF0\x9F\x98\x80 pair",
                 "line one\nline two",
                 "carriage\rreturn",
                 "  spaced  ",
                 "tab\there",
                 "it's a \"quote\" and a \\ backslash",
                 long_text};
}();

void write_texts(xlsx_book& b) {
  lxw_worksheet* s = b.sheet("Texts");
  wbtest::write_row(s, 0, {"plain", "rich"});
  lxw_format* bold = workbook_add_format(b.handle());
  format_set_bold(bold);
  lxw_format* italic = workbook_add_format(b.handle());
  format_set_italic(italic);
  // Row by row: the constant-memory writer only takes rows in order.
  for (lxw_row_t r = 0; r < plain_texts.size(); ++r) {
    worksheet_write_string(s, r + 1, 0, plain_texts[r].c_str(), nullptr);
    if (r > 0) continue;
    lxw_rich_string_tuple a{bold, const_cast<char*>("Bold")}, b2{nullptr, const_cast<char*>(" and plain, ")},
        c{italic, const_cast<char*>("italic\n\xE2\x82\xAC")};
    lxw_rich_string_tuple* runs[] = {&a, &b2, &c, nullptr};
    worksheet_write_rich_string(s, r + 1, 1, runs, nullptr);
  }
}

// One sheet per behaviour in the 1900 date system; in the 1904 system the
// Calendar sheet alone.
void write_values_book(const std::string& path, bool date1904) {
  xlsx_book b(path);
  lxw_worksheet* s = b.sheet("Calendar");
  lxw_format* day = b.format("yyyy-mm-dd");
  lxw_format* stamp = b.format("dd.mm.yyyy hh:mm:ss");
  lxw_format* clock = b.format("hh:mm:ss");
  lxw_format* euro = b.format("#,##0.00 [$\xE2\x82\xAC-407]");
  lxw_format* percent = b.format("0.00%");
  lxw_format* dollar = b.format("\"$\"#,##0.00");
  wbtest::write_row(s, 0, {"day", "moment", "clock", "price", "share", "rate"});
  // In the 1900 system the writer's own date arithmetic, with its fictitious
  // 1900-02-29; in the 1904 system serials counted here from 1904-01-01.
  const std::array<int, 6> days[] = {{1900, 1, 1}, {1900, 2, 28}, {1900, 3, 1}, {2024, 2, 29}, {9999, 12, 31}},
                           days_1904[] = {{1904, 1, 1}, {1904, 2, 29}, {1904, 3, 1}, {2024, 2, 29}, {9999, 12, 31}},
                           stamps[] = {{2024, 7, 15, 13, 45, 30}, {1999, 12, 31, 23, 59, 59}, {2000, 1, 1}};
  auto write_date = [&](lxw_row_t r, lxw_col_t c, const std::array<int, 6>& t, lxw_format* f) {
    lxw_datetime when{t[0], t[1], t[2], t[3], t[4], static_cast<double>(t[5])};
    if (!date1904) return worksheet_write_datetime(s, r, c, &when, f);
    const unsigned month = static_cast<unsigned>(t[1]), day_of_month = static_cast<unsigned>(t[2]);
    return worksheet_write_number(s, r, c,
                                  wbtest::serial(wbtest::epoch_1904, t[0], month, day_of_month, t[3], t[4], t[5]), f);
  };
  for (lxw_row_t r = 0; r < 5; ++r) write_date(r + 1, 0, date1904 ? days_1904[r] : days[r], day);
  for (lxw_row_t r = 0; r < 3; ++r) write_date(r + 1, 1, stamps[r], stamp);
  // Times are fractions of a day in both systems; 0 is midnight. The last
  // price is above 2^53 / 10,000, where a product with 10,000 in double
  // precision already rounds.
  const double clocks[] = {0, (6 * 3600 + 30 * 60 + 15) / 86400.0, 0.5, (86400 - 1) / 86400.0};
  const double prices[] = {1234.5, -0.75, 922337203685.4775, 0};
  const double shares[] = {0.125, 1.5, -0.2};
  // A currency amount of more than four decimals makes its column DOUBLE
  // (1.23456 was stored as 1.2346).
  const double rates[] = {1.5, 1.23456};
  for (lxw_row_t r = 0; r < 4; ++r) {
    worksheet_write_number(s, r + 1, 2, clocks[r], clock);
    worksheet_write_number(s, r + 1, 3, prices[r], euro);
    if (r < 3) worksheet_write_number(s, r + 1, 4, shares[r], percent);
    if (r < 2) worksheet_write_number(s, r + 1, 5, rates[r], euro);
  }
  if (date1904) {
    // Under 1, a moment of the system's first day (not a time of no day).
    worksheet_write_number(s, 4, 1, 0.25, stamp);
    b.close();
    return wbtest::patch_part(path, "xl/workbook.xml", "<workbookPr ", "<workbookPr date1904=\"1\" ");
  }

  // Serial 60 is the fictitious 1900-02-29: it arrives as the day before.
  s = b.sheet("Leap");
  wbtest::write_row(s, 0, {"day"});
  for (lxw_row_t r = 0; r < 3; ++r) worksheet_write_number(s, r + 1, 0, 59 + r, day);

  // Booleans, error cells (NULL) and formulas, whose cached results are the
  // values. The writer marks every string result "str"; the error and
  // boolean results are patched in below. A formula written without its
  // result holds the writer's place-holder 0 (in a workbook that asks to be
  // calculated when opened): it is reported.
  s = b.sheet("Calc");
  wbtest::write_row(s, 0, {"flag", "broken", "product", "label", "test", "pending"});
  worksheet_write_formula(s, 1, 5, "=1+1", nullptr);
  for (lxw_row_t r = 0; r < 3; ++r) worksheet_write_boolean(s, r + 1, 0, r != 1, nullptr);
  worksheet_write_number(s, 3, 1, 5, nullptr);
  for (const auto& [row, col, formula, result] : {std::tuple{1, 1, "=1/0", "#DIV/0!"},
                                                  {2, 1, "=NA()", "#N/A"},
                                                  {1, 3, "=\"x\"&1", "x1"},
                                                  {2, 3, "=REPT(\"ab\",2)", "abab"},
                                                  {1, 4, "=AND(TRUE)", "1"},
                                                  {2, 4, "=OR(FALSE)", "0"}})
    worksheet_write_formula_str(s, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(col), formula, nullptr, result);
  for (const auto& [row, formula, result] : {std::tuple{1, "=2*21", 42.0}, {2, "=1/4", 0.25}, {3, "=-3/2", -1.5}})
    worksheet_write_formula_num(s, static_cast<lxw_row_t>(row), 2, formula, nullptr, result);

  // A column of several kinds is text, each value in its text form; numbers
  // with empty cells stay numeric; a column without any value is text.
  s = b.sheet("Mixed");
  wbtest::write_row(s, 0, {"anything", "sparse", "nothing"});
  lxw_row_t r = 1;
  for (double v : {42.0, 1.5, 1e20, -0.001}) worksheet_write_number(s, r++, 0, v, nullptr);
  worksheet_write_string(s, r++, 0, "word", nullptr);
  worksheet_write_number(s, r++, 0, wbtest::serial(wbtest::epoch_1900, 2024, 2, 29), day);
  worksheet_write_number(s, r++, 0, wbtest::serial(wbtest::epoch_1900, 2024, 7, 15, 13, 45),
                         b.format("yyyy-mm-dd hh:mm"));
  worksheet_write_number(s, r++, 0, (6 * 3600 + 30 * 60) / 86400.0, b.format("h:mm:ss AM/PM"));
  worksheet_write_boolean(s, r++, 0, 1, nullptr);
  worksheet_write_boolean(s, r++, 0, 0, nullptr);
  worksheet_write_number(s, r++, 0, 19.99, dollar);
  worksheet_write_number(s, 1, 1, 3.25, nullptr);
  worksheet_write_number(s, 4, 1, -8, nullptr);

  // Header names: empty or blank gives F<n>, a number its text, a name
  // taken (ignoring case) gets the lowest number that makes it unique.
  s = b.sheet("Heads");
  wbtest::write_row(s, 0, {"id", "", "Name", "name", "  ", "NAME", "f2", "Name1", 2024.0});
  for (lxw_col_t c = 0; c < 9; ++c) worksheet_write_number(s, 1, c, c + 1, nullptr);

  // The used range starts at the first used row and column; empty rows
  // inside it are records of NULLs unless --skip_empty drops them.
  s = b.sheet("Gaps");
  lxw_format* filled = workbook_add_format(b.handle());
  format_set_bg_color(filled, LXW_COLOR_YELLOW);
  wbtest::write_row(s, 2, {"k", "v"}, 1);
  wbtest::write_row(s, 3, {1.0, "one"}, 1);
  worksheet_write_blank(s, 5, 1, filled);  // formatted, no value
  wbtest::write_row(s, 6, {2.0, "two"}, 1);
  wbtest::write_row(s, 8, {"only v"}, 2);

  write_texts(b);
  b.close();
  const std::string sheet = "xl/worksheets/sheet3.xml";
  for (const auto& [formula, type] :
       std::map<std::string, std::string>{{"1/0", "e"}, {"NA()", "e"}, {"AND(TRUE)", "b"}, {"OR(FALSE)", "b"}})
    wbtest::patch_part(path, sheet, "t=\"str\"><f>" + formula + "</f>", "t=\"" + type + "\"><f>" + formula + "</f>");
}

}  // namespace

using XlsxValues = wbtest::workbook_run;

// Each run's output and tables against tests/golden/workbook: with
// --extr_fn; with the header row as data and --skip_empty dropping empty
// rows; and in the 1904 date system without refinement, where the currency
// column keeps the exact decimal type its format gave it, with the four
// decimals stored.
TEST_F(XlsxValues, EveryKindOfValueInBothDateSystems) {
  write_values_book(dir_.file("book.xlsx"), false);
  both_ways("book.xlsx", {"--extr_fn", "--charset=utf8mb4"}, "workbook/xlsx_1900.txt");
  both_ways("book.xlsx", {"--skip_empty", "--charset=utf8mb4"}, "workbook/xlsx_1900_header_as_data.txt");
  write_values_book(dir_.file("book.xlsx"), true);
  both_ways("book.xlsx", {"--extr_fn", "--no_refine"}, "workbook/xlsx_1904_not_refined.txt");
}

// 100,000 rows with inline strings (the writer's constant-memory mode): the
// count and sums of the columns, computed here from what the writer was
// given, and every label; and the texts of every kind as inline strings,
// against tests/golden/workbook/inline_texts.txt.
TEST_F(XlsxValues, HundredThousandRowsAndInlineStrings) {
  const lxw_row_t n = 100000;
  double sum_amount = 0;
  unsigned long long sum_days = 0;
  strings labels;
  {
    xlsx_book b(dir_.file("book.xlsx"), true);
    lxw_worksheet* s = b.sheet("Big");
    lxw_format* day = b.format("yyyy-mm-dd");
    wbtest::write_row(s, 0, {"id", "label", "amount", "day"});
    char buf[128];
    for (lxw_row_t r = 1; r <= n; ++r) {
      std::snprintf(buf, sizeof buf, "label %u \xC3\xA4 %x", r, r * 2654435761u);
      const double amount = (r % 1000) * 0.25;
      wbtest::write_row(s, r, {double(r), labels.emplace_back(buf), amount});
      sum_amount += amount;
      worksheet_write_number(s, r, 3, wbtest::serial(wbtest::epoch_1900, 2000, 1, 1) + r % 3650, day);
      sum_days += r % 3650;
    }
    write_texts(b);
  }
  char want_amount[64];
  std::snprintf(want_amount, sizeof want_amount, "%.2f", sum_amount);
  both_ways("book.xlsx", {"--extr_fn", "--charset=utf8mb4"}, converting("book.xlsx", {"Big", "Texts"}), [&] {
    EXPECT_EQ(columns("Big"), (strings{"id int(11)", "label varchar(255)", "amount double", "day date"}));
    EXPECT_EQ(rows("SELECT COUNT(*), SUM(id), ROUND(SUM(amount), 2), MIN(day), MAX(day), "
                   "SUM(DATEDIFF(day, '2000-01-01')) FROM Big"),
              (table_rows{{std::to_string(n), std::to_string(static_cast<long long>(n) * (n + 1) / 2), want_amount,
                           "2000-01-01", "2009-12-28", std::to_string(sum_days)}}));
    EXPECT_TRUE(column("Big", "label", "id") == labels) << "a label differs";
    testsupport::expect_golden("workbook/inline_texts.txt", listing("Texts"));
  });
}

// Numbers without a date format merged into an existing table's date, date
// and time and time columns are the dates and durations their serials
// mean, in either date system and through either load path; the server
// would have read their digits (130 as 2000-01-30, 45000 as 2045-00-00).
// A time is taken to the millisecond (0.33333333 is 08:00:00, not
// 07:59:59), and a number under 1 is a time on the 1904 system's first day
// and refused in the 1900 system, whose first day is day 1.
// What means no date is refused, each reported: a negative number, one
// past year 9999, a boolean (FALSE was the zero date), and a time of day or
// a duration in a column of mixed kinds (it was 2012-00-00). A number or
// boolean such a column holds as its text goes as its value: 45123 is
// 2023-07-16 (it was 2045-12-03), $2.50 a date, TRUE 1 in an INT column (it
// was refused).
TEST_F(XlsxValues, NumbersMergedIntoDateColumnsAreTheirDates) {
  for (bool date1904 : {false, true}) {
    {
      xlsx_book b(dir_.file("days.xlsx"));
      lxw_worksheet* s = b.sheet("Days");
      wbtest::write_row(s, 0, {"d", "dt", "t"});
      const std::vector<std::vector<wbtest::xlsx_cell>> rows = {
          {45000.0, 45000.75, 0.5},       {130.0, 61.0, 1.5},   {61.0, 0.5, -0.25},
          {45000.0, 45000.0, 0.33333333}, {-1.0, 45000.0, 0.5}, {3e6, 45000.0, 0.5}};
      for (lxw_row_t r = 0; r < rows.size(); ++r) wbtest::write_row(s, r + 1, rows[r]);
      lxw_worksheet* flags = b.sheet("Flags");
      wbtest::write_row(flags, 0, {"d"});
      worksheet_write_boolean(flags, 1, 0, 0, nullptr);
      // Columns of mixed kinds: each cell is held as its text.
      lxw_worksheet* texts = b.sheet("Texts");
      wbtest::write_row(texts, 0, {"d", "n"});
      wbtest::write_row(texts, 1, {45123.0, 7.0});
      wbtest::write_row(texts, 2, {"12:00:00", "seven"});
      worksheet_write_boolean(texts, 3, 1, 1, nullptr);
      worksheet_write_number(texts, 3, 0, 2.5, b.format("$#,##0.00"));
      worksheet_write_number(texts, 4, 0, 1.5, b.format("[h]:mm:ss"));
      worksheet_write_number(texts, 4, 1, 8, nullptr);
    }
    if (date1904)
      wbtest::patch_part(dir_.file("days.xlsx"), "xl/workbook.xml", "<workbookPr", "<workbookPr date1904=\"1\"");
    const table_rows want = date1904 ? table_rows{{"2027-03-16", "2027-03-16 18:00:00", "12:00:00"},
                                                  {"1904-05-10", "1904-03-02 00:00:00", "36:00:00"},
                                                  {"1904-03-02", "1904-01-01 12:00:00", "-06:00:00"},
                                                  {"2027-03-16", "2027-03-16 00:00:00", "08:00:00"}}
                                     : table_rows{{"2023-03-15", "2023-03-15 18:00:00", "12:00:00"},
                                                  {"1900-05-09", "1900-03-01 00:00:00", "36:00:00"},
                                                  {"2023-03-15", "2023-03-15 00:00:00", "08:00:00"}};
    for (const char* settings : {"", "load_data=0\n"}) {
      SCOPED_TRACE(std::string(date1904 ? "1904 " : "1900 ") + settings);
      sql({"DROP TABLE IF EXISTS Days", "CREATE TABLE Days (d DATE, dt DATETIME, t TIME)", "DROP TABLE IF EXISTS Flags",
           "CREATE TABLE Flags (d DATE)", "DROP TABLE IF EXISTS Texts", "CREATE TABLE Texts (d DATE, n INT)"});
      const run_result r = convert("days.xlsx", {"--extr_fn", "--mode=3"}, this->settings(settings));
      EXPECT_EQ(r.status, 0) << r.out << r.err;
      EXPECT_EQ(rows("SELECT * FROM Days"), want);
      EXPECT_EQ(rows("SELECT * FROM Flags"), table_rows{});
      EXPECT_EQ(rows("SELECT * FROM Texts"), (table_rows{{date1904 ? "2027-07-17" : "2023-07-16", "7"},
                                                         {date1904 ? "1904-01-03" : "1900-01-02", "1"}}));
      for (const std::string refused :
           {"Days, record #5: ", "Days, record #6: ", "Flags, record #1: ", "Texts, record #2: ", "Texts, record #4: "})
        EXPECT_NE(r.out.find(refused), std::string::npos) << refused << "\n" << r.out;
      EXPECT_EQ(r.out.find("Days, record #3: ") == std::string::npos, date1904);
    }
  }
}

// Numbers merged into an existing ENUM or SET name their members by text:
// the server reads a bare number as a member's place (5 was the fifth
// member, '2.5'; 3 in a SET the first two).
TEST_F(XlsxValues, NumbersMergedIntoEnumAndSetColumnsNameTheirMembers) {
  wbtest::write_xlsx(dir_.file("members.xlsx"), {{"Members", {{"e", "s"}, {5.0, 5.0}, {1.0, 1.0}, {2.5, 1.0}}}});
  sql({"DROP TABLE IF EXISTS Members", "CREATE TABLE Members (e ENUM('1','7','2.5','x','5'), s SET('a','b','1','5'))"});
  const run_result r = convert("members.xlsx", {"--extr_fn", "--mode=3"});
  EXPECT_EQ(std::tuple(r.status, r.err), std::tuple(0, std::string())) << r.out;
  EXPECT_EQ(rows("SELECT e, s FROM Members"), (table_rows{{"5", "5"}, {"1", "1"}, {"2.5", "1"}}));
}

// A workbook is known by its content, not its file name: each copy gives
// the tables the .xlsx gives. (The strict namespaces are read by the engine
// as the transitional ones are: host_package's RareXmlForms test.)
TEST_F(XlsxValues, PackageKnownByContentNotByName) {
  write_values_book(dir_.file("book.xlsx"), true);
  const std::string bytes = testsupport::read_file(dir_.file("book.xlsx"));
  testsupport::write_file(dir_.file("macros.xlsm"), bytes);
  testsupport::write_file(dir_.file("export.dat"), bytes);
  ASSERT_EQ(convert("book.xlsx", {"--extr_fn"}).status, 0);
  const std::string tables = listing();
  for (const char* file : {"macros.xlsm", "export.dat"}) {
    SCOPED_TRACE(file);
    run_result r = convert(file, {"--extr_fn"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, converting(file, {"Calendar"}));
    EXPECT_EQ(listing(), tables);
  }
}
