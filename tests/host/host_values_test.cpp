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

TEST(host_values, DatesOfThe1900SystemArriveAsTheCalendarDateExcelShows) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("Dates");
  lxw_format* date = w.format("yyyy-mm-dd");
  lxw_format* stamp = w.format("yyyy-mm-dd hh:mm:ss");
  struct row {
    lxw_datetime written;
    double expected;
  };
  const row dates[] = {
      {dt(1900, 1, 1), ole_date(1900, 1, 1)},   {dt(1900, 2, 28), ole_date(1900, 2, 28)},
      {dt(1900, 3, 1), ole_date(1900, 3, 1)},   {dt(1999, 12, 31), ole_date(1999, 12, 31)},
      {dt(2024, 2, 29), ole_date(2024, 2, 29)}, {dt(9999, 12, 31), ole_date(9999, 12, 31)},
  };
  const row stamps[] = {
      {dt(1900, 1, 1, 6, 0, 0), ole_date(1900, 1, 1, 6, 0, 0)},
      {dt(2024, 2, 29, 13, 45, 30), ole_date(2024, 2, 29, 13, 45, 30)},
      {dt(2000, 1, 1, 0, 0, 0), ole_date(2000, 1, 1)},
  };
  int r = 0;
  for (const row& d : dates) worksheet_write_datetime(s, r++, 0, const_cast<lxw_datetime*>(&d.written), date);
  r = 0;
  for (const row& d : stamps) worksheet_write_datetime(s, r++, 1, const_cast<lxw_datetime*>(&d.written), stamp);
  // Serial 60 is the fictitious 1900-02-29: it arrives as 1900-02-28.
  worksheet_write_number(s, 0, 2, 60, date);
  worksheet_write_number(s, 1, 2, 60.5, date);
  const table t = read_table(w.close(), u"Dates$");

  ASSERT_EQ(t.columns.size(), 3u);
  EXPECT_EQ(t.columns[0].type, wb_dao_type::date);
  EXPECT_EQ(t.columns[0].format, "Short Date");
  EXPECT_EQ(t.columns[1].type, wb_dao_type::date);
  EXPECT_EQ(t.columns[1].format, "General Date");
  EXPECT_FALSE(t.columns[0].has_description);
  ASSERT_EQ(t.rows.size(), std::size(dates));
  for (std::size_t i = 0; i < std::size(dates); ++i) {
    EXPECT_EQ(t.rows[i][0].kind, wb_value_kind::date);
    EXPECT_NEAR(t.rows[i][0].number, dates[i].expected, tolerance) << i;
  }
  for (std::size_t i = 0; i < std::size(stamps); ++i) EXPECT_NEAR(t.rows[i][1].number, stamps[i].expected, 1e-6) << i;
  EXPECT_TRUE(t.rows[3][1].kind == wb_value_kind::null);
  EXPECT_NEAR(t.rows[0][2].number, ole_date(1900, 2, 28), tolerance);
  EXPECT_NEAR(t.rows[1][2].number, ole_date(1900, 2, 28, 12), tolerance);
}

TEST(host_values, DatesOfThe1904SystemAreShiftedBy1462Days) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("D");
  lxw_format* date = w.format("d mmm yyyy");
  // Raw serials as the 1904 system counts them.
  worksheet_write_number(s, 0, 0, 42369, date);  // 2020-01-01
  worksheet_write_number(s, 1, 0, 1, date);      // 1904-01-02
  worksheet_write_number(s, 2, 0, 1.5, date);    // 1904-01-02 12:00
  const std::string path = w.close();
  patch_part(path, "xl/workbook.xml", "<workbookPr ", "<workbookPr date1904=\"1\" ");
  const table t = read_table(path, u"D$");
  ASSERT_EQ(t.rows.size(), 3u);
  EXPECT_EQ(t.columns[0].type, wb_dao_type::date);
  EXPECT_EQ(t.columns[0].format, "General Date");
  EXPECT_NEAR(t.rows[0][0].number, ole_date(2020, 1, 1), tolerance);
  EXPECT_NEAR(t.rows[1][0].number, ole_date(1904, 1, 2), tolerance);
  EXPECT_NEAR(t.rows[2][0].number, ole_date(1904, 1, 2, 12), tolerance);
}

TEST(host_values, TimeColumnsReadAsLongTime) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("T");
  lxw_format* time = w.format("hh:mm:ss");
  lxw_format* elapsed = w.format("[h]:mm");
  lxw_datetime t1 = dt(0, 0, 0, 8, 30, 0), t2 = dt(0, 0, 0, 23, 59, 59), t3 = dt(0, 0, 0, 0, 0, 0);
  worksheet_write_datetime(s, 0, 0, &t1, time);
  worksheet_write_datetime(s, 1, 0, &t2, time);
  worksheet_write_datetime(s, 2, 0, &t3, time);
  worksheet_write_number(s, 0, 1, 0.25, elapsed);
  const table t = read_table(w.close(), u"T$");
  ASSERT_EQ(t.rows.size(), 3u);
  EXPECT_EQ(t.columns[0].type, wb_dao_type::date);
  EXPECT_EQ(t.columns[0].format, "Long Time");
  EXPECT_EQ(t.columns[1].format, "Long Time");
  EXPECT_NEAR(t.rows[0][0].number, (8 * 3600 + 30 * 60) / 86400.0, tolerance);
  EXPECT_NEAR(t.rows[1][0].number, (23 * 3600 + 59 * 60 + 59) / 86400.0, tolerance);
  EXPECT_NEAR(t.rows[2][0].number, 0.0, tolerance);
  EXPECT_NEAR(t.rows[0][1].number, 0.25, tolerance);
}

TEST(host_values, CurrencyFormatsGiveCurrencyAndPercentGivesDouble) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("Money");
  lxw_format* builtin = workbook_add_format(w.book());
  format_set_num_format_index(builtin, 7);  // built-in currency with two decimals
  lxw_format* formats[] = {builtin, w.format("$#,##0.00"), w.format("[$\xE2\x82\xAC-407] #,##0.00"),
                           w.format("#,##0.00 \xC2\xA3"), w.format("\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)")};
  const double amounts[] = {1234.5678, -0.01, 0};
  for (int c = 0; c < 5; ++c)
    for (int r = 0; r < 3; ++r) worksheet_write_number(s, r, c, amounts[r], formats[c]);
  lxw_format* percent = w.format("0.00%");
  worksheet_write_number(s, 0, 5, 0.125, percent);
  worksheet_write_number(s, 1, 5, 1, percent);
  // Currency mixed with a plain number: double.
  worksheet_write_number(s, 0, 6, 5, formats[1]);
  worksheet_write_number(s, 1, 6, 6, nullptr);
  // A price in quotes is text, not a symbol: "USD " prefix alone makes no currency.
  worksheet_write_number(s, 0, 7, 5, w.format("\"USD $\" 0.00"));
  const table t = read_table(w.close(), u"Money$");
  ASSERT_EQ(t.columns.size(), 8u);
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(t.columns[c].type, wb_dao_type::currency) << c;
    EXPECT_EQ(t.rows[0][c].kind, wb_value_kind::currency);
    EXPECT_EQ(t.rows[0][c].currency, 12345678) << c;
    EXPECT_EQ(t.rows[1][c].currency, -100) << c;
    EXPECT_EQ(t.rows[2][c].currency, 0) << c;
  }
  EXPECT_EQ(t.columns[5].type, wb_dao_type::double_);
  EXPECT_EQ(t.rows[0][5].number, 0.125);
  EXPECT_EQ(t.columns[6].type, wb_dao_type::double_);
  EXPECT_EQ(t.rows[0][6].number, 5.0);
  EXPECT_EQ(t.columns[7].type, wb_dao_type::double_);
}

TEST(host_values, BooleansNumbersAndFormulaResults) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("S");
  worksheet_write_boolean(s, 0, 0, 1, nullptr);
  worksheet_write_boolean(s, 1, 0, 0, nullptr);
  worksheet_write_number(s, 0, 1, 1.5, nullptr);
  worksheet_write_formula_num(s, 1, 1, "=1+2", nullptr, 3);
  worksheet_write_formula_str(s, 0, 2, "=\"A\"&\"B\"", nullptr, "AB");
  worksheet_write_string(s, 1, 2, "x", nullptr);
  const table t = read_table(w.close(), u"S$");
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_EQ(t.columns[0].type, wb_dao_type::boolean);
  EXPECT_EQ(t.rows[0][0].kind, wb_value_kind::boolean);
  EXPECT_TRUE(t.rows[0][0].boolean);
  EXPECT_FALSE(t.rows[1][0].boolean);
  EXPECT_EQ(t.columns[1].type, wb_dao_type::double_);
  EXPECT_EQ(t.columns[1].size, 8);
  EXPECT_EQ(t.rows[1][1].number, 3.0);
  EXPECT_EQ(t.columns[2].type, wb_dao_type::text);
  EXPECT_EQ(t.rows[0][2].text, "AB");
}

TEST(host_values, ErrorCellsAndFormulasWithoutCachedValueAreNull) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("E");
  worksheet_write_number(s, 0, 0, 1, nullptr);
  worksheet_write_formula_str(s, 1, 0, "=1/0", nullptr, "#DIV/0!");
  worksheet_write_number(s, 2, 0, 3, nullptr);
  worksheet_write_formula_num(s, 0, 1, "=A1", nullptr, 0);
  // An error alone in the last row still counts for the range.
  worksheet_write_formula_str(s, 3, 2, "=NA()", nullptr, "#N/A");
  const std::string path = w.close();
  patch_part(path, "xl/worksheets/sheet1.xml", "t=\"str\"><f>1/0</f>", "t=\"e\"><f>1/0</f>");
  patch_part(path, "xl/worksheets/sheet1.xml", "t=\"str\"><f>NA()</f>", "t=\"e\"><f>NA()</f>");
  patch_part(path, "xl/worksheets/sheet1.xml", "<f>A1</f><v>0</v>", "<f>A1</f>");
  const table t = read_table(path, u"E$");
  ASSERT_EQ(t.rows.size(), 4u);
  ASSERT_EQ(t.columns.size(), 3u);
  EXPECT_EQ(t.columns[0].type, wb_dao_type::double_);
  EXPECT_EQ(t.rows[0][0].number, 1.0);
  EXPECT_EQ(t.rows[1][0].kind, wb_value_kind::null);
  EXPECT_EQ(t.rows[2][0].number, 3.0);
  EXPECT_EQ(t.columns[1].type, wb_dao_type::text);  // no value at all
  EXPECT_EQ(t.rows[0][1].kind, wb_value_kind::null);
  EXPECT_EQ(t.rows[3][2].kind, wb_value_kind::null);
}

TEST(host_values, InlineAndRichStringsAndLineBreaks) {
  for (bool constant_memory : {false, true}) {  // shared strings, or inline strings
    xlsx_writer w("book.xlsx", constant_memory);
    lxw_worksheet* s = w.sheet("Txt");
    worksheet_write_string(s, 0, 0, "plain", nullptr);
    worksheet_write_string(s, 1, 0, "line1\nline2", nullptr);
    worksheet_write_string(s, 2, 0, "cr\r\nlf", nullptr);
    worksheet_write_string(s, 3, 0, "\xE2\x82\xAC \xF0\x9F\x98\x80 \xE4\xB8\xAD", nullptr);  // € 😀 中
    lxw_format* bold = workbook_add_format(w.book());
    format_set_bold(bold);
    char bold_text[] = "bold", plain_text[] = " and plain";
    lxw_rich_string_tuple f1 = {.format = bold, .string = bold_text};
    lxw_rich_string_tuple f2 = {.format = nullptr, .string = plain_text};
    lxw_rich_string_tuple* rich[] = {&f1, &f2, nullptr};
    worksheet_write_rich_string(s, 4, 0, rich, nullptr);
    const table t = read_table(w.close(), u"Txt$");
    ASSERT_EQ(t.rows.size(), 5u) << constant_memory;
    EXPECT_EQ(t.rows[0][0].text, "plain");
    EXPECT_EQ(t.rows[1][0].text, "line1\nline2");
    EXPECT_EQ(t.rows[2][0].text, "cr\r\nlf");
    EXPECT_EQ(t.rows[3][0].text, "\xE2\x82\xAC \xF0\x9F\x98\x80 \xE4\xB8\xAD");
    EXPECT_EQ(t.rows[4][0].text, "bold and plain");
  }
}

TEST(host_values, MixedColumnsArriveAsText) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("Mix");
  lxw_format* date = w.format("dd/mm/yyyy");
  lxw_format* stamp = w.format("dd/mm/yyyy hh:mm");
  lxw_format* time = w.format("h:mm:ss AM/PM");
  lxw_format* money = w.format("$0.00");
  struct row {
    int kind;  // 0 number, 1 date, 2 stamp, 3 time, 4 bool, 5 money
    double number;
    std::string expected;
  };
  lxw_datetime d1 = dt(2024, 2, 29), d2 = dt(2024, 2, 29, 13, 45, 30), d3 = dt(0, 0, 0, 7, 5, 9);
  const row rows[] = {
      {0, 42, "42"},
      {0, 1.5, "1.5"},
      {0, 1e20, "1E+20"},
      {0, 1e-7, "1E-07"},
      {0, -0.25, "-0.25"},
      {0, 123456789012, "123456789012"},
      {0, 0.0001, "0.0001"},
      {0, 1e16, "10000000000000000"},
      {0, 3.25e-100, "3.25E-100"},
      {1, 0, "2024-02-29"},
      {2, 0, "2024-02-29 13:45:30"},
      {3, 0, "07:05:09"},
      {4, 1, "TRUE"},
      {4, 0, "FALSE"},
      {5, 12.5, "12.5"},
  };
  worksheet_write_string(s, 0, 0, "text", nullptr);
  int r = 1;
  for (const row& x : rows) {
    switch (x.kind) {
      case 0:
        worksheet_write_number(s, r, 0, x.number, nullptr);
        break;
      case 1:
        worksheet_write_datetime(s, r, 0, &d1, date);
        break;
      case 2:
        worksheet_write_datetime(s, r, 0, &d2, stamp);
        break;
      case 3:
        worksheet_write_datetime(s, r, 0, &d3, time);
        break;
      case 4:
        worksheet_write_boolean(s, r, 0, static_cast<int>(x.number), nullptr);
        break;
      case 5:
        worksheet_write_number(s, r, 0, x.number, money);
        break;
    }
    ++r;
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

TEST(host_values, HundredThousandRowsStreamWithEveryValue) {
  constexpr int rows = 100000;
  xlsx_writer w("big.xlsx", true);
  lxw_worksheet* s = w.sheet("Big");
  lxw_format* date = w.format("yyyy-mm-dd");
  worksheet_write_string(s, 0, 0, "id", nullptr);
  worksheet_write_string(s, 0, 1, "label", nullptr);
  worksheet_write_string(s, 0, 2, "day", nullptr);
  for (int r = 1; r <= rows; ++r) {
    worksheet_write_number(s, r, 0, r, nullptr);
    worksheet_write_string(s, r, 1, ("row " + std::to_string(r)).c_str(), nullptr);
    worksheet_write_number(s, r, 2, 45000 + r % 1000, date);
  }
  const std::string path = w.close();

  auto engine = make_engine();
  auto db = open_ok(*engine, path, hdr_yes);
  ASSERT_NE(db, nullptr);
  std::unique_ptr<wb_recordset> rs;
  ASSERT_EQ(db->open_recordset(u"SELECT * FROM [Big$]", rs), wb_s_ok);
  EXPECT_EQ(rs->record_count(), rows);
  ASSERT_EQ(rs->field_count(), 3u);
  EXPECT_EQ(utf8(rs->field(1).name()), "label");
  EXPECT_EQ(rs->field(2).type(), wb_dao_type::date);
  long count = 0;
  double sum = 0;
  bool labels_ok = true, dates_ok = true;
  for (; !rs->eof(); rs->move_next()) {
    ++count;
    sum += rs->field(0).value().number;
    labels_ok = labels_ok && utf8(rs->field(1).value().text) == "row " + std::to_string(count);
    dates_ok = dates_ok && rs->field(2).value().number == 45000 + count % 1000;
  }
  EXPECT_EQ(count, rows);
  EXPECT_EQ(sum, static_cast<double>(rows) * (rows + 1) / 2);
  EXPECT_TRUE(labels_ok);
  EXPECT_TRUE(dates_ok);
}
