// The BIFF backend at the level of raw cells, for record layouts the fixture
// writer cannot produce (BIFF5 code pages, cached formula results, rich and
// phonetic strings, encryption, odd record orders, damage) and the cell
// kinds of the committed fixtures. Typed values, dates and table names of
// the fixtures are checked through the engine in biff_engine_test.cpp.
#include <gtest/gtest.h>

#include <charconv>

#include "biff_test_writer.h"
#include "host_fixture.h"
#include "test_support.h"
#include "wb_biff_workbook.h"

using namespace biff_test;
using host_test::utf8;
using k = wb_cell_kind;

namespace {

std::string fixture(const char* name) { return std::string(HOST_BIFF_DATA_DIR) + "/" + name; }

// A cell as "row,column=value": a number in its shortest form with "/class"
// unless general, 'text', TRUE or FALSE, #error code. "~" after a text marks
// one that stays valid after the next cell (the shared strings).
std::string describe(const wb_raw_cell& c) {
  std::string out = std::to_string(c.row) + "," + std::to_string(c.column) + "=";
  char number[32];
  switch (c.kind) {
    case k::number: {
      out.append(number, std::to_chars(number, number + sizeof number, c.number).ptr);
      const char* classes[] = {"", "/percent", "/currency", "/date", "/time", "/date_time"};
      return out + classes[static_cast<int>(c.number_class)];
    }
    case k::text:
      return out + "'" + utf8(c.text) + "'" + (c.text_is_stable ? "~" : "");
    case k::boolean:
      return out + (c.number != 0 ? "TRUE" : "FALSE");
    case k::error:
      return out + "#" + std::to_string(static_cast<int>(c.number));
    default:
      return out + "?";
  }
}

std::vector<std::string> read_cells(wb_sheet_source& sheet) {
  std::vector<std::string> out;
  wb_raw_cell c;
  while (sheet.next_cell(c)) out.push_back(describe(c));
  EXPECT_EQ(sheet.error(), 0);
  return out;
}

std::vector<std::string> sheet_cells(wb_workbook_source& book, std::size_t index) {
  long error = 0;
  auto sheet = book.open_sheet(index, error);
  EXPECT_NE(sheet, nullptr) << error;
  return sheet ? read_cells(*sheet) : std::vector<std::string>{};
}

std::unique_ptr<wb_biff_workbook> open_file(const std::string& path) {
  long error = 0;
  auto book = wb_biff_workbook::open(path, error);
  EXPECT_NE(book, nullptr) << path << ": " << error;
  return book;
}

// A workbook read from `bytes`, which must outlive it.
std::unique_ptr<wb_biff_workbook> open_bytes(const std::string& bytes) {
  long error = 0;
  auto book = wb_biff_workbook::open_memory(bytes, error);
  EXPECT_NE(book, nullptr) << error;
  return book;
}

// The cells of the first sheet of the workbook `file`.
std::vector<std::string> first_sheet_cells(const std::string& file) {
  auto book = open_bytes(file);
  return book ? sheet_cells(*book, 0) : std::vector<std::string>{};
}

long open_error(const std::string& bytes) {
  long error = 0;
  auto book = wb_biff_workbook::open_memory(bytes, error);
  EXPECT_EQ(book, nullptr);
  return error;
}

using cells = std::vector<std::string>;

// A BIFF8 workbook in a compound file.
std::string book8(const std::string& globals, const std::vector<sheet>& sheets, const std::string& sst = "") {
  return compound_file({{u"Workbook", workbook_stream(8, globals, sheets, sst)}});
}
// A BIFF8 workbook of one sheet "S" holding `cells`, with default formats and `extra_formats`.
std::string sheet8(const std::string& cells, const std::vector<unsigned>& extra_formats = {},
                   const std::string& sst = "") {
  return book8(xf_records(8, extra_formats), {{"S", 0, 0, 0x10, cells}}, sst);
}

}  // namespace

TEST(host_biff_sheet, EveryCellKindOfTheFixture) {
  auto book = open_file(fixture("cell_kinds.xls"));
  ASSERT_NE(book, nullptr);
  EXPECT_EQ(book->biff_version(), 8);
  ASSERT_EQ(book->sheet_count(), 1u);
  // Row 0: RK integers and decimals in one MULRK; row 1: full doubles; row 3:
  // #DIV/0! and #N/A. The BLANK and MULBLANK cells of row 4 carry no value.
  EXPECT_EQ(sheet_cells(*book, 0),
            (cells{"0,0=0", "0,1=42", "0,2=-7", "0,3=536870911", "0,4=-536870912", "0,5=1.25", "0,6=-0.5",
                   "1,0=3.141592653589793", "1,1=1e+300", "1,2=-2.5e-300", "1,3=123456789012.75", "1,4=0.1", "2,0=TRUE",
                   "2,1=FALSE", "2,2='text'~", "3,0=#7", "3,1=#42", "4,3=7", "5,200='far'~"}));
}

TEST(host_biff_sheet, RkValuesOfEveryForm) {
  const std::uint32_t rk[] = {
      (42u << 2) | 2,                             // integer
      (static_cast<std::uint32_t>(-7) << 2) | 2,  // negative integer
      (12345u << 2) | 3,                          // integer / 100
      0x3FF80000u,                                // high bits of a double
      0x3FF80000u | 1,                            // double / 100
      0xC0240000u,                                // negative double
  };
  std::string records;
  for (std::size_t i = 0; i < std::size(rk); ++i) records += rk_cell(static_cast<unsigned>(i), 0, 15, rk[i]);
  EXPECT_EQ(first_sheet_cells(sheet8(records)),
            (cells{"0,0=42", "1,0=-7", "2,0=123.45", "3,0=1.5", "4,0=0.015", "5,0=-10"}));
}

TEST(host_biff_sheet, SharedStringsWithRichTextAndPhoneticData) {
  // Strings with formatting runs (flag 8) and phonetic data (flag 4) that the
  // reader skips, a two-byte string with both, an empty one, and runs split
  // into a CONTINUE (which then has no flag byte).
  bytes sst;
  sst.u32(6).u32(5);
  sst.u16(4).u8(0x08).u16(2).raw("rich").raw(std::string(8, '\x01'));
  sst.u16(3).u8(0x04).u32(6).raw("ext").raw("PHONET");
  sst.u16(2).u8(0x0D).u16(1).u32(3).u16(0x4E2D).u16(0x6587).raw(std::string(4, '\x02')).raw("abc");
  sst.u16(0).u8(0x00);
  sst.u16(3).u8(0x08).u16(1).raw("end").raw(std::string(2, '\x03'));
  std::string records;
  for (unsigned i = 0; i < 6; ++i) records += labelsst_cell(i, 0, i);  // index 5 is past the table
  EXPECT_EQ(first_sheet_cells(sheet8(records, {}, record(0x00FC, sst) + record(0x003C, std::string(2, '\x03')))),
            (cells{"0,0='rich'~", "1,0='ext'~", "2,0='\xE4\xB8\xAD\xE6\x96\x87'~", "4,0='end'~"}));
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
  cells expected;
  for (const auto& t : texts) expected.push_back(std::to_string(expected.size()) + ",0='" + utf8(t) + "'~");
  EXPECT_EQ(sheet_cells(*book, 0), expected);
}

TEST(host_biff_sheet, OnlyWorksheetsAreListed) {
  const std::vector<sheet> sheets = {
      {"Data", 0, 0, 0x10, record(0x0081, bytes().u16(0x04C1)) + number_cell(0, 0, 15, 1)},
      {"Chart1", 0, 2, 0x20, ""},
      {"Macro1", 0, 1, 0x40, ""},
      {"Dialog1", 0, 0, 0x10, record(0x0081, bytes().u16(0x0010))},  // WSBOOL marks a dialog sheet
      {"Odd", 0, 0, 0x40, ""},  // listed as a worksheet, but its BOF says macro sheet
      {"Very hidden", 2, 0, 0x10, number_cell(0, 0, 15, 2)},
  };
  const std::string file = book8(xf_records(8, {}), sheets);
  auto book = open_bytes(file);
  ASSERT_NE(book, nullptr);
  ASSERT_EQ(book->sheet_count(), 2u);
  EXPECT_EQ(utf8(book->sheet_name(0)), "Data");
  EXPECT_EQ(utf8(book->sheet_name(1)), "Very hidden");
  EXPECT_EQ(sheet_cells(*book, 1), cells{"0,0=2"});
}

TEST(host_biff_sheet, FormulasGiveTheirCachedResults) {
  const std::string records =
      formula_cell(0, 0, 16, formula_number(42.5)) + formula_cell(0, 1, 15, formula_special(0)) +
      record(0x04BC, std::string(10, '\0')) +  // SHRFMLA between the formula and its STRING
      record(0x0207, unicode_string(u"cached", true)) +
      // a string result split over a CONTINUE that switches to two-byte characters
      formula_cell(0, 2, 15, formula_special(0)) + record(0x0207, bytes().u16(5).u8(0).raw("abc")) +
      record(0x003C, bytes().u8(1).u16(0x4E2D).u16(0x00E9)) + formula_cell(0, 3, 15, formula_special(1, 1)) +
      formula_cell(0, 4, 15, formula_special(1, 0)) +     // TRUE, FALSE
      formula_cell(0, 5, 15, formula_special(2, 0x07)) +  // #DIV/0!
      formula_cell(0, 6, 15, formula_special(3)) +        // empty string
      formula_cell(0, 7, 15, formula_special(0)) +        // string result, but no STRING record follows
      number_cell(0, 8, 15, 8) + record(0x0207, unicode_string(u"stray", true));  // a STRING without its formula
  EXPECT_EQ(first_sheet_cells(sheet8(records, {14})),
            (cells{"0,0=42.5/date", "0,1='cached'", "0,2='abc\xE4\xB8\xAD\xC3\xA9'", "0,3=TRUE", "0,4=FALSE", "0,5=#7",
                   "0,8=8"}));
  // xlwt leaves formula results empty (the file asks for recalculation).
  auto uncached = open_file(fixture("formulas_uncached.xls"));
  ASSERT_NE(uncached, nullptr);
  EXPECT_EQ(sheet_cells(*uncached, 0), (cells{"0,0=2", "0,3='after'~"}));
}

TEST(host_biff_sheet, LabelAndRichStringRecordsOfBiff8) {
  const std::string records =
      record(0x0204, bytes().u16(0).u16(0).u16(15).raw(unicode_string(u"label", true))) +
      record(0x0204, bytes().u16(0).u16(1).u16(15).raw(unicode_string(u"\u00e9t\u00e9", true, true))) +
      record(0x00D6, bytes().u16(1).u16(0).u16(15).raw(unicode_string(u"rich", true)).u16(1).u32(0)) +
      record(0x0204, bytes().u16(1).u16(1).u16(15).raw(unicode_string(u"", true)));
  EXPECT_EQ(first_sheet_cells(sheet8(records)), (cells{"0,0='label'", "0,1='\xC3\xA9t\xC3\xA9'", "1,0='rich'"}));
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
    const unsigned n = static_cast<unsigned>(r.bytes.size());
    // A LABEL, a RSTRING, a formula's STRING, then a number with the date format.
    const std::string records = record(0x0204, bytes().u16(0).u16(0).u16(15).u16(n).raw(r.bytes)) +
                                record(0x00D6, bytes().u16(1).u16(0).u16(15).u16(n).raw(r.bytes).u8(1).u16(0)) +
                                formula_cell(2, 0, 15, formula_special(0)) +
                                record(0x0207, bytes().u16(n).raw(r.bytes)) + number_cell(3, 0, 16, 100);
    const std::string file = compound_file({{u"Book", workbook_stream(5, globals, {{r.bytes, 1, 0, 0x10, records}})}});
    auto book = open_bytes(file);
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(book->biff_version(), 5);
    EXPECT_TRUE(book->date1904());
    ASSERT_EQ(book->sheet_count(), 1u);
    EXPECT_EQ(utf8(book->sheet_name(0)), utf8(r.text));
    const std::string text = "='" + utf8(r.text) + "'";
    EXPECT_EQ(sheet_cells(*book, 0), (cells{"0,0" + text, "1,0" + text, "2,0" + text, "3,0=100/date"}));
  }
}

TEST(host_biff_sheet, RowsOfABlockArriveAscendingAndEmbeddedSubstreamsAreSkipped) {
  const std::string row_records = record(0x0208, std::string(16, '\0')) + record(0x0208, std::string(16, '\0'));
  const std::string dbcell = record(0x00D7, std::string(8, '\0'));
  const std::string chart = record(0x0809, bytes().u16(0x0600).u16(0x20).u32(0).u32(0).u32(0)) +
                            number_cell(5, 5, 15, 99) + record(0x000A, "");
  const std::string records = row_records + number_cell(2, 0, 15, 20) + number_cell(0, 1, 15, 1) +
                              number_cell(0, 0, 15, 0) + number_cell(1, 0, 15, 10) + dbcell + chart + row_records +
                              number_cell(4, 0, 15, 40) + number_cell(3, 0, 15, 30) + dbcell;
  // Sorted by row, the columns of a row kept in file order.
  EXPECT_EQ(first_sheet_cells(sheet8(records)), (cells{"0,1=1", "0,0=0", "1,0=10", "2,0=20", "3,0=30", "4,0=40"}));
}

TEST(host_biff_sheet, RewindAndSeveralOpenSheetsReadTheSameCells) {
  auto book = open_file(fixture("sst_continue.xls"));
  auto names = open_file(fixture("sheets.xls"));
  ASSERT_TRUE(book && names);
  long error = 0;
  auto a = book->open_sheet(0, error), b = book->open_sheet(0, error);
  ASSERT_TRUE(a && b);
  const auto first = read_cells(*a);
  ASSERT_TRUE(a->rewind());
  // Interleaved with a second reader of the same sheet.
  wb_raw_cell ca, cb;
  std::size_t n = 0;
  for (; a->next_cell(ca); ++n) {
    ASSERT_TRUE(b->next_cell(cb));
    ASSERT_LT(n, first.size());
    ASSERT_EQ(describe(ca), first[n]);
    ASSERT_EQ(describe(cb), first[n]);
  }
  EXPECT_FALSE(b->next_cell(cb));
  EXPECT_EQ(n, first.size());
  // Two sheets of one workbook read alternately.
  auto s1 = names->open_sheet(1, error), s7 = names->open_sheet(7, error);
  ASSERT_TRUE(s1 && s7);
  ASSERT_TRUE(s1->next_cell(ca) && s7->next_cell(cb));
  EXPECT_EQ(utf8(ca.text), "a");
  EXPECT_EQ(utf8(cb.text),
            "\xC3\x9C"
            "bersicht");
}

TEST(host_biff_sheet, EncryptedUnsupportedAndDamagedWorkbooksAreRefused) {
  const std::string filepass = record(0x002F, bytes().u16(1).u16(1).u16(1).raw(std::string(48, '\x5A')));
  const std::string good = testsupport::read_file(fixture("sst_continue.xls"));
  // Where xlwt put the FAT and the Workbook stream: the header's first FAT
  // sector, the directory's second entry.
  const std::size_t fat_at = (u32_at(good, 0x4C) + 1) * 512;
  const std::size_t dir_at = (u32_at(good, 0x30) + 1) * 512;
  ASSERT_EQ(good[dir_at + 128], 'W');
  const std::uint32_t start = u32_at(good, dir_at + 128 + 0x74);
  auto with_link = [&](std::uint32_t sector, std::uint32_t to) {
    std::string f = good;
    return f.replace(fat_at + 4 * sector, 4, bytes().u32(to));
  };
  struct row {
    const char* what;
    std::string file;
    long error;
  };
  const row rows[] = {
      {"FILEPASS", book8(filepass + std::string(100, '\x7F'), {{"S", 0, 0, 0x10, ""}}), 3161},
      {"encrypted package",
       compound_file({{u"EncryptionInfo", std::string(200, 'i')}, {u"EncryptedPackage", std::string(5000, 'p')}}),
       3161},
      {"BIFF4", compound_file({{u"Book", record(0x0409, bytes().u16(0).u16(0x0100).u16(0)) + record(0x000A, "")}}),
       3274},
      {"no workbook stream", compound_file({{u"Other", workbook_stream(8, "", {})}}), 3274},
      {"BOF only", compound_file({{u"Workbook", record(0x0809, bytes().u16(0x0600).u16(0x10))}}), 3274},
      {"garbage stream", compound_file({{u"Workbook", "garbage"}}), 3274},
      {"chain loops back", with_link(start + 40, start + 3), 3274},
      {"chain leaves the file", with_link(start + 40, 0x00ABCDEF), 3274},
      {"cut in the middle", good.substr(0, good.size() / 2), 3274},
      {"cut before the directory", good.substr(0, good.size() - 600), 3274},
  };
  for (const row& r : rows) EXPECT_EQ(open_error(r.file), r.error) << r.what;

  // Damage inside a sheet shows when the sheet is read.
  const std::string cut_cell = sheet8(number_cell(0, 0, 15, 1) + record(0x0203, bytes().u16(1).u16(0).u16(15)));
  auto book = open_bytes(cut_cell);
  ASSERT_NE(book, nullptr);
  long error = 0;
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
  book = open_bytes(lost);
  ASSERT_NE(book, nullptr);
  ASSERT_EQ(book->sheet_count(), 1u);
  EXPECT_EQ(book->open_sheet(0, error), nullptr);
  EXPECT_EQ(error, 3274);
}
