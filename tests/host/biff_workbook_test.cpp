// The BIFF backend at the level of raw cells: the committed xlwt fixtures
// (tests/data/xls, see make_fixtures.py there) and hand-made workbooks for
// what that writer cannot produce (BIFF5 code pages, cached formula results,
// encryption, odd record layouts, damage).
#include <gtest/gtest.h>

#include <cmath>

#include "biff_test_writer.h"
#include "host_fixture.h"
#include "test_support.h"
#include "wb_biff_workbook.h"

using namespace biff_test;
using host_test::ole_date;
using host_test::utf8;
using k = wb_cell_kind;
using nc = wb_number_class;

namespace {

std::string fixture(const char* name) { return std::string(HOST_BIFF_DATA_DIR) + "/" + name; }

struct got {
  std::uint32_t row, column;
  wb_cell_kind kind;
  wb_number_class number_class;
  double number;
  std::u16string text;
  bool stable;
};

std::vector<got> read_cells(wb_sheet_source& sheet) {
  std::vector<got> out;
  wb_raw_cell c;
  while (sheet.next_cell(c))
    out.push_back({c.row, c.column, c.kind, c.number_class, c.number, std::u16string(c.text), c.text_is_stable});
  EXPECT_EQ(sheet.error(), 0);
  return out;
}

std::vector<got> sheet_cells(wb_workbook_source& book, std::size_t index) {
  long error = 0;
  auto sheet = book.open_sheet(index, error);
  EXPECT_NE(sheet, nullptr) << error;
  return sheet ? read_cells(*sheet) : std::vector<got>{};
}

std::unique_ptr<wb_biff_workbook> open_file(const std::string& path) {
  long error = 0;
  auto book = wb_biff_workbook::open(path, error);
  EXPECT_NE(book, nullptr) << path << ": " << error;
  return book;
}

long open_error(const std::string& bytes) {
  long error = 0;
  auto book = wb_biff_workbook::open_memory(bytes, error);
  EXPECT_EQ(book, nullptr);
  return error;
}

struct expected_cell {
  std::uint32_t row, column;
  wb_cell_kind kind;
  double number;
  std::u16string text = {};
  wb_number_class number_class = nc::general;
};

void expect_cells(const std::vector<got>& cells, const std::vector<expected_cell>& expected) {
  ASSERT_EQ(cells.size(), expected.size());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const got& g = cells[i];
    const expected_cell& e = expected[i];
    SCOPED_TRACE(testing::Message() << "cell " << e.row << "," << e.column);
    EXPECT_EQ(g.row, e.row);
    EXPECT_EQ(g.column, e.column);
    EXPECT_EQ(static_cast<int>(g.kind), static_cast<int>(e.kind));
    if (e.kind == k::text) {
      EXPECT_EQ(utf8(g.text), utf8(e.text));
    } else {
      EXPECT_EQ(g.number, e.number);
    }
    if (e.kind == k::number) {
      EXPECT_EQ(static_cast<int>(g.number_class), static_cast<int>(e.number_class));
    }
  }
}

// Serial numbers of the two date systems, from the calendar.
double serial1900(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, int ss = 0) {
  const double ole = ole_date(y, m, d, hh, mm, ss);
  return ole < 61 ? ole - 1 : ole;  // the fictitious 1900-02-29 shifts earlier days by one
}
double serial1904(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, int ss = 0) {
  return ole_date(y, m, d, hh, mm, ss) - ole_date(1904, 1, 1);
}

// A BIFF8 workbook in a compound file.
std::string book8(const std::string& globals, const std::vector<sheet>& sheets, const std::string& sst = "") {
  return compound_file({{u"Workbook", workbook_stream(8, globals, sheets, sst)}});
}

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

TEST(host_biff_sheet, EveryCellKindOfTheFixture) {
  auto book = open_file(fixture("cell_kinds.xls"));
  ASSERT_NE(book, nullptr);
  EXPECT_EQ(book->biff_version(), 8);
  ASSERT_EQ(book->sheet_count(), 1u);
  expect_cells(sheet_cells(*book, 0), {
                                          // RK integers and decimals in one MULRK
                                          {0, 0, k::number, 0},
                                          {0, 1, k::number, 42},
                                          {0, 2, k::number, -7},
                                          {0, 3, k::number, 536870911},
                                          {0, 4, k::number, -536870912},
                                          {0, 5, k::number, 1.25},
                                          {0, 6, k::number, -0.5},
                                          // full doubles
                                          {1, 0, k::number, 3.141592653589793},
                                          {1, 1, k::number, 1e300},
                                          {1, 2, k::number, -2.5e-300},
                                          {1, 3, k::number, 123456789012.75},
                                          {1, 4, k::number, 0.1},
                                          {2, 0, k::boolean, 1},
                                          {2, 1, k::boolean, 0},
                                          {2, 2, k::text, 0, u"text"},
                                          {3, 0, k::error, 0x07},  // #DIV/0!
                                          {3, 1, k::error, 0x2A},  // #N/A
                                                                   // the BLANK and MULBLANK cells carry no value
                                          {4, 3, k::number, 7},
                                          {5, 200, k::text, 0, u"far"},
                                      });
}

TEST(host_biff_sheet, RkValuesOfEveryForm) {
  struct row {
    std::uint32_t rk;
    double value;
  };
  const row rows[] = {
      {(42u << 2) | 2, 42},                             // integer
      {(static_cast<std::uint32_t>(-7) << 2) | 2, -7},  // negative integer
      {(12345u << 2) | 3, 123.45},                      // integer / 100
      {0x3FF80000u, 1.5},                               // high bits of a double
      {0x3FF80000u | 1, 0.015},                         // double / 100
      {0xC0240000u, -10},                               // negative double
  };
  std::string cells;
  for (std::size_t i = 0; i < std::size(rows); ++i) cells += rk_cell(static_cast<unsigned>(i), 0, 15, rows[i].rk);
  const std::string file = book8(xf_records(8, {}), {{"S", 0, 0, 0x10, cells}});
  long error = 0;
  auto book = wb_biff_workbook::open_memory(file, error);
  ASSERT_NE(book, nullptr) << error;
  const auto got_cells = sheet_cells(*book, 0);
  ASSERT_EQ(got_cells.size(), std::size(rows));
  for (std::size_t i = 0; i < std::size(rows); ++i) EXPECT_DOUBLE_EQ(got_cells[i].number, rows[i].value) << i;
}

TEST(host_biff_sheet, DatesInBothDateSystems) {
  struct given {
    int y;
    unsigned m, d;
    int hh, mm, ss;
    nc number_class;
  };
  // What make_fixtures.py wrote in each file, row by row (the first three rows differ).
  const given common[] = {{2024, 2, 29, 0, 0, 0, nc::date},
                          {9999, 12, 31, 0, 0, 0, nc::date},
                          {2024, 7, 15, 13, 45, 30, nc::date_time},
                          {1999, 12, 31, 23, 59, 59, nc::date_time}};
  struct file_case {
    const char* name;
    bool date1904;
    std::vector<given> first;
  };
  const file_case files[] = {
      {"dates_1900.xls",
       false,
       {{1900, 1, 1, 0, 0, 0, nc::date}, {1900, 2, 28, 0, 0, 0, nc::date}, {1900, 3, 1, 0, 0, 0, nc::date}}},
      {"dates_1904.xls",
       true,
       {{1904, 1, 1, 0, 0, 0, nc::date}, {1904, 2, 29, 0, 0, 0, nc::date}, {1904, 3, 1, 0, 0, 0, nc::date}}},
  };
  for (const file_case& f : files) {
    SCOPED_TRACE(f.name);
    auto book = open_file(fixture(f.name));
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(book->date1904(), f.date1904);
    std::vector<expected_cell> expected;
    std::vector<given> all = f.first;
    all.insert(all.end(), std::begin(common), std::end(common));
    for (const given& g : all) {
      const double serial =
          f.date1904 ? serial1904(g.y, g.m, g.d, g.hh, g.mm, g.ss) : serial1900(g.y, g.m, g.d, g.hh, g.mm, g.ss);
      expected.push_back({static_cast<std::uint32_t>(expected.size()), 0, k::number, serial, {}, g.number_class});
    }
    expected.push_back({7, 0, k::number, 0.5, {}, nc::time});
    expected.push_back({8, 0, k::number, 6.5 / 24, {}, nc::time});
    const auto cells = sheet_cells(*book, 0);
    ASSERT_EQ(cells.size(), expected.size());
    // Times of day are stored as doubles computed by the writer: compare to the second.
    for (std::size_t i = 0; i < cells.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_NEAR(cells[i].number, expected[i].number, 0.5 / 86400);
      EXPECT_EQ(static_cast<int>(cells[i].number_class), static_cast<int>(expected[i].number_class));
    }
  }
}

TEST(host_biff_sheet, NumberFormatsGiveTheNumberClass) {
  auto book = open_file(fixture("number_formats.xls"));
  ASSERT_NE(book, nullptr);
  expect_cells(sheet_cells(*book, 0), {
                                          {0, 0, k::number, 1234.5, {}, nc::currency},
                                          {0, 1, k::number, 0.125, {}, nc::percent},
                                          {0, 2, k::number, 2.5, {}, nc::general},
                                          {0, 3, k::number, 0.5, {}, nc::time},
                                          {0, 4, k::number, serial1900(2024, 2, 29), {}, nc::date},
                                          {1, 0, k::number, -0.75, {}, nc::currency},
                                          {1, 1, k::number, 0.5, {}, nc::percent},
                                          {1, 2, k::number, 3, {}, nc::general},
                                          {1, 3, k::number, 6.5 / 24, {}, nc::time},
                                          {1, 4, k::number, serial1900(1999, 12, 31), {}, nc::date},
                                          {2, 0, k::number, 99.99, {}, nc::currency},
                                      });
}

TEST(host_biff_sheet, SharedStringsCrossingContinueRecords) {
  auto book = open_file(fixture("sst_continue.xls"));
  ASSERT_NE(book, nullptr);
  const std::u16string latin = u"abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const std::u16string wide = u"abc \u00e9\u00fc\u0142\u4e2d\u6587\u0436\u03a9";
  const std::u16string long_texts[] = {long_text(1, 20000, latin), long_text(2, 12000, wide), long_text(3, 9000, latin),
                                       long_text(4, 5000, wide)};
  const auto cells = sheet_cells(*book, 0);
  ASSERT_EQ(cells.size(), 3004u);
  std::size_t i = 0;
  for (std::uint32_t r = 0; r < 3000; ++r) {
    char base[16];
    std::snprintf(base, sizeof base, "str-%05u", r);
    std::u16string expected;
    for (std::uint32_t n = 0; n < r % 7 + 1; ++n) expected += std::u16string(base, base + 9);
    ASSERT_EQ(cells[i].row, r);
    ASSERT_EQ(cells[i].column, 0u);
    ASSERT_EQ(cells[i].text, expected) << r;
    EXPECT_TRUE(cells[i].stable);
    ++i;
    if (r < 4) {
      ASSERT_EQ(cells[i].column, 1u);
      EXPECT_EQ(cells[i].text, long_texts[r]) << "long text " << r;
      ++i;
    }
  }
}

TEST(host_biff_sheet, SharedStringsWithRichTextAndPhoneticData) {
  // Strings with formatting runs (flag 8) and phonetic data (flag 4) that the
  // reader skips, a two-byte string whose runs cross a CONTINUE, and an empty one.
  const std::string sst_body = bytes()
                                   .u32(6)
                                   .u32(5)
                                   .u16(4)
                                   .u8(0x08)
                                   .u16(2)
                                   .raw("rich")
                                   .raw(std::string(8, '\x01'))  // rich
                                   .u16(3)
                                   .u8(0x04)
                                   .u32(6)
                                   .raw("ext")
                                   .raw("PHONET")  // phonetic
                                   .u16(2)
                                   .u8(0x0D)
                                   .u16(1)
                                   .u32(3)
                                   .u16(0x4E2D)
                                   .u16(0x6587)
                                   .raw(std::string(4, '\x02'))
                                   .raw("abc")  // both, two-byte
                                   .u16(0)
                                   .u8(0x00)  // empty
                                   .u16(3)
                                   .u8(0x08)
                                   .u16(1)
                                   .raw("end")
                                   .raw(std::string(2, '\x03'));  // runs split...
  const std::string sst =
      record(0x00FC, sst_body) + record(0x003C, std::string(2, '\x03'));  // ...into a CONTINUE (no flag byte)
  std::string cells;
  for (unsigned i = 0; i < 6; ++i) cells += labelsst_cell(i, 0, i);  // index 5 is past the table
  const std::string file = book8(xf_records(8, {}), {{"S", 0, 0, 0x10, cells}}, sst);
  long error = 0;
  auto book = wb_biff_workbook::open_memory(file, error);
  ASSERT_NE(book, nullptr) << error;
  expect_cells(sheet_cells(*book, 0), {{0, 0, k::text, 0, u"rich"},
                                       {1, 0, k::text, 0, u"ext"},
                                       {2, 0, k::text, 0, u"\u4e2d\u6587"},
                                       {4, 0, k::text, 0, u"end"}});
}

TEST(host_biff_sheet, UnicodeTexts) {
  auto book = open_file(fixture("unicode_text.xls"));
  ASSERT_NE(book, nullptr);
  const std::u16string texts[] = {u"caf\u00e9",
                                  u"\u4e2d\u6587\u6587\u672c",
                                  u"\u0417\u0434\u0440\u0430\u0432\u0441\u0442\u0432\u0443\u0439",
                                  u"\u05e9\u05dc\u05d5\u05dd",
                                  u"emoji \U0001F600 pair",
                                  u"line one\nline two",
                                  u"tab\there",
                                  u"  spaced  ",
                                  u"\u00ff\u0100"};
  std::vector<expected_cell> expected;
  for (const auto& t : texts) expected.push_back({static_cast<std::uint32_t>(expected.size()), 0, k::text, 0, t});
  expect_cells(sheet_cells(*book, 0), expected);
}

TEST(host_biff_sheet, SheetListInWorkbookOrderWithHiddenSheets) {
  auto book = open_file(fixture("sheets.xls"));
  ASSERT_NE(book, nullptr);
  const std::pair<std::u16string, bool> expected[] = {
      {u"Z", false},     {u"a", false}, {u"My Data", false},    {u"O'Brien", false},
      {u"Hidden", true}, {u"b", false}, {u"Sales-2024", false}, {u"\u00dcbersicht", false}};
  ASSERT_EQ(book->sheet_count(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(utf8(book->sheet_name(i)), utf8(expected[i].first));
    EXPECT_EQ(book->sheet_hidden(i), expected[i].second) << i;
    // Each sheet holds its own name in A1.
    expect_cells(sheet_cells(*book, i), {{0, 0, k::text, 0, expected[i].first}});
  }
}

TEST(host_biff_sheet, OnlyWorksheetsAreListed) {
  const std::string wsbool_dialog = record(0x0081, bytes().u16(0x0010));
  const std::string wsbool_plain = record(0x0081, bytes().u16(0x04C1));
  const std::vector<sheet> sheets = {
      {"Data", 0, 0, 0x10, wsbool_plain + number_cell(0, 0, 15, 1)},
      {"Chart1", 0, 2, 0x20, ""},
      {"Macro1", 0, 1, 0x40, ""},
      {"Dialog1", 0, 0, 0x10, wsbool_dialog},
      {"Odd", 0, 0, 0x40, ""},  // listed as a worksheet, but its BOF says macro sheet
      {"Very hidden", 2, 0, 0x10, number_cell(0, 0, 15, 2)},
  };
  const std::string file = book8(xf_records(8, {}), sheets);
  long error = 0;
  auto book = wb_biff_workbook::open_memory(file, error);
  ASSERT_NE(book, nullptr) << error;
  ASSERT_EQ(book->sheet_count(), 2u);
  EXPECT_EQ(utf8(book->sheet_name(0)), "Data");
  EXPECT_EQ(utf8(book->sheet_name(1)), "Very hidden");
  EXPECT_TRUE(book->sheet_hidden(1));
  expect_cells(sheet_cells(*book, 1), {{0, 0, k::number, 2}});
}

TEST(host_biff_sheet, FormulasGiveTheirCachedResults) {
  const std::string shrfmla = record(0x04BC, std::string(10, '\0'));
  const std::string cells =
      formula_cell(0, 0, 16, formula_number(42.5)) + formula_cell(0, 1, 15, formula_special(0)) + shrfmla +
      record(0x0207, unicode_string(u"cached", true)) +
      // a string result split over a CONTINUE that switches to two-byte characters
      formula_cell(0, 2, 15, formula_special(0)) + record(0x0207, bytes().u16(5).u8(0).raw("abc")) +
      record(0x003C, bytes().u8(1).u16(0x4E2D).u16(0x00E9)) + formula_cell(0, 3, 15, formula_special(1, 1)) +  // TRUE
      formula_cell(0, 4, 15, formula_special(1, 0)) +                                                          // FALSE
      formula_cell(0, 5, 15, formula_special(2, 0x07)) +  // #DIV/0!
      formula_cell(0, 6, 15, formula_special(3)) +        // empty string
      formula_cell(0, 7, 15, formula_special(0)) +        // string result, but no STRING record follows
      number_cell(0, 8, 15, 8) + record(0x0207, unicode_string(u"stray", true));  // a STRING without its formula
  const std::string file = book8(xf_records(8, {14}), {{"F", 0, 0, 0x10, cells}});
  long error = 0;
  auto book = wb_biff_workbook::open_memory(file, error);
  ASSERT_NE(book, nullptr) << error;
  expect_cells(sheet_cells(*book, 0), {{0, 0, k::number, 42.5, {}, nc::date},
                                       {0, 1, k::text, 0, u"cached"},
                                       {0, 2, k::text, 0, u"abc\u4e2d\u00e9"},
                                       {0, 3, k::boolean, 1},
                                       {0, 4, k::boolean, 0},
                                       {0, 5, k::error, 7},
                                       {0, 8, k::number, 8}});
}

TEST(host_biff_sheet, FormulasWithoutCachedResultsHaveNoValue) {
  // xlwt leaves formula results empty (the file asks for recalculation).
  auto book = open_file(fixture("formulas_uncached.xls"));
  ASSERT_NE(book, nullptr);
  expect_cells(sheet_cells(*book, 0), {{0, 0, k::number, 2}, {0, 3, k::text, 0, u"after"}});
}

TEST(host_biff_sheet, LabelAndRichStringRecordsOfBiff8) {
  const std::string cells =
      record(0x0204, bytes().u16(0).u16(0).u16(15).raw(unicode_string(u"label", true))) +
      record(0x0204, bytes().u16(0).u16(1).u16(15).raw(unicode_string(u"\u00e9t\u00e9", true, true))) +
      record(0x00D6, bytes().u16(1).u16(0).u16(15).raw(unicode_string(u"rich", true)).u16(1).u32(0)) +
      record(0x0204, bytes().u16(1).u16(1).u16(15).raw(unicode_string(u"", true)));
  const std::string file = book8(xf_records(8, {}), {{"L", 0, 0, 0x10, cells}});
  long error = 0;
  auto book = wb_biff_workbook::open_memory(file, error);
  ASSERT_NE(book, nullptr) << error;
  const auto got_cells = sheet_cells(*book, 0);
  expect_cells(got_cells,
               {{0, 0, k::text, 0, u"label"}, {0, 1, k::text, 0, u"\u00e9t\u00e9"}, {1, 0, k::text, 0, u"rich"}});
  for (const got& g : got_cells) EXPECT_FALSE(g.stable);
}

TEST(host_biff_sheet, Biff5TextsDecodedWithTheCodePage) {
  struct row {
    const char* what;
    int codepage;  // -1: no CODEPAGE record
    std::string bytes;
    std::u16string text;
  };
  const row rows[] = {
      {"default 1252", -1, "\x80 caf\xE9", u"\u20ac caf\u00e9"},
      {"1252", 1252, "\x93quoted\x94", u"\u201cquoted\u201d"},
      {"1251", 1251, "\xCF\xF0\xE8\xE2\xE5\xF2", u"\u041f\u0440\u0438\u0432\u0435\u0442"},
      {"1253", 1253, "\xE1\xE2\xE3", u"\u03b1\u03b2\u03b3"},
      {"932", 932, "\x93\xFA\x96\x7B", u"\u65e5\u672c"},
      {"437", 437, "\x81\xB0", u"\u00fc\u2591"},
      {"unknown falls back to 1252", 4242, "\xE9", u"\u00e9"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    std::string globals;
    if (r.codepage >= 0) globals += record(0x0042, bytes().u16(static_cast<unsigned>(r.codepage)));
    globals += record(0x0022, bytes().u16(1));  // 1904 dates
    globals += record(0x041E, bytes().u16(164).u8(10).raw("dd.mm.yyyy"));
    globals += xf_records(5, {164});
    const std::string cells =
        record(0x0204, bytes().u16(0).u16(0).u16(15).u16(static_cast<unsigned>(r.bytes.size())).raw(r.bytes)) +
        record(0x00D6,
               bytes().u16(1).u16(0).u16(15).u16(static_cast<unsigned>(r.bytes.size())).raw(r.bytes).u8(1).u16(0)) +
        formula_cell(2, 0, 15, formula_special(0)) +
        record(0x0207, bytes().u16(static_cast<unsigned>(r.bytes.size())).raw(r.bytes)) + number_cell(3, 0, 16, 100);
    const std::string file = compound_file({{u"Book", workbook_stream(5, globals, {{r.bytes, 1, 0, 0x10, cells}})}});
    long error = 0;
    auto book = wb_biff_workbook::open_memory(file, error);
    ASSERT_NE(book, nullptr) << error;
    EXPECT_EQ(book->biff_version(), 5);
    EXPECT_TRUE(book->date1904());
    ASSERT_EQ(book->sheet_count(), 1u);
    EXPECT_EQ(utf8(book->sheet_name(0)), utf8(r.text));
    EXPECT_TRUE(book->sheet_hidden(0));
    expect_cells(sheet_cells(*book, 0), {{0, 0, k::text, 0, r.text},
                                         {1, 0, k::text, 0, r.text},
                                         {2, 0, k::text, 0, r.text},
                                         {3, 0, k::number, 100, {}, nc::date}});
  }
}

TEST(host_biff_sheet, RowsOfABlockArriveAscending) {
  const std::string row_records = record(0x0208, std::string(16, '\0')) + record(0x0208, std::string(16, '\0'));
  const std::string dbcell = record(0x00D7, std::string(8, '\0'));
  const std::string cells = row_records + number_cell(2, 0, 15, 20) + number_cell(0, 1, 15, 1) +
                            number_cell(0, 0, 15, 0) + number_cell(1, 0, 15, 10) + dbcell + row_records +
                            number_cell(4, 0, 15, 40) + number_cell(3, 0, 15, 30) + dbcell;
  const std::string file = book8(xf_records(8, {}), {{"S", 0, 0, 0x10, cells}});
  long error = 0;
  auto book = wb_biff_workbook::open_memory(file, error);
  ASSERT_NE(book, nullptr) << error;
  // Sorted by row, the columns of a row kept in file order.
  expect_cells(sheet_cells(*book, 0), {{0, 1, k::number, 1},
                                       {0, 0, k::number, 0},
                                       {1, 0, k::number, 10},
                                       {2, 0, k::number, 20},
                                       {3, 0, k::number, 30},
                                       {4, 0, k::number, 40}});
}

TEST(host_biff_sheet, EmbeddedSubstreamsAreSkipped) {
  const std::string chart = record(0x0809, bytes().u16(0x0600).u16(0x20).u32(0).u32(0).u32(0)) +
                            number_cell(5, 5, 15, 99) + record(0x000A, "");
  const std::string cells = number_cell(0, 0, 15, 1) + chart + number_cell(1, 0, 15, 2);
  const std::string file = book8(xf_records(8, {}), {{"S", 0, 0, 0x10, cells}});
  long error = 0;
  auto book = wb_biff_workbook::open_memory(file, error);
  ASSERT_NE(book, nullptr) << error;
  expect_cells(sheet_cells(*book, 0), {{0, 0, k::number, 1}, {1, 0, k::number, 2}});
}

TEST(host_biff_sheet, RewindAndSeveralOpenSheetsReadTheSameCells) {
  auto book = open_file(fixture("sst_continue.xls"));
  auto names = open_file(fixture("sheets.xls"));
  ASSERT_TRUE(book && names);
  long error = 0;
  auto a = book->open_sheet(0, error);
  auto b = book->open_sheet(0, error);
  ASSERT_TRUE(a && b);
  const auto first = read_cells(*a);
  ASSERT_TRUE(a->rewind());
  const auto again = read_cells(*a);
  // Interleaved with a second reader of the same sheet.
  wb_raw_cell ca, cb;
  ASSERT_TRUE(a->rewind());
  std::size_t n = 0;
  while (a->next_cell(ca)) {
    ASSERT_TRUE(b->next_cell(cb));
    ASSERT_EQ(ca.row, cb.row);
    ASSERT_EQ(ca.text, cb.text);
    ++n;
  }
  EXPECT_FALSE(b->next_cell(cb));
  EXPECT_EQ(n, first.size());
  ASSERT_EQ(first.size(), again.size());
  for (std::size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i].text, again[i].text) << i;
  // Two sheets of one workbook read alternately.
  auto s1 = names->open_sheet(1, error), s7 = names->open_sheet(7, error);
  ASSERT_TRUE(s1 && s7);
  ASSERT_TRUE(s1->next_cell(ca) && s7->next_cell(cb));
  EXPECT_EQ(utf8(ca.text), "a");
  EXPECT_EQ(utf8(cb.text),
            "\xC3\x9C"
            "bersicht");
}

TEST(host_biff_sheet, EncryptedAndUnsupportedWorkbooksAreRefused) {
  const std::string filepass = record(0x002F, bytes().u16(1).u16(1).u16(1).raw(std::string(48, '\x5A')));
  const std::string encrypted = book8(filepass + std::string(100, '\x7F'), {{"S", 0, 0, 0x10, ""}});
  EXPECT_EQ(open_error(encrypted), 3161);

  const std::string package =
      compound_file({{u"EncryptionInfo", std::string(200, 'i')}, {u"EncryptedPackage", std::string(5000, 'p')}});
  EXPECT_EQ(open_error(package), 3161);

  const std::string biff4 = record(0x0409, bytes().u16(0).u16(0x0100).u16(0));
  EXPECT_EQ(open_error(compound_file({{u"Book", biff4 + record(0x000A, "")}})), 3274);
  EXPECT_EQ(open_error(compound_file({{u"Other", workbook_stream(8, "", {})}})), 3274);  // no workbook stream
  EXPECT_EQ(open_error(compound_file({{u"Workbook", record(0x0809, bytes().u16(0x0600).u16(0x10))}})), 3274);
  EXPECT_EQ(open_error(compound_file({{u"Workbook", "garbage"}})), 3274);
}

TEST(host_biff_sheet, DamagedWorkbooksFailCleanly) {
  const std::string good = testsupport::read_file(fixture("sst_continue.xls"));
  // Where xlwt put the FAT and the Workbook stream: the header's first FAT
  // sector, the directory's second entry.
  auto u32_at = [&](std::size_t at) {
    return static_cast<std::uint32_t>(
        static_cast<unsigned char>(good[at]) | (static_cast<unsigned char>(good[at + 1]) << 8) |
        (static_cast<unsigned char>(good[at + 2]) << 16) | (static_cast<unsigned char>(good[at + 3]) << 24));
  };
  const std::size_t fat_at = (u32_at(0x4C) + 1) * 512;
  const std::size_t dir_at = (u32_at(0x30) + 1) * 512;
  ASSERT_EQ(good[dir_at + 128], 'W');
  const std::uint32_t start = u32_at(dir_at + 128 + 0x74);
  auto with_link = [&](std::uint32_t sector, std::uint32_t to) {
    std::string f = good;
    const std::string v = bytes().u32(to);
    f.replace(fat_at + 4 * sector, 4, v);
    return f;
  };
  struct row {
    const char* what;
    std::string file;
  };
  const row rows[] = {
      {"chain loops back", with_link(start + 40, start + 3)},
      {"chain leaves the file", with_link(start + 40, 0x00ABCDEF)},
      {"cut in the middle", good.substr(0, good.size() / 2)},
      {"cut before the directory", good.substr(0, good.size() - 600)},
  };
  for (const row& r : rows) EXPECT_EQ(open_error(r.file), 3274) << r.what;

  // Damage inside a sheet shows when the sheet is read.
  const std::string cells = number_cell(0, 0, 15, 1) + record(0x0203, bytes().u16(1).u16(0).u16(15));
  const std::string file = book8(xf_records(8, {}), {{"S", 0, 0, 0x10, cells}});
  long error = 0;
  auto book = wb_biff_workbook::open_memory(file, error);
  ASSERT_NE(book, nullptr);
  auto sheet = book->open_sheet(0, error);
  ASSERT_NE(sheet, nullptr);
  wb_raw_cell c;
  while (sheet->next_cell(c)) {
  }
  EXPECT_EQ(sheet->error(), 3274);

  // A sheet whose offset points nowhere stays listed and fails to open.
  std::string stream = workbook_stream(8, xf_records(8, {}), {{"S", 0, 0, 0x10, ""}});
  const std::size_t bs = stream.find(std::string("\x85\x00", 2));
  ASSERT_NE(bs, std::string::npos);
  stream.replace(bs + 4, 4, bytes().u32(0x7FFFFFF0).str());
  const std::string lost = compound_file({{u"Workbook", stream}});
  book = wb_biff_workbook::open_memory(lost, error);
  ASSERT_NE(book, nullptr);
  ASSERT_EQ(book->sheet_count(), 1u);
  error = 0;
  EXPECT_EQ(book->open_sheet(0, error), nullptr);
  EXPECT_EQ(error, 3274);
}
