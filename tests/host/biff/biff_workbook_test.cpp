// The .xls reader through the engine: workbooks assembled record by record
// for what the fixture writer cannot produce (BIFF5 code pages, cached
// formula results, rich and phonetic strings, encryption, odd record
// orders, damage). The committed fixtures (sheet names, both date systems,
// shared strings across CONTINUE records) are read end to end by
// tests/agent against tests/golden/xls.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "biff_test_writer.h"
#include "host_fixture.h"
#include "test_support.h"

using namespace biff_test;
using namespace host_test;

namespace {

// A BIFF8 workbook in a compound file.
std::string book8(const std::string& globals, const std::vector<sheet>& sheets, const std::string& sst = "") {
  return compound_file({{u"Workbook", workbook_stream(8, globals, sheets, sst)}});
}

// A BIFF8 workbook of one sheet "S" holding `cells`, with the default
// formats and `extra_formats`.
std::string sheet8(const std::string& cells, const std::vector<unsigned>& extra_formats = {},
                   const std::string& sst = "") {
  return book8(xf_records(8, extra_formats), {{"S", 0, 0, 0x10, cells}}, sst);
}

}  // namespace

// Workbooks assembled record by record, read whole through the engine; their
// tables are in tests/golden/host/biff_workbooks.txt.
TEST(host_biff_workbook, AssembledWorkbooksGiveTheirGoldenTables) {
  std::vector<std::pair<std::string, std::string>> books;  // title, file

  // RK numbers: integer, negative integer, integer / 100, the high bits of a
  // double, double / 100, negative double.
  std::string rk_cells;
  unsigned row = 0;
  for (const std::uint32_t rk : {(42u << 2) | 2, (static_cast<std::uint32_t>(-7) << 2) | 2, (12345u << 2) | 3,
                                 0x3FF80000u, 0x3FF80000u | 1, 0xC0240000u})
    rk_cells += rk_cell(row++, 0, 15, rk);
  books.emplace_back("RK values of every form", sheet8(rk_cells));

  // Shared strings with formatting runs (flag 8) and phonetic data (flag 4)
  // that the reader skips, a two-byte string with both, an empty one, and
  // runs split into a CONTINUE (which then has no flag byte); index 5 is past
  // the table.
  bytes sst;
  sst.u32(6).u32(5);
  sst.u16(4).u8(0x08).u16(2).raw("rich").raw(std::string(8, '\x01'));
  sst.u16(3).u8(0x04).u32(6).raw("ext").raw("PHONET");
  sst.u16(2).u8(0x0D).u16(1).u32(3).u16(0x4E2D).u16(0x6587).raw(std::string(4, '\x02')).raw("abc");
  sst.u16(0).u8(0x00);
  sst.u16(3).u8(0x08).u16(1).raw("end").raw(std::string(2, '\x03'));
  std::string sst_cells;
  row = 0;
  for (const std::uint32_t index : {0u, 1u, 2u, 3u, 5u, 4u}) sst_cells += labelsst_cell(row++, 0, index);
  books.emplace_back("shared strings with rich text and phonetic data",
                     sheet8(sst_cells, {}, record(0x00FC, sst) + record(0x003C, std::string(2, '\x03'))));

  // Only worksheets are tables: not charts, macro sheets, dialog sheets
  // (WSBOOL), nor a sheet listed as a worksheet whose BOF says macro sheet;
  // a very hidden worksheet is.
  books.emplace_back(
      "only worksheets are tables",
      book8(xf_records(8, {}), {{"Data", 0, 0, 0x10, record(0x0081, bytes().u16(0x04C1)) + number_cell(0, 0, 15, 1)},
                                {"Chart1", 0, 2, 0x20, ""},
                                {"Macro1", 0, 1, 0x40, ""},
                                {"Dialog1", 0, 0, 0x10, record(0x0081, bytes().u16(0x0010))},
                                {"Odd", 0, 0, 0x40, ""},
                                {"Hidden", 2, 0, 0x10, number_cell(0, 0, 15, 2)}}));

  // Sheets named alike, or not at all (no spreadsheet program saves them):
  // each is a table of its own, named after its place and unlike any
  // sheet's own name; the second and third were never reached.
  books.emplace_back("sheets named alike or not at all",
                     book8(xf_records(8, {}), {{"A", 0, 0, 0x10, number_cell(0, 0, 15, 1)},
                                               {"A", 0, 0, 0x10, number_cell(0, 0, 15, 2)},
                                               {"", 0, 0, 0x10, number_cell(0, 0, 15, 3)},
                                               {"A (2)", 0, 0, 0x10, number_cell(0, 0, 15, 4)}}));

  // Formulas give their cached results: a number under a date format, a
  // string whose STRING record follows a SHRFMLA, a string split over a
  // CONTINUE that switches to two-byte characters, TRUE, FALSE, #DIV/0!, an
  // empty string, a string result without its STRING record, then a STRING
  // record without its formula.
  books.emplace_back(
      "formulas give their cached results",
      sheet8(formula_cell(0, 0, 16, formula_number(42.5)) + formula_cell(0, 1, 15, formula_special(0)) +
                 record(0x04BC, std::string(10, '\0')) + record(0x0207, unicode_string(u"cached", true)) +
                 formula_cell(0, 2, 15, formula_special(0)) + record(0x0207, bytes().u16(5).u8(0).raw("abc")) +
                 record(0x003C, bytes().u8(1).u16(0x4E2D).u16(0x00E9)) + formula_cell(0, 3, 15, formula_special(1, 1)) +
                 formula_cell(0, 4, 15, formula_special(1, 0)) + formula_cell(0, 5, 15, formula_special(2, 0x07)) +
                 formula_cell(0, 6, 15, formula_special(3)) + formula_cell(0, 7, 15, formula_special(0)) +
                 number_cell(0, 8, 15, 8) + record(0x0207, unicode_string(u"stray", true)),
             {14}));

  // Values of no value of their kind are no value, and counted: numbers
  // that are NaN or infinite (NaN was 0, an infinity the text 'inf', which a
  // dump wrote into a DOUBLE column), boolean bytes other than 0 and 1 (they
  // were TRUE), in cells and as formula results.
  std::string odd_cells;
  row = 0;
  for (const double v : {1.5, std::nan(""), HUGE_VAL, -HUGE_VAL}) odd_cells += number_cell(row++, 0, 15, v);
  for (const unsigned b : {1u, 2u, 255u, 0u})
    odd_cells += record(0x0205, bytes().u16(row++).u16(0).u16(15).u8(static_cast<std::uint8_t>(b)).u8(0));
  odd_cells += formula_cell(row++, 0, 15, formula_special(1, 2));
  odd_cells += formula_cell(row++, 0, 15, formula_number(HUGE_VAL));
  books.emplace_back("values of no value of their kind", sheet8(odd_cells));

  // LABEL in one-byte and two-byte characters, RSTRING, an empty LABEL.
  books.emplace_back(
      "LABEL and RSTRING records of BIFF8",
      sheet8(record(0x0204, bytes().u16(0).u16(0).u16(15).raw(unicode_string(u"label", true))) +
             record(0x0204, bytes().u16(0).u16(1).u16(15).raw(unicode_string(u"\u00e9t\u00e9", true, true))) +
             record(0x00D6, bytes().u16(1).u16(0).u16(15).raw(unicode_string(u"rich", true)).u16(1).u32(0)) +
             record(0x0204, bytes().u16(1).u16(1).u16(15).raw(unicode_string(u"", true)))));

  // BIFF5 texts (the sheet name, a LABEL, a RSTRING, a formula's STRING) in
  // the code page of the CODEPAGE record, Windows-1252 without one or for
  // an unknown one; then a number under a date format of the 1904 system,
  // which a text column shows as text.
  const std::pair<int, std::string> code_pages[] = {
      {-1, "\x80 caf\xE9"},   {1252, "\x93quoted\x94"},  {1251, "\xCF\xF0\xE8\xE2\xE5\xF2"},
      {1253, "\xE1\xE2\xE3"}, {932, "\x93\xFA\x96\x7B"}, {437, "\x81\xB0"},
      {4242, "\xE9"}};
  for (const auto& [codepage, text] : code_pages) {
    std::string globals = codepage < 0 ? "" : record(0x0042, bytes().u16(static_cast<unsigned>(codepage)));
    globals += record(0x0022, bytes().u16(1)) + record(0x041E, bytes().u16(164).u8(10).raw("dd.mm.yyyy")) +
               xf_records(5, {164});
    const unsigned n = static_cast<unsigned>(text.size());
    const std::string cells = record(0x0204, bytes().u16(0).u16(0).u16(15).u16(n).raw(text)) +
                              record(0x00D6, bytes().u16(1).u16(0).u16(15).u16(n).raw(text).u8(1).u16(0)) +
                              formula_cell(2, 0, 15, formula_special(0)) + record(0x0207, bytes().u16(n).raw(text)) +
                              number_cell(3, 0, 16, 100);
    books.emplace_back("BIFF5, code page " + (codepage < 0 ? "none" : std::to_string(codepage)),
                       compound_file({{u"Book", workbook_stream(5, globals, {{text, 1, 0, 0x10, cells}})}}));
  }

  // Rows of a block arrive in any order of rows and columns, between ROW and
  // DBCELL records; a chart substream embedded in the sheet is skipped.
  const std::string row_records = record(0x0208, std::string(16, '\0')) + record(0x0208, std::string(16, '\0'));
  const std::string dbcell = record(0x00D7, std::string(8, '\0'));
  const std::string chart = record(0x0809, bytes().u16(0x0600).u16(0x20).u32(0).u32(0).u32(0)) +
                            number_cell(5, 5, 15, 99) + record(0x000A, "");
  books.emplace_back("rows of a block ascending, embedded substreams skipped",
                     sheet8(row_records + number_cell(2, 0, 15, 20) + number_cell(0, 1, 15, 1) +
                            number_cell(0, 0, 15, 0) + number_cell(1, 0, 15, 10) + dbcell + chart + row_records +
                            number_cell(4, 0, 15, 40) + number_cell(3, 0, 15, 30) + dbcell));

  std::string text;
  for (const auto& [title, file] : books) text += "$ " + title + "\n" + listing_of(file);
  testsupport::expect_golden("host/biff_workbooks.txt", text);
}

// A file written in place while it is read gave rows of two files: a sheet
// whose data ends after the file changed fails, as damage does.
TEST(host_biff_workbook, ASheetReadAfterTheFileChangedFails) {
  // Past the small streams a compound file holds whole in memory.
  std::string cells;
  for (unsigned row = 0; row < 400; ++row) cells += number_cell(row, 0, 15, row);
  const std::string book = book8(xf_records(8, {}), {{"S1", 0, 0, 0x10, cells}, {"S2", 0, 0, 0x10, cells}});
  const written_file file(book);
  auto engine = make_engine();
  auto db = open_ok(*engine, file.path);
  ASSERT_NE(db, nullptr);
  std::unique_ptr<wb_recordset> rs;
  ASSERT_EQ(db->open_recordset(u"SELECT * FROM [S1$]", rs), wb_s_ok);
  testsupport::write_file(file.path, book + std::string(512, '\0'));  // the same file, written anew
  EXPECT_EQ(db->open_recordset(u"SELECT * FROM [S2$]", rs), wb_dao_hresult(3274));
}

TEST(host_biff_workbook, EncryptedUnsupportedAndDamagedWorkbooksAreRefused) {
  const std::string filepass = record(0x002F, bytes().u16(1).u16(1).u16(1).raw(std::string(48, '\x5A')));
  const std::string good = testsupport::read_file(testsupport::source_dir() + "/tests/data/xls/sst_continue.xls");
  // Where the fixture writer put the Workbook stream: the directory's
  // second entry. Its chain is in the first FAT sector.
  const std::size_t dir_at = (u32_at(good, 0x30) + 1) * 512;
  ASSERT_EQ(good[dir_at + 128], 'W');
  const std::uint32_t start = u32_at(good, dir_at + 128 + 0x74);
  std::string looped = good;
  set_fat_entry(looped, start + 40, start + 3);
  const std::tuple<const char*, std::string, long> rows[] = {
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
  for (const auto& [what, file, error] : rows) EXPECT_EQ(open_error(written_file(file).path).number, error) << what;

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
  for (const std::string& bytes : files) expect_table_unreadable(written_file(bytes).path, u"S$");
}
