// Column types from number formats and text lengths, and a long sheet, from
// workbooks written by libxlsxwriter. Values of every kind are compared end
// to end in tests/agent (workbook_test.cpp).
#include "host_fixture.h"

using namespace host_test;

// Columns of number formats and of long texts; their tables are in
// tests/golden/host/values.txt.
TEST(host_values, ColumnsGiveTheirGoldenTypes) {
  xlsx_book w;
  // A column's numbers decide its type by what their formats mean: dates
  // with and without a time of day make a date column of the general form;
  // a built-in currency format makes currency, a "$" in quotes does not;
  // percent and general numbers are numbers alike. Every other meaning,
  // durations and mixed columns are compared end to end in tests/agent
  // (round_trip_test.cpp, workbook_test.cpp).
  lxw_worksheet* s = w.sheet("F");
  lxw_format* builtin_currency = workbook_add_format(w.handle());
  format_set_num_format_index(builtin_currency, 7);
  lxw_format* day = w.format("yyyy-mm-dd");
  const std::vector<std::pair<lxw_format*, double>> columns[] = {
      {{day, 60}, {day, ole_date(2024, 2, 29)}},
      {{day, 45000}, {w.format("yyyy-mm-dd hh:mm:ss"), 45000.5}},
      {{builtin_currency, 1234.5678}, {w.format("[$\xE2\x82\xAC-407] #,##0.00"), -0.01}},
      {{w.format("0.00%"), 0.125}, {nullptr, 2}},
      {{w.format("\"USD $\" 0.00"), 7}},
  };
  for (lxw_col_t c = 0; c < std::size(columns); ++c)
    for (lxw_row_t r = 0; r < columns[c].size(); ++r)
      worksheet_write_number(s, r, c, columns[c][r].second, columns[c][r].first);
  // 255 characters keep a column text, 256 make it a memo; characters, not bytes.
  s = w.sheet("Long");
  std::string e255;
  for (int i = 0; i < 255; ++i) e255 += "\u00e9";
  worksheet_write_string(s, 0, 0, e255.c_str(), nullptr);
  worksheet_write_string(s, 0, 1, std::string(256, 'b').c_str(), nullptr);
  worksheet_write_number(s, 1, 1, 7, nullptr);
  testsupport::expect_golden("host/values.txt", listing(w.close()));
}

// A text in the last of a hundred thousand rows still makes its column
// text: the first pass reads the whole sheet, not a sample of its first
// rows. (That such rows stream through whole and in order is shown end to
// end by tests/agent, XlsxValues.HundredThousandRowsAndInlineStrings.)
TEST(host_values, ATextInTheLastOfAHundredThousandRowsMakesItsColumnText) {
  constexpr int rows = 100000;
  xlsx_book w("", true);  // constant-memory mode: written row by row
  lxw_worksheet* s = w.sheet("Big");
  for (lxw_row_t r = 0; r < rows; ++r) {
    worksheet_write_number(s, r, 0, r, nullptr);
    if (r + 1 < rows) worksheet_write_number(s, r, 1, r, nullptr);
  }
  worksheet_write_string(s, rows - 1, 1, "late text", nullptr);
  const table t = read_table(w.close(), u"Big$");
  EXPECT_EQ(t.record_count, rows);
  EXPECT_EQ(t.columns, (std::vector<std::string>{"F1 double 8", "F2 text 255"}));
  ASSERT_EQ(t.rows.size(), std::size_t{rows});
  EXPECT_EQ(t.rows.back(), (std::vector<std::string>{"99999", "'late text'"}));
}
