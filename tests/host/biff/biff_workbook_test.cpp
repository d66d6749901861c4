// The .xls reader through the engine: workbooks assembled record by record
// for what the fixture writer cannot produce (BIFF5 code pages, cached
// formula results, rich and phonetic strings, encryption, odd record
// orders, damage). The committed fixtures (sheet names, both date systems,
// shared strings across CONTINUE records) are read end to end by
// tests/agent against tests/golden/xls.
#include <gtest/gtest.h>

#include "biff_test_writer.h"
#include "host_fixture.h"
#include "test_support.h"
#include "wb_text.h"

using namespace biff_test;
using namespace host_test;

namespace {

using grid = std::vector<std::vector<std::string>>;

std::string fixture(const char* name) { return std::string(HOST_BIFF_DATA_DIR) + "/" + name; }

// A workbook written from bytes into a folder of its own.
struct xls_file {
  testsupport::temp_dir dir;
  std::string path = dir.file("book.xls");
  explicit xls_file(const std::string& bytes) { testsupport::write_file(path, bytes); }
};

// A BIFF8 workbook in a compound file.
std::string book8(const std::string& globals, const std::vector<sheet>& sheets, const std::string& sst = "") {
  return compound_file({{u"Workbook", workbook_stream(8, globals, sheets, sst)}});
}

// The rows of a BIFF8 workbook of one sheet "S" holding `cells`, with the
// default formats and `extra_formats`.
grid sheet8_rows(const std::string& cells, const std::vector<unsigned>& extra_formats = {},
                 const std::string& sst = "") {
  xls_file f(book8(xf_records(8, extra_formats), {{"S", 0, 0, 0x10, cells}}, sst));
  return rows_of(read_table(f.path, u"S$"));
}

}  // namespace

TEST(host_biff_workbook, RkValuesOfEveryForm) {
  const std::uint32_t rk[] = {
      (42u << 2) | 2,                             // integer
      (static_cast<std::uint32_t>(-7) << 2) | 2,  // negative integer
      (12345u << 2) | 3,                          // integer / 100
      0x3FF80000u,                                // high bits of a double
      0x3FF80000u | 1,                            // double / 100
      0xC0240000u,                                // negative double
  };
  std::string records;
  for (unsigned i = 0; i < std::size(rk); ++i) records += rk_cell(i, 0, 15, rk[i]);
  EXPECT_EQ(sheet8_rows(records), (grid{{"42"}, {"-7"}, {"123.45"}, {"1.5"}, {"0.015"}, {"-10"}}));
}

TEST(host_biff_workbook, SharedStringsWithRichTextAndPhoneticData) {
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
  const std::uint32_t index[] = {0, 1, 2, 3, 5, 4};  // 5 is past the table
  std::string records;
  for (unsigned r = 0; r < 6; ++r) records += labelsst_cell(r, 0, index[r]);
  EXPECT_EQ(sheet8_rows(records, {}, record(0x00FC, sst) + record(0x003C, std::string(2, '\x03'))),
            (grid{{"'rich'"}, {"'ext'"}, {"'\u4e2d\u6587'"}, {"NULL"}, {"NULL"}, {"'end'"}}));
}

TEST(host_biff_workbook, OnlyWorksheetsAreTables) {
  const std::vector<sheet> sheets = {
      {"Data", 0, 0, 0x10, record(0x0081, bytes().u16(0x04C1)) + number_cell(0, 0, 15, 1)},
      {"Chart1", 0, 2, 0x20, ""},
      {"Macro1", 0, 1, 0x40, ""},
      {"Dialog1", 0, 0, 0x10, record(0x0081, bytes().u16(0x0010))},  // WSBOOL marks a dialog sheet
      {"Odd", 0, 0, 0x40, ""},                           // listed as a worksheet, but its BOF says macro sheet
      {"Hidden", 2, 0, 0x10, number_cell(0, 0, 15, 2)},  // very hidden
  };
  xls_file f(book8(xf_records(8, {}), sheets));
  EXPECT_EQ(table_names(f.path), (std::vector<std::string>{"Data$", "Hidden$"}));
  EXPECT_EQ(rows_of(read_table(f.path, u"Hidden$")), grid{{"2"}});
}

TEST(host_biff_workbook, FormulasGiveTheirCachedResults) {
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
  EXPECT_EQ(
      sheet8_rows(records, {14}),
      (grid{{"1900-02-11 12:00:00", "'cached'", "'abc\u4e2d\u00e9'", "TRUE", "FALSE", "NULL", "NULL", "NULL", "8"}}));
}

TEST(host_biff_workbook, LabelAndRichStringRecordsOfBiff8) {
  const std::string records =
      record(0x0204, bytes().u16(0).u16(0).u16(15).raw(unicode_string(u"label", true))) +
      record(0x0204, bytes().u16(0).u16(1).u16(15).raw(unicode_string(u"\u00e9t\u00e9", true, true))) +
      record(0x00D6, bytes().u16(1).u16(0).u16(15).raw(unicode_string(u"rich", true)).u16(1).u32(0)) +
      record(0x0204, bytes().u16(1).u16(1).u16(15).raw(unicode_string(u"", true)));
  EXPECT_EQ(sheet8_rows(records), (grid{{"'label'", "'\u00e9t\u00e9'"}, {"'rich'", "NULL"}}));
}

TEST(host_biff_workbook, Biff5TextsDecodedWithTheCodePage) {
  struct row {
    const char* what;
    int codepage;  // -1: no CODEPAGE record
    std::string bytes;
    std::string text;   // in UTF-8
    std::string table;  // the sheet of that name as a table
  };
  const row rows[] = {
      {"default 1252", -1, "\x80 caf\xE9", "\u20ac caf\u00e9", "'\u20ac caf\u00e9$'"},
      {"1252", 1252, "\x93quoted\x94", "\u201cquoted\u201d", "'\u201cquoted\u201d$'"},
      {"1251", 1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "\u041f\u0440\u0438\u0432\u0435\u0442",
       "\u041f\u0440\u0438\u0432\u0435\u0442$"},
      {"1253", 1253, "\xE1\xE2\xE3", "\u03b1\u03b2\u03b3", "\u03b1\u03b2\u03b3$"},
      {"932", 932, "\x93\xFA\x96\x7B", "\u65e5\u672c", "\u65e5\u672c$"},
      {"437", 437, "\x81\xB0", "\u00fc\u2591", "'\u00fc\u2591$'"},
      {"unknown falls back to 1252", 4242, "\xE9", "\u00e9", "\u00e9$"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    std::string globals;
    if (r.codepage >= 0) globals += record(0x0042, bytes().u16(static_cast<unsigned>(r.codepage)));
    globals += record(0x0022, bytes().u16(1));  // 1904 dates
    globals += record(0x041E, bytes().u16(164).u8(10).raw("dd.mm.yyyy"));
    globals += xf_records(5, {164});
    const unsigned n = static_cast<unsigned>(r.bytes.size());
    // A LABEL, a RSTRING, a formula's STRING, then a number with the date
    // format: a text column, the date written as text.
    const std::string records = record(0x0204, bytes().u16(0).u16(0).u16(15).u16(n).raw(r.bytes)) +
                                record(0x00D6, bytes().u16(1).u16(0).u16(15).u16(n).raw(r.bytes).u8(1).u16(0)) +
                                formula_cell(2, 0, 15, formula_special(0)) +
                                record(0x0207, bytes().u16(n).raw(r.bytes)) + number_cell(3, 0, 16, 100);
    xls_file f(compound_file({{u"Book", workbook_stream(5, globals, {{r.bytes, 1, 0, 0x10, records}})}}));
    ASSERT_EQ(table_names(f.path), std::vector<std::string>{r.table});
    const std::string text = "'" + r.text + "'";
    EXPECT_EQ(rows_of(read_table(f.path, wb_to_utf16(r.table))), (grid{{text}, {text}, {text}, {"'1904-04-10'"}}));
  }
}

TEST(host_biff_workbook, RowsOfABlockArriveAscendingAndEmbeddedSubstreamsAreSkipped) {
  const std::string row_records = record(0x0208, std::string(16, '\0')) + record(0x0208, std::string(16, '\0'));
  const std::string dbcell = record(0x00D7, std::string(8, '\0'));
  const std::string chart = record(0x0809, bytes().u16(0x0600).u16(0x20).u32(0).u32(0).u32(0)) +
                            number_cell(5, 5, 15, 99) + record(0x000A, "");
  const std::string records = row_records + number_cell(2, 0, 15, 20) + number_cell(0, 1, 15, 1) +
                              number_cell(0, 0, 15, 0) + number_cell(1, 0, 15, 10) + dbcell + chart + row_records +
                              number_cell(4, 0, 15, 40) + number_cell(3, 0, 15, 30) + dbcell;
  EXPECT_EQ(sheet8_rows(records), (grid{{"0", "1"}, {"10", "NULL"}, {"20", "NULL"}, {"30", "NULL"}, {"40", "NULL"}}));
}

TEST(host_biff_workbook, EncryptedUnsupportedAndDamagedWorkbooksAreRefused) {
  const std::string filepass = record(0x002F, bytes().u16(1).u16(1).u16(1).raw(std::string(48, '\x5A')));
  const std::string good = testsupport::read_file(fixture("sst_continue.xls"));
  // Where the fixture writer put the FAT and the Workbook stream: the
  // header's first FAT sector, the directory's second entry.
  const std::size_t fat_at = (u32_at(good, 0x4C) + 1) * 512;
  const std::size_t dir_at = (u32_at(good, 0x30) + 1) * 512;
  ASSERT_EQ(good[dir_at + 128], 'W');
  const std::uint32_t start = u32_at(good, dir_at + 128 + 0x74);
  std::string looped = good;
  looped.replace(fat_at + 4 * (start + 40), 4, bytes().u32(start + 3));
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
      {"encryption info alone", compound_file({{u"EncryptionInfo", std::string(200, 'i')}}), 3274},
      {"BIFF4", compound_file({{u"Book", record(0x0409, bytes().u16(0).u16(0x0100).u16(0)) + record(0x000A, "")}}),
       3274},
      {"no workbook stream", compound_file({{u"Other", workbook_stream(8, "", {})}}), 3274},
      {"BOF only", compound_file({{u"Workbook", record(0x0809, bytes().u16(0x0600).u16(0x10))}}), 3274},
      {"garbage stream", compound_file({{u"Workbook", "garbage"}}), 3274},
      {"chain loops back", looped, 3274},
      {"cut in the middle", good.substr(0, good.size() / 2), 3274},
  };
  for (const row& r : rows) {
    xls_file f(r.file);
    EXPECT_EQ(open_error(f.path).number, r.error) << r.what;
  }

  // Damage inside a sheet, and a sheet whose offset points nowhere: the
  // table is listed and fails to open.
  std::string lost = workbook_stream(8, xf_records(8, {}), {{"S", 0, 0, 0x10, ""}});
  const std::size_t bs = lost.find(std::string("\x85\x00", 2));
  ASSERT_NE(bs, std::string::npos);
  lost.replace(bs + 4, 4, bytes().u32(0x7FFFFFF0).str());
  const std::string files[] = {
      book8(xf_records(8, {}),
            {{"S", 0, 0, 0x10, number_cell(0, 0, 15, 1) + record(0x0203, bytes().u16(1).u16(0).u16(15))}}),
      compound_file({{u"Workbook", lost}}),
  };
  for (const std::string& bytes : files) {
    xls_file f(bytes);
    auto engine = make_engine();
    auto db = open_ok(*engine, f.path);
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(db->table_count(), 1u);
    std::unique_ptr<wb_recordset> rs;
    EXPECT_EQ(db->open_recordset(u"SELECT * FROM [S$]", rs), wb_dao_hresult(3274));
  }
}
