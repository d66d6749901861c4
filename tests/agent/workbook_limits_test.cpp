// Workbooks at the workbook engine's limits, end to end with the real
// binary, into the private server and through dump files loaded back: a
// text too large to be held twice, valueless cells far beyond a sheet's
// values, and rows below a worksheet's last row.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "workbook_support.h"

using testsupport::run_result;
using wbtest::converting;
using wbtest::table_rows;

namespace {

using strings = std::vector<std::string>;

// An .xlsx with one worksheet per entry (name, the XML of its rows): the
// writer's package with empty worksheets, the rows patched in.
void write_book(const std::string& path, const std::vector<std::pair<std::string, std::string>>& sheets) {
  {
    wbtest::xlsx_book b(path);
    for (const auto& sheet : sheets) b.sheet(sheet.first.c_str());
  }
  std::map<std::string, std::string> parts = wbtest::read_zip(path);
  for (size_t i = 0; i < sheets.size(); ++i) {
    std::string& xml = parts.at("xl/worksheets/sheet" + std::to_string(i + 1) + ".xml");
    const std::string empty = "<sheetData/>";
    xml.replace(xml.find(empty), empty.size(), "<sheetData>" + sheets[i].second + "</sheetData>");
  }
  wbtest::write_zip(path, parts);
}

std::string inline_cell(const std::string& ref, const std::string& xml) {
  return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + xml + "</t></is></c>";
}

std::string repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

// Peak memory allowed for converting a workbook whose largest cell takes
// `units` UTF-16 units: the cell (two bytes a unit), as much again, and a
// constant. Under the address sanitizer the constant is larger: freed
// memory is held back (up to 256 MiB) before it is reused, and shadow
// memory comes on top.
long memory_bound_kib(size_t units) {
#if defined(GRIDLOAD_SANITIZED)
  constexpr size_t slack = size_t{320} << 20;
#else
  constexpr size_t slack = size_t{64} << 20;
#endif
  return static_cast<long>((4 * units + slack) / 1024);
}

}  // namespace

using WorkbookLimits = wbtest::workbook_run;

// One inline text of 50,000,000 characters beside long texts of every
// shape, each crossing the pieces the text is converted in: characters of
// two to four bytes and escapes, a CDATA section with CR LF line ends, a
// formula's text result; long texts in consecutive rows and in one row,
// then a short one. Each arrives whole, and the run costs about the big
// text's size, not a multiple of it.
TEST_F(WorkbookLimits, LongTextsArriveWholeInMemoryOfAboutTheirSize) {
  // 15 characters, 17 bytes of UTF-8, 23 bytes of XML (the escape is a B).
  const std::string piece_xml =
      "\xE2\x82\xAC"
      "abcdefghijklm_x0042_";
  const size_t pieces = 3333333;
  const size_t big_units = pieces * 15 + 5;  // 50,000,000
  const std::pair<std::string, std::string> shapes[] = {
      {inline_cell("B2", repeat("\xC3\xA4\xF0\x9D\x84\x9E_x000D_", 40000)),
       repeat("\xC3\xA4\xF0\x9D\x84\x9E\r", 40000)},
      {inline_cell("B3", "<![CDATA[" + repeat("line\r\n<&>", 30000) + "]]>"), repeat("line\n<&>", 30000)},
      {"<c r=\"B4\" t=\"str\"><f>REPT(\"ab\",100000)</f><v>" + repeat("ab", 100000) + "</v></c>", repeat("ab", 100000)},
      {inline_cell("B5", "short"), "short"},
  };
  std::string xml = "<row r=\"1\">" + inline_cell("A1", "big") + inline_cell("B1", "shape") + "</row>";
  xml += "<row r=\"2\">" + inline_cell("A2", repeat(piece_xml, pieces) + "zzzzz") + shapes[0].first + "</row>";
  for (size_t i = 1; i < std::size(shapes); ++i)
    xml += "<row r=\"" + std::to_string(i + 2) + "\">" + shapes[i].first + "</row>";
  write_book(dir_.file("long.xlsx"), {{"Texts", xml}});
  xml = std::string();

  each_way("long.xlsx", {"--extr_fn", "--charset=utf8mb4"}, [&](const run_result& r) {
    EXPECT_EQ(std::tuple(r.status, r.out, r.err), std::tuple(0, converting("long.xlsx", {"Texts"}), std::string()));
    EXPECT_LT(r.peak_rss_kib, memory_bound_kib(big_units));
    EXPECT_EQ(rows("SELECT CHAR_LENGTH(big), MD5(big) = MD5(CONCAT(REPEAT('\xE2\x82\xAC"
                   "abcdefghijklmB', 3333333), 'zzzzz')) FROM Texts WHERE big IS NOT NULL"),
              (table_rows{{"50000000", "1"}}));
    const strings got = column("Texts", "shape");
    ASSERT_EQ(got.size(), std::size(shapes));
    for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(got[i] == shapes[i].second) << "shape " << i + 1 << " differs";
  });
}

// The same of a CSV file's first record: one quoted field of 40,000,000
// characters (quotes, delimiters and line ends inside, some of two and
// four bytes). It used to cost seven bytes a character on its way to the
// server and five into a dump (read as UTF-16, sent or written from a
// UTF-16 copy).
TEST_F(WorkbookLimits, ALongCsvFieldArrivesWholeInMemoryOfAboutItsSize) {
  // 24 characters, 25 UTF-16 units; 29 bytes in the file, 28 in the value.
  const std::string piece = "ab,\"\"c\nd \xC3\xA4 \xF0\x9F\x98\x80 efghijklmnop";
  const size_t pieces = 1600000;
  testsupport::write_file(dir_.file("long.csv"), "id,big\n1,\"" + repeat(piece, pieces) + "\"\n2,short\n");
  const std::string value = repeat("ab,\"c\nd \xC3\xA4 \xF0\x9F\x98\x80 efghijklmnop", pieces);
  each_way("long.csv", {"--from_csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--charset=utf8mb4"},
           [&](const run_result& r) {
             EXPECT_EQ(r.status, 0) << r.out << r.err;
             EXPECT_LT(r.peak_rss_kib, memory_bound_kib(pieces * 25));
             const strings got = column("t", "big");
             ASSERT_EQ(got.size(), 2u);
             EXPECT_TRUE(got[0] == value) << "the long value differs";
           });
}

// Cells without a value far to the right of and below a sheet's values
// (formatting alone, empty elements, error elements without their code, a
// dimension that takes them in) add no column and no row; an empty row
// among the values stays a row of NULLs
// (tests/golden/workbook/cells_beyond_the_values.txt).
TEST_F(WorkbookLimits, CellsWithoutValuesBeyondTheValuesAddNoRowsOrColumns) {
  {
    wbtest::xlsx_book b(dir_.file("tail.xlsx"));
    lxw_worksheet* s = b.sheet("T");
    lxw_format* filled = workbook_add_format(b.handle());
    format_set_bg_color(filled, LXW_COLOR_YELLOW);
    wbtest::write_row(s, 0, {"n", "word"});
    wbtest::write_row(s, 1, {1.0, "one"});
    wbtest::write_row(s, 3, {3.0, "three"});
    worksheet_write_blank(s, 1, 40, filled);
    worksheet_write_blank(s, 4999, 0, filled);
    worksheet_write_blank(s, 4999, 60, filled);
  }
  const std::string sheet = "xl/worksheets/sheet1.xml";
  wbtest::patch_part(dir_.file("tail.xlsx"), sheet, "</row>",
                     "<c r=\"AZ1\" t=\"e\"/><c r=\"BA1\"/><c r=\"BB1\" t=\"inlineStr\"><is><t></t></is></c></row>");
  wbtest::patch_part(dir_.file("tail.xlsx"), sheet, "</sheetData>",
                     "<row r=\"6000\"><c r=\"A6000\" t=\"e\"><v></v></c><c r=\"CZ6000\" t=\"e\"><f>1/0</f></c>"
                     "<c r=\"DA6000\" t=\"str\"><f>\"\"</f><v></v></c></row></sheetData>");
  ASSERT_NE(wbtest::read_zip(dir_.file("tail.xlsx")).at(sheet).find("<dimension ref=\"A1:BI5000\"/>"),
            std::string::npos);
  both_ways("tail.xlsx", {"--extr_fn"}, "workbook/cells_beyond_the_values.txt");
}

// Rows below a worksheet's last row (1,048,576), which only a crafted file
// can have: the rows down to the last one are converted, then the run
// tells once for that worksheet, as a report that lets it go on
// (tests/golden/workbook/rows_below_the_last_row.txt).
TEST_F(WorkbookLimits, RowsBelowTheLastRowAreReportedOncePerWorksheet) {
  const std::string past = "<row r=\"1\">" + inline_cell("A1", "n") + "</row>" +
                           "<row r=\"2\"><c r=\"A2\"><v>2</v></c></row><row r=\"3\"><c r=\"A3\"><v>3</v></c></row>"
                           "<row r=\"1048576\"><c r=\"A1048576\"><v>1048576</v></c></row>"
                           "<row r=\"1048577\"><c r=\"A1048577\"><v>7</v></c><c r=\"B1048577\"><v>8</v></c></row>"
                           "<row><c><v>9</v></c></row><row r=\"2000000\">" +
                           inline_cell("C2000000", "far") + "</row>";
  const std::string fine =
      "<row r=\"1\">" + inline_cell("A1", "n") + "</row><row r=\"2\"><c r=\"A2\"><v>1</v></c></row>";
  write_book(dir_.file("rows.xlsx"), {{"Past", past}, {"Fine", fine}});
  both_ways("rows.xlsx", {"--extr_fn", "--skip_empty"}, "workbook/rows_below_the_last_row.txt");
}
