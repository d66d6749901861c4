// Column names from the header row. The used range and empty rows are
// checked end to end in tests/agent (workbook_test.cpp).
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
  for (lxw_col_t c = 0; c < 8; ++c) {
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
  EXPECT_EQ(rows_of(t), (std::vector<std::vector<std::string>>{{"0", "1", "2", "3", "4", "5", "6", "7"}}));
}
