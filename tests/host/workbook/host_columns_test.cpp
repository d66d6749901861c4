// The used range, column names from the header row, and rows without values.
#include "host_fixture.h"

using namespace host_test;

namespace {

using grid = std::vector<std::vector<std::string>>;

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
  EXPECT_EQ(names(t), (std::vector<std::string>{"Name", "F2", "name1", "2024", "F5", "F21", "NAME2", "Name11"}));
  EXPECT_EQ(t.record_count, 1);
  EXPECT_EQ(rows_of(t), (grid{{"0", "1", "2", "3", "4", "5", "6", "7"}}));

  // Without a header row the same sheet has F1..F8 and two records; the
  // header texts make their columns text.
  const table n = read_table(path, u"H$", hdr_no);
  EXPECT_EQ(names(n), (std::vector<std::string>{"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8"}));
  EXPECT_EQ(n.columns[3].type, wb_dao_type::double_);
  EXPECT_EQ(rows_of(n), (grid{{"'Name'", "NULL", "'name'", "2024", "'   '", "'F2'", "'NAME'", "'Name1'"},
                              {"'0'", "1", "'2'", "3", "'4'", "'5'", "'6'", "'7'"}}));
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
  EXPECT_EQ(t.record_count, 3);
  // The empty row arrives.
  EXPECT_EQ(rows_of(t), (grid{{"'a'", "NULL", "1"}, {"NULL", "NULL", "NULL"}, {"'c'", "NULL", "3"}}));
}
