// Column types from number formats and text lengths, and a long sheet, from
// workbooks written by libxlsxwriter. Values of every kind are compared end
// to end in tests/agent (workbook_test.cpp).
#include "host_fixture.h"

using namespace host_test;

TEST(host_values, NumberFormatsMakeDateTimeAndCurrencyColumns) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("F");
  lxw_format* builtin_currency = workbook_add_format(w.book());
  format_set_num_format_index(builtin_currency, 7);
  struct column_case {
    lxw_format* format;
    double values[2];  // rows 1 and 2; 0 leaves the cell out
    wb_dao_type type;
    const char* format_property;
  };
  const column_case columns[] = {
      {w.format("yyyy-mm-dd"), {60, ole_date(2024, 2, 29)}, wb_dao_type::date, "Short Date"},  // 60: 1900-02-29
      {w.format("yyyy-mm-dd hh:mm:ss"),
       {ole_date(2024, 2, 29, 13, 45, 30), ole_date(2000, 1, 1)},
       wb_dao_type::date,
       "General Date"},
      {w.format("hh:mm:ss"), {8.5 / 24, ole_date(1899, 12, 30, 23, 59, 59)}, wb_dao_type::date, "Long Time"},
      {w.format("[h]:mm"), {0.25}, wb_dao_type::date, "Long Time"},  // elapsed time
      {builtin_currency, {1234.5678, -0.01}, wb_dao_type::currency, ""},
      {w.format("$#,##0.00"), {0.5}, wb_dao_type::currency, ""},
      {w.format("[$\xE2\x82\xAC-407] #,##0.00"), {2}, wb_dao_type::currency, ""},
      {w.format("0.00%"), {0.125}, wb_dao_type::double_, ""},
      {w.format("$0.00"), {5}, wb_dao_type::double_, ""},           // currency, then a plain number
      {w.format("\"USD $\" 0.00"), {7}, wb_dao_type::double_, ""},  // a "$" in quotes is text
  };
  for (lxw_col_t c = 0; c < std::size(columns); ++c) {
    worksheet_write_number(s, 0, c, columns[c].values[0], columns[c].format);
    if (columns[c].values[1] != 0) worksheet_write_number(s, 1, c, columns[c].values[1], columns[c].format);
  }
  worksheet_write_number(s, 1, 8, 6, nullptr);
  const table t = read_table(w.close(), u"F$");
  ASSERT_EQ(t.columns.size(), std::size(columns));
  for (std::size_t c = 0; c < std::size(columns); ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(t.columns[c].type, columns[c].type);
    EXPECT_EQ(t.columns[c].format, columns[c].format_property);
  }
  EXPECT_EQ(
      rows_of(t),
      (std::vector<std::vector<std::string>>{
          {"1900-02-28", "2024-02-29 13:45:30", "08:30:00", "06:00:00", "$1234.5678", "$0.5", "$2", "0.125", "5", "7"},
          {"2024-02-29", "2000-01-01", "23:59:59", "NULL", "$-0.01", "NULL", "NULL", "NULL", "6", "NULL"}}));
}

// 255 characters keep a column text, 256 make it a memo; characters, not bytes.
TEST(host_values, TextsPast255CharactersMakeAMemoColumn) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("Long");
  std::string e255;
  for (int i = 0; i < 255; ++i) e255 += "\u00e9";
  const std::string b256(256, 'b');
  worksheet_write_string(s, 0, 0, e255.c_str(), nullptr);
  worksheet_write_string(s, 0, 1, b256.c_str(), nullptr);
  worksheet_write_number(s, 1, 1, 7, nullptr);
  const table t = read_table(w.close(), u"Long$");
  ASSERT_EQ(t.columns.size(), 2u);
  EXPECT_EQ(t.columns[0].type, wb_dao_type::text);
  EXPECT_EQ(t.columns[0].size, 255);
  EXPECT_EQ(t.columns[1].type, wb_dao_type::memo);
  EXPECT_EQ(t.columns[1].size, 0);
  EXPECT_EQ(rows_of(t), (std::vector<std::vector<std::string>>{{"'" + e255 + "'", "'" + b256 + "'"}, {"NULL", "'7'"}}));
}

// A hundred thousand rows stream through in order; a text in the very last
// row still makes its column text.
TEST(host_values, HundredThousandRowsAndATextInTheLastRow) {
  constexpr int rows = 100000;
  xlsx_writer w("big.xlsx", true);  // constant-memory mode: written row by row
  lxw_worksheet* s = w.sheet("Big");
  for (lxw_row_t r = 0; r < rows; ++r) {
    worksheet_write_number(s, r, 0, r, nullptr);
    if (r + 1 < rows) worksheet_write_number(s, r, 1, r, nullptr);
  }
  worksheet_write_string(s, rows - 1, 1, "late text", nullptr);
  auto engine = make_engine();
  auto db = open_ok(*engine, w.close());
  ASSERT_NE(db, nullptr);
  std::unique_ptr<wb_recordset> rs;
  ASSERT_EQ(db->open_recordset(u"SELECT * FROM [Big$]", rs), wb_s_ok);
  EXPECT_EQ(rs->record_count(), rows);
  EXPECT_EQ(rs->field(0).type(), wb_dao_type::double_);
  EXPECT_EQ(rs->field(1).type(), wb_dao_type::text);
  int count = 0;
  for (; !rs->eof(); rs->move_next(), ++count) {
    // ASSERT: one message, not a hundred thousand.
    ASSERT_EQ(rs->field(0).value().number, count);
    ASSERT_EQ(utf8(rs->field(1).value().text), count + 1 < rows ? std::to_string(count) : "late text");
  }
  EXPECT_EQ(count, rows);
}
