// Excel 2.x-4.0 files (BIFF2-4) through the engine, written record by record
// with biff_test_writer: every cell kind of each version, number formats
// through cell attributes and XF records, the code page and the date system,
// the name of a single sheet, and the files the engine refuses. (An Excel
// 4.0 workbook of several sheets is converted end to end in round_trip_test.)
#include <gtest/gtest.h>

#include <tuple>

#include "biff_test_writer.h"
#include "host_fixture.h"
#include "test_support.h"

using namespace biff_test;
using namespace host_test;

namespace {

// Format positions of formats(): what each cell style names.
enum style : unsigned { general, decimals, day, elapsed, dollars };

// The FORMAT records, and in BIFF3 and 4 one XF per format, XF i naming format i.
std::string formats(int version) {
  std::string out;
  for (const char* code : {"General", "0.00", "yyyy-mm-dd", "[h]:mm:ss", "\"$\"#,##0.00"})
    out += early::format(version, code);
  if (version != 2)
    for (unsigned i = 0; i < 5; ++i) out += early::xf(version, i);
  return out;
}

}  // namespace

// Files assembled record by record, read whole through the engine; their
// tables are in tests/golden/host/biff_early.txt.
TEST(host_biff_early, FilesGiveTheirGoldenTables) {
  std::string text;
  const auto add = [&text](const std::string& title, const std::string& file, const std::string& name = "sheet.xls") {
    text += "$ " + title + " (" + name + ")\n" + listing_of(file, name);
  };
  // Each cell record of each version, and the column types their formats
  // make: BIFF2 INTEGER and BIFF3-4 RK numbers beside NUMBER, dates and
  // durations through the formats, LABEL and a formula's STRING, BOOLERR
  // booleans and errors (NULL), cached formula results of each kind.
  for (const int v : {2, 3, 4}) {
    const std::string whole = v == 2 ? early::integer(0, 0, general, 7) : rk_cell(0, 0, general, 7 << 2 | 2);
    add("every cell kind of BIFF" + std::to_string(v),
        early::sheet(
            v, formats(v) + whole + early::number(v, 0, 1, day, 45000) + early::label(v, 0, 2, general, "abc") +
                   early::boolerr(v, 0, 3, 1, false) + early::boolerr(v, 0, 4, 7, true) +
                   early::number(v, 0, 5, dollars, 19.99) + early::number(v, 0, 6, elapsed, 1.5) +
                   early::number(v, 1, 0, decimals, 2.5) + early::formula(v, 1, 1, day, formula_number(45001.5)) +
                   early::formula(v, 1, 2, general, formula_special(0)) + early::string(v, "xyz") +
                   early::formula(v, 1, 3, general, formula_special(1, 0)) +
                   early::formula(v, 1, 4, general, formula_special(2, 42)) + early::number(v, 1, 6, elapsed, 34)));
  }
  // Texts in the code page the CODEPAGE record names, the 1904 date system;
  // a BIFF2 cell whose attributes name the General format takes its XF
  // record's format (the last row).
  add("code page 1251 and 1904 dates",
      early::sheet(2, early::codepage(1251) + early::datemode(true) + formats(2) + early::xf(2, day) +
                          early::label(2, 0, 0, general, "\xCF\xF0\xE8\xE2\xE5\xF2") + early::number(2, 1, 0, day, 0) +
                          early::number(2, 2, 0, day, 1) +
                          record(0x0003, bytes().u16(3).u16(0).u8(0).u8(0).u8(0).f64(2))));
  // Windows-1252 without a CODEPAGE record.
  add("no code page", early::sheet(3, early::label(3, 0, 0, 0, "caf\xE9 \x80")));
  // A single sheet has no name: the file's base name stands for it,
  // whatever the extension; the file is known by its content.
  for (const char* name : {"report.xls", "Q1 [draft].dat", "archive.2024.txt", "noextension"})
    add("single sheet", early::sheet(3, early::number(3, 0, 0, 0, 1)), name);
  testsupport::expect_golden("host/biff_early.txt", text);
}

TEST(host_biff_early, EncryptedAndDamagedFilesAreRefused) {
  const std::string cell = early::number(4, 0, 0, 0, 1);
  const std::string sheet = early::sheet(4, cell);
  std::string wrong_size = early::workbook4("", {{"S", sheet}});
  constexpr std::size_t size_at = 10 + 4;  // after the BOF record and the SHEETHDR's header
  wrong_size[size_at + 2] = '\x7F';        // far past the end
  const std::tuple<const char*, std::string, long> rows[] = {
      {"FILEPASS", early::sheet(4, record(0x002F, bytes().u16(1).u16(2)) + cell), 3161},
      {"chart file", early::chart(4), 3274},
      {"sheet size past the end", wrong_size, 3274},
      {"cut inside the BOF", sheet.substr(0, 6), 3274},
  };
  for (const auto& [what, file, error] : rows)
    EXPECT_EQ(open_error(written_file(file, "sheet.xls").path).number, error) << what;

  // Cut inside the second cell: the sheet is listed and fails to open.
  const std::string two = early::sheet(4, cell + early::number(4, 1, 0, 0, 2));
  expect_table_unreadable(written_file(two.substr(0, two.size() - 6), "sheet.xls").path, u"sheet$");
}
