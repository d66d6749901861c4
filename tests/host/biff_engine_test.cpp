// .xls workbooks through the engine's public API: table names, column
// types and values as the recordset presents them, and the DAO errors of
// encrypted and damaged files.
#include <gtest/gtest.h>

#include "biff_test_writer.h"
#include "host_fixture.h"

using namespace host_test;
using namespace biff_test;
using vk = wb_value_kind;

namespace {

std::string fixture(const char* name) { return std::string(HOST_BIFF_DATA_DIR) + "/" + name; }

void expect_dates(const table& t, std::size_t column, const std::vector<double>& expected) {
  ASSERT_EQ(t.rows.size(), expected.size());
  for (std::size_t r = 0; r < expected.size(); ++r) {
    SCOPED_TRACE(r);
    ASSERT_EQ(t.rows[r][column].kind, vk::date);
    EXPECT_NEAR(t.rows[r][column].number, expected[r], 0.5 / 86400);
  }
}

}  // namespace

TEST(host_biff_engine, TableNamesOfTheWorksheets) {
  const std::vector<std::string> expected = {"Z$",
                                             "a$",
                                             "'My Data$'",
                                             "'O''Brien$'",
                                             "Hidden$",
                                             "b$",
                                             "'Sales-2024$'",
                                             "\xC3\x9C"
                                             "bersicht$"};
  EXPECT_EQ(table_names(fixture("sheets.xls")), expected);
  const table t = read_table(fixture("sheets.xls"), u"'O''Brien$'", hdr_yes);
  ASSERT_EQ(t.columns.size(), 1u);
  EXPECT_EQ(t.columns[0].name, "O'Brien");
  EXPECT_TRUE(t.rows.empty());
}

TEST(host_biff_engine, DatesOfBothSystemsBecomeTheSameOleDates) {
  const std::vector<double> common = {ole_date(2024, 2, 29),
                                      ole_date(9999, 12, 31),
                                      ole_date(2024, 7, 15, 13, 45, 30),
                                      ole_date(1999, 12, 31, 23, 59, 59),
                                      ole_date(1899, 12, 30, 12),
                                      ole_date(1899, 12, 30, 6, 30)};
  struct file_case {
    const char* name;
    std::vector<double> first;
  };
  const file_case files[] = {
      {"dates_1900.xls", {ole_date(1900, 1, 1), ole_date(1900, 2, 28), ole_date(1900, 3, 1)}},
      {"dates_1904.xls", {ole_date(1904, 1, 1), ole_date(1904, 2, 29), ole_date(1904, 3, 1)}},
  };
  for (const file_case& f : files) {
    SCOPED_TRACE(f.name);
    const table t = read_table(fixture(f.name), u"Dates$");
    ASSERT_EQ(t.columns.size(), 1u);
    EXPECT_EQ(t.columns[0].type, wb_dao_type::date);
    std::vector<double> expected = f.first;
    expected.insert(expected.end(), common.begin(), common.end());
    // In the 1904 system 1904-01-01 is serial 0; formatted as a date it is
    // that day, not the time 00:00:00.
    expect_dates(t, 0, expected);
  }
}

TEST(host_biff_engine, NumberFormatsDecideTheColumnTypes) {
  const table t = read_table(fixture("number_formats.xls"), u"Formats$");
  ASSERT_EQ(t.columns.size(), 5u);
  const wb_dao_type types[] = {wb_dao_type::currency, wb_dao_type::double_, wb_dao_type::double_, wb_dao_type::date,
                               wb_dao_type::date};
  for (std::size_t c = 0; c < 5; ++c) EXPECT_EQ(t.columns[c].type, types[c]) << c;
  EXPECT_EQ(t.columns[3].format, "Long Time");
  EXPECT_EQ(t.columns[4].format, "Short Date");
  ASSERT_EQ(t.rows.size(), 3u);
  const std::int64_t amounts[] = {12345000, -7500, 999900};
  for (std::size_t r = 0; r < 3; ++r) {
    ASSERT_EQ(t.rows[r][0].kind, vk::currency);
    EXPECT_EQ(t.rows[r][0].currency, amounts[r]);
  }
  EXPECT_EQ(t.rows[0][1].number, 0.125);
  EXPECT_EQ(t.rows[1][2].number, 3);
  EXPECT_EQ(t.rows[2][1].kind, vk::null);
  EXPECT_NEAR(t.rows[1][3].number, 6.5 / 24, 0.5 / 86400);
  EXPECT_EQ(t.rows[1][4].number, ole_date(1999, 12, 31));
}

TEST(host_biff_engine, LongSharedStringsMakeAMemoColumn) {
  const table t = read_table(fixture("sst_continue.xls"), u"Strings$");
  ASSERT_EQ(t.columns.size(), 2u);
  EXPECT_EQ(t.columns[0].type, wb_dao_type::text);
  EXPECT_EQ(t.columns[1].type, wb_dao_type::memo);
  ASSERT_EQ(t.rows.size(), 3000u);
  EXPECT_EQ(t.rows[2999][0].text, std::string("str-02999") + "str-02999" + "str-02999" + "str-02999");
  EXPECT_EQ(t.rows[0][1].text.size(), 20000u);
  EXPECT_EQ(t.rows[3][1].kind, vk::text);
  EXPECT_EQ(t.rows[4][1].kind, vk::null);
}

TEST(host_biff_engine, CachedFormulaResultsAndBiff5Text) {
  testsupport::temp_dir dir;
  // Columns: a cached number beside a plain one, cached strings, cached booleans, a cached error.
  const std::string cells = formula_cell(0, 0, 15, formula_number(1.5)) + formula_cell(0, 1, 15, formula_special(0)) +
                            record(0x0207, unicode_string(u"one", true)) +
                            formula_cell(0, 2, 15, formula_special(1, 1)) +
                            formula_cell(0, 3, 15, formula_special(2, 0x2A)) + number_cell(1, 0, 15, 2) +
                            formula_cell(1, 1, 15, formula_special(0)) + record(0x0207, unicode_string(u"two", true)) +
                            formula_cell(1, 2, 15, formula_special(1, 0)) + number_cell(1, 3, 15, 4);
  const std::string path = dir.file("formulas.xls");
  testsupport::write_file(
      path, compound_file({{u"Workbook", workbook_stream(8, xf_records(8, {}), {{"F", 0, 0, 0x10, cells}})}}));
  const table t = read_table(path, u"F$");
  ASSERT_EQ(t.columns.size(), 4u);
  EXPECT_EQ(t.columns[0].type, wb_dao_type::double_);
  EXPECT_EQ(t.columns[1].type, wb_dao_type::text);
  EXPECT_EQ(t.columns[2].type, wb_dao_type::boolean);
  EXPECT_EQ(t.columns[3].type, wb_dao_type::double_);  // the error reads as NULL, the 4 decides
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_EQ(t.rows[0][0].number, 1.5);
  EXPECT_EQ(t.rows[1][1].text, "two");
  EXPECT_TRUE(t.rows[0][2].boolean);
  EXPECT_FALSE(t.rows[1][2].boolean);
  EXPECT_EQ(t.rows[0][3].kind, vk::null);

  // A BIFF5 workbook in code page 1251.
  const std::string name = "\xCB\xE8\xF1\xF2";  // Лист
  const std::string label = record(0x0204, bytes().u16(0).u16(0).u16(15).u16(6).raw("\xCF\xF0\xE8\xE2\xE5\xF2"));
  const std::string biff5 = dir.file("biff5.xls");
  testsupport::write_file(
      biff5, compound_file({{u"Book", workbook_stream(5, record(0x0042, bytes().u16(1251)) + xf_records(5, {}),
                                                      {{name, 0, 0, 0x10, label}})}}));
  EXPECT_EQ(table_names(biff5), std::vector<std::string>{"\xD0\x9B\xD0\xB8\xD1\x81\xD1\x82$"});
  const table t5 = read_table(biff5, u"\u041b\u0438\u0441\u0442$");
  ASSERT_EQ(t5.rows.size(), 1u);
  EXPECT_EQ(t5.rows[0][0].text, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");  // Привет
}

TEST(host_biff_engine, EncryptedAndDamagedFilesGiveTheirDaoErrors) {
  testsupport::temp_dir dir;
  const std::string filepass = record(0x002F, bytes().u16(1).u16(1).u16(1).raw(std::string(48, '\x11')));
  const std::string encrypted = dir.file("encrypted.xls");
  testsupport::write_file(encrypted,
                          compound_file({{u"Workbook", workbook_stream(8, filepass, {{"S", 0, 0, 0x10, ""}})}}));

  std::string looped = testsupport::read_file(fixture("cell_kinds.xls"));
  // cell_kinds.xls: FAT in the header's first FAT sector, Workbook in sectors 0 to 7.
  const std::size_t fat_at = (static_cast<unsigned char>(looped[0x4C]) + 1) * 512;
  looped.replace(fat_at + 4 * 6, 4, bytes().u32(2).str());
  const std::string damaged = dir.file("looped.xls");
  testsupport::write_file(damaged, looped);
  const std::string cut = dir.file("cut.xls");
  testsupport::write_file(cut, testsupport::read_file(fixture("cell_kinds.xls")).substr(0, 3000));

  struct row {
    std::string path;
    long number;
    const char* description;
  };
  const row rows[] = {{encrypted, 3161, "Could not decrypt file."},
                      {damaged, 3274, "External table is not in the expected format."},
                      {cut, 3274, "External table is not in the expected format."}};
  for (const row& r : rows) {
    const open_failure f = open_error(r.path);
    EXPECT_EQ(f.number, r.number) << r.path;
    EXPECT_EQ(f.description, r.description) << r.path;
  }
}
