// The committed .xls fixtures (tests/data/xls, see make_fixtures.py there)
// through the engine's public API: table names, column types and values as
// the recordset presents them.
#include <gtest/gtest.h>

#include "host_fixture.h"

using namespace host_test;

namespace {

std::string fixture(const char* name) { return std::string(HOST_BIFF_DATA_DIR) + "/" + name; }

// The texts of the fixture sst_continue.xls, made the way its script makes them.
std::u16string long_text(std::uint64_t seed, std::size_t length, std::u16string_view alphabet) {
  std::u16string out;
  std::uint64_t x = seed;
  while (out.size() < length) {
    x = (x * 1103515245 + 12345) % 2147483648;
    out.push_back(alphabet[x % alphabet.size()]);
  }
  return out;
}

}  // namespace

TEST(host_biff_engine, TableNamesOfTheWorksheetsInWorkbookOrder) {
  // Each sheet holds its own name in A1; "Hidden" is a hidden sheet.
  const std::pair<std::u16string, std::string> sheets[] = {{u"Z$", "Z"},
                                                           {u"a$", "a"},
                                                           {u"'My Data$'", "My Data"},
                                                           {u"'O''Brien$'", "O'Brien"},
                                                           {u"Hidden$", "Hidden"},
                                                           {u"b$", "b"},
                                                           {u"'Sales-2024$'", "Sales-2024"},
                                                           {u"\u00dcbersicht$",
                                                            "\xC3\x9C"
                                                            "bersicht"}};
  std::vector<std::string> expected;
  for (const auto& [name_of_table, name] : sheets) expected.push_back(utf8(name_of_table));
  EXPECT_EQ(table_names(fixture("sheets.xls")), expected);
  for (const auto& [name_of_table, name] : sheets) {
    const table t = read_table(fixture("sheets.xls"), name_of_table);
    ASSERT_EQ(t.rows.size(), 1u) << name;
    EXPECT_EQ(t.rows[0][0].text, name);
  }
  const table t = read_table(fixture("sheets.xls"), u"'O''Brien$'", hdr_yes);
  ASSERT_EQ(t.columns.size(), 1u);
  EXPECT_EQ(t.columns[0].name, "O'Brien");
  EXPECT_TRUE(t.rows.empty());
}

TEST(host_biff_engine, DatesOfBothSystemsBecomeTheSameDates) {
  const std::vector<std::string> common = {"2024-02-29",          "9999-12-31", "2024-07-15 13:45:30",
                                           "1999-12-31 23:59:59", "12:00:00",   "06:30:00"};
  struct file_case {
    const char* name;
    std::vector<std::string> first;
  };
  const file_case files[] = {
      {"dates_1900.xls", {"1900-01-01", "1900-02-28", "1900-03-01"}},
      // In the 1904 system 1904-01-01 is serial 0; formatted as a date it is
      // that day, not the time 00:00:00.
      {"dates_1904.xls", {"1904-01-01", "1904-02-29", "1904-03-01"}},
  };
  for (const file_case& f : files) {
    SCOPED_TRACE(f.name);
    const table t = read_table(fixture(f.name), u"Dates$");
    ASSERT_EQ(t.columns.size(), 1u);
    EXPECT_EQ(t.columns[0].type, wb_dao_type::date);
    std::vector<std::string> expected = f.first;
    expected.insert(expected.end(), common.begin(), common.end());
    EXPECT_EQ(column_of(t, 0), expected);
  }
}

TEST(host_biff_engine, NumberFormatsDecideTheColumnTypes) {
  const table t = read_table(fixture("number_formats.xls"), u"Formats$");
  ASSERT_EQ(t.columns.size(), 5u);
  // Currency, percent, general, time, date.
  const wb_dao_type types[] = {wb_dao_type::currency, wb_dao_type::double_, wb_dao_type::double_, wb_dao_type::date,
                               wb_dao_type::date};
  for (std::size_t c = 0; c < 5; ++c) EXPECT_EQ(t.columns[c].type, types[c]) << c;
  EXPECT_EQ(t.columns[3].format, "Long Time");
  EXPECT_EQ(t.columns[4].format, "Short Date");
  EXPECT_EQ(rows_of(t), (std::vector<std::vector<std::string>>{{"$1234.5", "0.125", "2.5", "12:00:00", "2024-02-29"},
                                                               {"$-0.75", "0.5", "3", "06:30:00", "1999-12-31"},
                                                               {"$99.99", "NULL", "NULL", "NULL", "NULL"}}));
}

TEST(host_biff_engine, SharedStringsCrossingContinueRecordsMakeAMemoColumn) {
  const table t = read_table(fixture("sst_continue.xls"), u"Strings$");
  ASSERT_EQ(t.columns.size(), 2u);
  EXPECT_EQ(t.columns[0].type, wb_dao_type::text);
  EXPECT_EQ(t.columns[1].type, wb_dao_type::memo);
  ASSERT_EQ(t.rows.size(), 3000u);
  // Column A: "str-NNNNN" repeated 1 to 7 times; column B: four long texts,
  // two of them of two-byte characters.
  for (std::uint32_t r = 0; r < 3000; ++r) {
    char base[16];
    std::snprintf(base, sizeof base, "str-%05u", r);
    std::string expected;
    for (std::uint32_t n = 0; n < r % 7 + 1; ++n) expected += base;
    ASSERT_EQ(t.rows[r][0].text, expected) << r;
  }
  const std::u16string latin = u"abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const std::u16string wide = u"abc \u00e9\u00fc\u0142\u4e2d\u6587\u0436\u03a9";
  const std::u16string long_texts[] = {long_text(1, 20000, latin), long_text(2, 12000, wide), long_text(3, 9000, latin),
                                       long_text(4, 5000, wide)};
  for (std::size_t r = 0; r < 4; ++r) EXPECT_EQ(t.rows[r][1].text, utf8(long_texts[r])) << r;
  EXPECT_EQ(t.rows[4][1].kind, wb_value_kind::null);
}
