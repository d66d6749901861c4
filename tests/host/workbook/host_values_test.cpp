// Values of every kind as they arrive from workbooks written by libxlsxwriter.
#include <cmath>

#include "host_fixture.h"

using namespace host_test;

namespace {

constexpr double tolerance = 1e-9;

lxw_datetime dt(int y, int m, int d, int hh = 0, int mm = 0, double ss = 0) {
  return lxw_datetime{y, m, d, hh, mm, ss};
}

// Replaces `from` by `to` in one part of a package, in place.
void patch_part(const std::string& path, const std::string& part, const std::string& from, const std::string& to) {
  auto parts = read_zip(path);
  std::string& xml = parts.at(part);
  const std::size_t at = xml.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  xml.replace(at, from.size(), to);
  write_zip(path, parts);
}

}  // namespace

TEST(host_values, DatesAndTimesOfThe1900SystemArriveAsTheCalendarShowsThem) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("Dates");
  // Columns: dates, date-times, times of day, an elapsed-time format.
  lxw_format* formats[] = {w.format("yyyy-mm-dd"), w.format("yyyy-mm-dd hh:mm:ss"), w.format("hh:mm:ss"),
                           w.format("[h]:mm")};
  const std::vector<lxw_datetime> written[] = {
      {dt(1900, 1, 1), dt(1900, 2, 28), dt(1900, 3, 1), dt(1999, 12, 31), dt(2024, 2, 29), dt(9999, 12, 31)},
      {dt(1900, 1, 1, 6), dt(2024, 2, 29, 13, 45, 30), dt(2000, 1, 1)},
      {dt(0, 0, 0, 8, 30), dt(0, 0, 0, 23, 59, 59), dt(0, 0, 0)},
      {dt(0, 0, 0, 6)}};
  for (lxw_col_t c = 0; c < 4; ++c)
    for (lxw_row_t r = 0; r < written[c].size(); ++r)
      worksheet_write_datetime(s, r, c, const_cast<lxw_datetime*>(&written[c][r]), formats[c]);
  // Serial 60 is the fictitious 1900-02-29: it arrives as 1900-02-28.
  worksheet_write_number(s, 0, 4, 60, formats[0]);
  worksheet_write_number(s, 1, 4, 60.5, formats[0]);
  const table t = read_table(w.close(), u"Dates$");

  ASSERT_EQ(t.columns.size(), 5u);
  const char* format_names[] = {"Short Date", "General Date", "Long Time", "Long Time"};
  for (std::size_t c = 0; c < 4; ++c) {
    EXPECT_EQ(t.columns[c].type, wb_dao_type::date) << c;
    EXPECT_EQ(t.columns[c].format, format_names[c]) << c;
    EXPECT_FALSE(t.columns[c].has_description);
  }
  using v = std::vector<std::string>;
  EXPECT_EQ(column_of(t, 0), (v{"1900-01-01", "1900-02-28", "1900-03-01", "1999-12-31", "2024-02-29", "9999-12-31"}));
  EXPECT_EQ(column_of(t, 1), (v{"1900-01-01 06:00:00", "2024-02-29 13:45:30", "2000-01-01", "NULL", "NULL", "NULL"}));
  EXPECT_EQ(column_of(t, 2), (v{"08:30:00", "23:59:59", "00:00:00", "NULL", "NULL", "NULL"}));
  EXPECT_EQ(column_of(t, 3), (v{"06:00:00", "NULL", "NULL", "NULL", "NULL", "NULL"}));
  EXPECT_EQ(column_of(t, 4), (v{"1900-02-28", "1900-02-28 12:00:00", "NULL", "NULL", "NULL", "NULL"}));
}

TEST(host_values, DatesOfThe1904SystemAreShiftedBy1462Days) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("D");
  lxw_format* date = w.format("d mmm yyyy");
  // Raw serials as the 1904 system counts them: 2020-01-01, 1904-01-02, 1904-01-02 12:00.
  const double serials[] = {42369, 1, 1.5};
  for (lxw_row_t r = 0; r < 3; ++r) worksheet_write_number(s, r, 0, serials[r], date);
  const std::string path = w.close();
  patch_part(path, "xl/workbook.xml", "<workbookPr ", "<workbookPr date1904=\"1\" ");
  const table t = read_table(path, u"D$");
  EXPECT_EQ(t.columns[0].type, wb_dao_type::date);
  EXPECT_EQ(t.columns[0].format, "General Date");
  EXPECT_EQ(column_of(t, 0), (std::vector<std::string>{"2020-01-01", "1904-01-02", "1904-01-02 12:00:00"}));
}

TEST(host_values, CurrencyFormatsGiveCurrencyAndPercentGivesDouble) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("Money");
  lxw_format* builtin = workbook_add_format(w.book());
  format_set_num_format_index(builtin, 7);  // built-in currency with two decimals
  lxw_format* formats[] = {builtin, w.format("$#,##0.00"), w.format("[$\xE2\x82\xAC-407] #,##0.00")};
  const double amounts[] = {1234.5678, -0.01, 0};
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) worksheet_write_number(s, r, c, amounts[r], formats[c]);
  lxw_format* percent = w.format("0.00%");
  worksheet_write_number(s, 0, 3, 0.125, percent);
  worksheet_write_number(s, 1, 3, 1, percent);
  // Currency mixed with a plain number: double.
  worksheet_write_number(s, 0, 4, 5, formats[1]);
  worksheet_write_number(s, 1, 4, 6, nullptr);
  // A "$" in quotes is text, not a symbol.
  worksheet_write_number(s, 0, 5, 5, w.format("\"USD $\" 0.00"));
  const table t = read_table(w.close(), u"Money$");
  ASSERT_EQ(t.columns.size(), 6u);
  for (int c = 0; c < 6; ++c) EXPECT_EQ(t.columns[c].type, c < 3 ? wb_dao_type::currency : wb_dao_type::double_) << c;
  EXPECT_EQ(rows_of(t),
            (std::vector<std::vector<std::string>>{{"$1234.5678", "$1234.5678", "$1234.5678", "0.125", "5", "5"},
                                                   {"$-0.01", "$-0.01", "$-0.01", "1", "6", "NULL"},
                                                   {"$0", "$0", "$0", "NULL", "NULL", "NULL"}}));
}

TEST(host_values, BooleansFormulaResultsAndErrorCells) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("S");
  worksheet_write_boolean(s, 0, 0, 1, nullptr);
  worksheet_write_boolean(s, 1, 0, 0, nullptr);
  worksheet_write_number(s, 0, 1, 1.5, nullptr);
  worksheet_write_formula_num(s, 1, 1, "=1+2", nullptr, 3);
  worksheet_write_formula_str(s, 2, 1, "=1/0", nullptr, "#DIV/0!");
  worksheet_write_formula_str(s, 0, 2, "=\"A\"&\"B\"", nullptr, "AB");
  worksheet_write_string(s, 1, 2, "x", nullptr);
  worksheet_write_formula_num(s, 0, 3, "=A1", nullptr, 0);
  // An error alone in the last row still counts for the range.
  worksheet_write_formula_str(s, 3, 4, "=NA()", nullptr, "#N/A");
  const std::string path = w.close();
  patch_part(path, "xl/worksheets/sheet1.xml", "t=\"str\"><f>1/0</f>", "t=\"e\"><f>1/0</f>");
  patch_part(path, "xl/worksheets/sheet1.xml", "t=\"str\"><f>NA()</f>", "t=\"e\"><f>NA()</f>");
  patch_part(path, "xl/worksheets/sheet1.xml", "<f>A1</f><v>0</v>", "<f>A1</f>");
  const table t = read_table(path, u"S$");
  ASSERT_EQ(t.columns.size(), 5u);
  // A formula without a value has no value at all: its column is text.
  const wb_dao_type types[] = {wb_dao_type::boolean, wb_dao_type::double_, wb_dao_type::text, wb_dao_type::text,
                               wb_dao_type::text};
  for (int c = 0; c < 5; ++c) EXPECT_EQ(t.columns[c].type, types[c]) << c;
  EXPECT_EQ(t.columns[1].size, 8);
  EXPECT_EQ(rows_of(t), (std::vector<std::vector<std::string>>{{"TRUE", "1.5", "'AB'", "NULL", "NULL"},
                                                               {"FALSE", "3", "'x'", "NULL", "NULL"},
                                                               {"NULL", "NULL", "NULL", "NULL", "NULL"},
                                                               {"NULL", "NULL", "NULL", "NULL", "NULL"}}));
}

TEST(host_values, InlineAndRichStringsAndLineBreaks) {
  for (bool constant_memory : {false, true}) {  // shared strings, or inline strings
    xlsx_writer w("book.xlsx", constant_memory);
    lxw_worksheet* s = w.sheet("Txt");
    const char* texts[] = {"plain", "line1\nline2", "cr\r\nlf", "\xE2\x82\xAC \xF0\x9F\x98\x80 \xE4\xB8\xAD"};
    for (lxw_row_t r = 0; r < 4; ++r) worksheet_write_string(s, r, 0, texts[r], nullptr);
    lxw_format* bold = workbook_add_format(w.book());
    format_set_bold(bold);
    char bold_text[] = "bold", plain_text[] = " and plain";
    lxw_rich_string_tuple f1 = {.format = bold, .string = bold_text};
    lxw_rich_string_tuple f2 = {.format = nullptr, .string = plain_text};
    lxw_rich_string_tuple* rich[] = {&f1, &f2, nullptr};
    worksheet_write_rich_string(s, 4, 0, rich, nullptr);
    const table t = read_table(w.close(), u"Txt$");
    ASSERT_EQ(t.rows.size(), 5u) << constant_memory;
    for (lxw_row_t r = 0; r < 4; ++r) EXPECT_EQ(t.rows[r][0].text, texts[r]);
    EXPECT_EQ(t.rows[4][0].text, "bold and plain");
  }
}

TEST(host_values, MixedColumnsArriveAsText) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("Mix");
  lxw_format* formats[] = {nullptr, w.format("dd/mm/yyyy"), w.format("dd/mm/yyyy hh:mm"), w.format("h:mm:ss AM/PM"),
                           w.format("$0.00")};
  enum { general, date, stamp, time, money, boolean };
  struct row {
    int format;
    double value;  // for the date formats: a serial of the 1900 system
    const char* expected;
  };
  // Numbers in the shortest text that reads back; dates, times or both.
  const row rows[] = {
      {general, 42, "42"},
      {general, -0.25, "-0.25"},
      {general, 1e20, "1E+20"},
      {general, 1e-7, "1E-07"},
      {general, 1.25e-5, "1.25E-05"},
      {general, 0.0001, "0.0001"},
      {general, 1e16, "10000000000000000"},
      {general, 1e17, "1E+17"},
      {general, 123456789012, "123456789012"},
      {general, -0.0, "0"},
      {general, 5e-324, "5E-324"},
      {general, 3.25e-100, "3.25E-100"},
      {date, ole_date(2024, 2, 29), "2024-02-29"},
      {date, 1, "1900-01-01"},
      {stamp, ole_date(2024, 2, 29, 13, 45, 30), "2024-02-29 13:45:30"},
      {stamp, ole_date(9999, 12, 31, 23, 59, 59), "9999-12-31 23:59:59"},
      {stamp, ole_date(2024, 12, 31) + 0.9999999, "2025-01-01"},  // rounded to the second
      {time, 0.5, "12:00:00"},
      {time, ole_date(1899, 12, 30, 7, 5, 9), "07:05:09"},
      {boolean, 1, "TRUE"},
      {boolean, 0, "FALSE"},
      {money, 12.5, "12.5"},
  };
  worksheet_write_string(s, 0, 0, "text", nullptr);
  for (lxw_row_t r = 1; r <= std::size(rows); ++r) {
    const row& x = rows[r - 1];
    if (x.format == boolean)
      worksheet_write_boolean(s, r, 0, static_cast<int>(x.value), nullptr);
    else
      worksheet_write_number(s, r, 0, x.value, formats[x.format]);
  }
  // A 256-character text makes the column a memo; 255 keeps it text.
  lxw_worksheet* m = w.sheet("Long");
  worksheet_write_string(m, 0, 0, std::string(255, 'a').c_str(), nullptr);
  worksheet_write_string(m, 0, 1, std::string(256, 'b').c_str(), nullptr);
  worksheet_write_number(m, 1, 1, 7, nullptr);
  const std::string path = w.close();

  const table t = read_table(path, u"Mix$");
  ASSERT_EQ(t.rows.size(), std::size(rows) + 1);
  EXPECT_EQ(t.columns[0].type, wb_dao_type::text);
  EXPECT_EQ(t.columns[0].size, 255);
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(t.rows[i + 1][0].kind, wb_value_kind::text) << rows[i].expected;
    EXPECT_EQ(t.rows[i + 1][0].text, rows[i].expected);
  }
  const table l = read_table(path, u"Long$");
  EXPECT_EQ(l.columns[0].type, wb_dao_type::text);
  EXPECT_EQ(l.columns[0].size, 255);
  EXPECT_EQ(l.columns[1].type, wb_dao_type::memo);
  EXPECT_EQ(l.columns[1].size, 0);
  EXPECT_EQ(l.rows[0][1].text.size(), 256u);
  EXPECT_EQ(l.rows[1][1].text, "7");
}

TEST(host_values, HundredThousandRowsStreamAndTheLastRowCountsForTheTypes) {
  constexpr int rows = 100000;
  xlsx_writer w("big.xlsx", true);  // constant-memory mode: written row by row
  lxw_worksheet* s = w.sheet("Big");
  lxw_format* date = w.format("yyyy-mm-dd");
  const char* names[] = {"id", "label", "day", "late"};
  for (lxw_col_t c = 0; c < 4; ++c) worksheet_write_string(s, 0, c, names[c], nullptr);
  for (int r = 1; r <= rows; ++r) {
    worksheet_write_number(s, r, 0, r, nullptr);
    worksheet_write_string(s, r, 1, ("row " + std::to_string(r)).c_str(), nullptr);
    worksheet_write_number(s, r, 2, 45000 + r % 1000, date);
    if (r < rows) worksheet_write_number(s, r, 3, r, nullptr);
  }
  worksheet_write_string(s, rows, 3, "late text", nullptr);
  auto engine = make_engine();
  auto db = open_ok(*engine, w.close(), hdr_yes);
  ASSERT_NE(db, nullptr);
  std::unique_ptr<wb_recordset> rs;
  ASSERT_EQ(db->open_recordset(u"SELECT * FROM [Big$]", rs), wb_s_ok);
  EXPECT_EQ(rs->record_count(), rows);
  ASSERT_EQ(rs->field_count(), 4u);
  EXPECT_EQ(utf8(rs->field(1).name()), "label");
  EXPECT_EQ(rs->field(2).type(), wb_dao_type::date);
  EXPECT_EQ(rs->field(3).type(), wb_dao_type::text);
  long count = 0;
  for (; !rs->eof(); rs->move_next()) {
    ++count;
    // ASSERT: one message, not a hundred thousand.
    ASSERT_EQ(rs->field(0).value().number, count);
    ASSERT_EQ(utf8(rs->field(1).value().text), "row " + std::to_string(count));
    ASSERT_EQ(rs->field(2).value().number, 45000 + count % 1000);
    ASSERT_EQ(utf8(rs->field(3).value().text), count < rows ? std::to_string(count) : "late text");
  }
  EXPECT_EQ(count, rows);
}
