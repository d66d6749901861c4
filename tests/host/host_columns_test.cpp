// The used range, column names from the header row, and rows without values.
#include "host_fixture.h"

using namespace host_test;

namespace {

std::vector<std::string> names(const table& t) {
  std::vector<std::string> n;
  for (const column& c : t.columns) n.push_back(c.name);
  return n;
}

}  // namespace

TEST(host_columns, HeaderRowNamesColumnsAndMakesNamesUnique) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("H");
  // Header texts as written; "" means no cell.
  const char* headers[] = {"Name", "", "name", nullptr /*number*/, "   ", "F2", "NAME", "Name1"};
  for (int c = 0; c < 8; ++c) {
    if (headers[c] == nullptr)
      worksheet_write_number(s, 0, c, 2024, nullptr);
    else if (*headers[c] != '\0')
      worksheet_write_string(s, 0, c, headers[c], nullptr);
    worksheet_write_number(s, 1, c, c, nullptr);
  }
  const std::string path = w.close();

  const table t = read_table(path, u"H$", hdr_yes);
  const std::vector<std::string> expected = {"Name", "F2", "name1", "2024", "F5", "F21", "NAME2", "Name11"};
  EXPECT_EQ(names(t), expected);
  ASSERT_EQ(t.rows.size(), 1u);
  EXPECT_EQ(t.record_count, 1);
  for (int c = 0; c < 8; ++c) EXPECT_EQ(t.rows[0][c].number, c);

  // Without a header row the same sheet has F1..F8 and two records.
  const table n = read_table(path, u"H$", hdr_no);
  EXPECT_EQ(names(n), (std::vector<std::string>{"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8"}));
  ASSERT_EQ(n.rows.size(), 2u);
  EXPECT_EQ(n.rows[0][0].text, "Name");
  EXPECT_EQ(n.columns[0].type, wb_dao_type::text);
  EXPECT_EQ(n.columns[3].type, wb_dao_type::double_);
  EXPECT_EQ(n.rows[0][3].number, 2024.0);
}

TEST(host_columns, UsedRangeStartsAtTheFirstValueAndIgnoresFormattingOnlyCells) {
  xlsx_writer w;
  lxw_worksheet* s = w.sheet("R");
  lxw_format* fill = workbook_add_format(w.book());
  format_set_bg_color(fill, LXW_COLOR_YELLOW);
  // Values in C3:E6 with an empty row (5) and an empty column (D).
  worksheet_write_string(s, 2, 2, "key", nullptr);
  worksheet_write_string(s, 2, 4, "val", nullptr);
  worksheet_write_string(s, 3, 2, "a", nullptr);
  worksheet_write_number(s, 3, 4, 1, nullptr);
  worksheet_write_string(s, 5, 2, "c", nullptr);
  worksheet_write_number(s, 5, 4, 3, nullptr);
  // Formatted but empty cells around the data.
  worksheet_write_blank(s, 0, 0, fill);
  worksheet_write_blank(s, 9, 7, fill);
  worksheet_write_blank(s, 4, 3, fill);
  const table t = read_table(w.close(), u"R$", hdr_yes);
  EXPECT_EQ(names(t), (std::vector<std::string>{"key", "F2", "val"}));
  EXPECT_EQ(t.columns[1].type, wb_dao_type::text);
  EXPECT_EQ(t.columns[1].size, 255);
  EXPECT_EQ(t.columns[2].type, wb_dao_type::double_);
  ASSERT_EQ(t.rows.size(), 3u);
  EXPECT_EQ(t.record_count, 3);
  EXPECT_EQ(t.rows[0][0].text, "a");
  EXPECT_EQ(t.rows[0][2].number, 1.0);
  for (const cell& c : t.rows[1]) EXPECT_EQ(c.kind, wb_value_kind::null);  // the empty row arrives
  EXPECT_EQ(t.rows[2][0].text, "c");
  EXPECT_EQ(t.rows[2][2].number, 3.0);
}

TEST(host_columns, TypeDependsOnEveryRowNotOnlyTheFirstOnes) {
  xlsx_writer w("book.xlsx", true);
  lxw_worksheet* s = w.sheet("Late");
  // Constant-memory mode: written row by row.
  for (int r = 0; r < 20000; ++r) {
    worksheet_write_number(s, r, 0, r, nullptr);
    worksheet_write_boolean(s, r, 1, r % 2, nullptr);
  }
  worksheet_write_string(s, 20000, 0, "late text", nullptr);
  const table t = read_table(w.close(), u"Late$");
  ASSERT_EQ(t.columns.size(), 2u);
  EXPECT_EQ(t.columns[0].type, wb_dao_type::text);
  EXPECT_EQ(t.columns[1].type, wb_dao_type::boolean);
  ASSERT_EQ(t.rows.size(), 20001u);
  EXPECT_EQ(t.rows[19999][0].text, "19999");
  EXPECT_EQ(t.rows[20000][0].text, "late text");
  EXPECT_EQ(t.rows[20000][1].kind, wb_value_kind::null);
  EXPECT_TRUE(t.rows[1][1].boolean);
}
