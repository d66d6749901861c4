// Column types from number formats and text lengths, and a long sheet, from
// workbooks written by libxlsxwriter. Values of every kind are compared end
// to end in tests/agent (workbook_test.cpp).
#include "host_fixture.h"

using namespace host_test;

// A column's numbers decide its type by what their formats mean: dates with
// and without a time of day make a date column of the general form; a
// built-in currency format makes currency, a "$" in quotes does not; percent
// and general numbers are numbers alike. Every other meaning, durations and
// mixed columns are compared end to end in tests/agent (round_trip_test.cpp,
// workbook_test.cpp).
TEST(host_values, NumberFormatsMakeColumnsOfTheirMeaning) {
  xlsx_book w;
  lxw_worksheet* s = w.sheet("F");
  lxw_format* builtin_currency = workbook_add_format(w.handle());
  format_set_num_format_index(builtin_currency, 7);
  lxw_format* day = w.format("yyyy-mm-dd");
  struct column_case {
    std::vector<std::pair<lxw_format*, double>> cells;  // rows 1, 2
    wb_dao_type type;
    const char* format_property;
    std::vector<std::string> values;
  };
  const column_case columns[] = {
      {{{day, 60}, {day, ole_date(2024, 2, 29)}}, wb_dao_type::date, "Short Date", {"1900-02-28", "2024-02-29"}},
      {{{day, 45000}, {w.format("yyyy-mm-dd hh:mm:ss"), 45000.5}},
       wb_dao_type::date,
       "General Date",
       {"2023-03-15", "2023-03-15 12:00:00"}},
      {{{builtin_currency, 1234.5678}, {w.format("[$\xE2\x82\xAC-407] #,##0.00"), -0.01}},
       wb_dao_type::currency,
       "",
       {"$1234.5678", "$-0.01"}},
      {{{w.format("0.00%"), 0.125}, {nullptr, 2}}, wb_dao_type::double_, "", {"0.125", "2"}},
      {{{w.format("\"USD $\" 0.00"), 7}}, wb_dao_type::double_, "", {"7"}},
  };
  for (lxw_col_t c = 0; c < std::size(columns); ++c)
    for (lxw_row_t r = 0; r < columns[c].cells.size(); ++r)
      worksheet_write_number(s, r, c, columns[c].cells[r].second, columns[c].cells[r].first);
  const table t = read_table(w.close(), u"F$");
  ASSERT_EQ(t.columns.size(), std::size(columns));
  ASSERT_EQ(t.rows.size(), 2u);
  const auto rows = rows_of(t);
  for (std::size_t c = 0; c < std::size(columns); ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(t.columns[c].type, columns[c].type);
    EXPECT_EQ(t.columns[c].format, columns[c].format_property);
    std::vector<std::string> values;
    for (std::size_t r = 0; r < columns[c].values.size(); ++r) values.push_back(rows[r][c]);
    EXPECT_EQ(values, columns[c].values);
  }
}

// 255 characters keep a column text, 256 make it a memo; characters, not bytes.
TEST(host_values, TextsPast255CharactersMakeAMemoColumn) {
  xlsx_book w;
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
  xlsx_book w("", true);  // constant-memory mode: written row by row
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
