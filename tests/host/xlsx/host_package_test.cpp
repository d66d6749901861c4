// Packages assembled part by part, for layouts libxlsxwriter never writes:
// cells without references, strict namespaces, ISO dates, phonetic runs,
// escapes, formulas without values, binary workbooks and corrupt parts;
// and a sheet's record of its first read, replayed or unwritable.
#include <signal.h>
#include <sys/resource.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "host_fixture.h"
#include "wb_shared_strings.h"
#include "wb_text.h"
#include "wb_xlsx_sheet.h"
#include "wb_zip_archive.h"

using namespace host_test;

namespace {

const std::string main_ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const std::string rel_ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// A relationships part of (id, type, target) items.
std::string relationships(const std::vector<std::array<std::string, 3>>& items) {
  std::string out =
      "<?xml version=\"1.0\"?><Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  for (const auto& [id, type, target] : items)
    out += "<Relationship Id=\"" + id + "\" Type=\"" + rel_ns + "/" + type + "\" Target=\"" + target + "\"/>";
  return out + "</Relationships>";
}

// A minimal OOXML package around one worksheet part, with a shared strings
// and a styles part when given, and `workbook_pr` in the workbook part.
std::map<std::string, std::string> package_with_sheet(const std::string& sheet_xml,
                                                      const std::string& shared_strings_xml = "",
                                                      const std::string& styles_xml = "",
                                                      const std::string& workbook_pr = "") {
  std::map<std::string, std::string> parts;
  parts["[Content_Types].xml"] =
      "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>";
  parts["_rels/.rels"] = relationships({{"rId1", "officeDocument", "xl/workbook.xml"}});
  parts["xl/workbook.xml"] = "<?xml version=\"1.0\"?><workbook xmlns=\"" + main_ns + "\" xmlns:r=\"" + rel_ns + "\">" +
                             workbook_pr +
                             "<sheets><sheet name=\"Data\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
  std::vector<std::array<std::string, 3>> rels = {{"rId1", "worksheet", "worksheets/sheet1.xml"}};
  if (!shared_strings_xml.empty()) rels.push_back({"rId2", "sharedStrings", "sharedStrings.xml"});
  if (!styles_xml.empty()) rels.push_back({"rId3", "styles", "styles.xml"});
  parts["xl/_rels/workbook.xml.rels"] = relationships(rels);
  parts["xl/worksheets/sheet1.xml"] = sheet_xml;
  if (!shared_strings_xml.empty()) parts["xl/sharedStrings.xml"] = shared_strings_xml;
  if (!styles_xml.empty()) parts["xl/styles.xml"] = styles_xml;
  return parts;
}

std::string sheet(const std::string& rows) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"" + main_ns + "\"><sheetData>" + rows +
         "</sheetData></worksheet>";
}

// Reads `r` to its end, or until `out` holds `limit` bytes; returns the last read's result.
long read_all(wb_byte_reader& r, std::size_t limit, std::string& out) {
  char buffer[7919];  // not a divisor of any block
  long n = 0;
  while (out.size() < limit && (n = r.read(buffer, sizeof buffer)) > 0) out.append(buffer, std::size_t(n));
  return n;
}

std::string listing_of(const std::map<std::string, std::string>& parts) { return listing(written_file(parts).path); }

}  // namespace

// Packages assembled part by part, read whole through the engine; their
// tables are in tests/golden/host/packages.txt.
TEST(host_package, PackagesGiveTheirGoldenTables) {
  std::string text;
  const auto add = [&text](const std::string& title, const std::map<std::string, std::string>& parts) {
    text += "$ " + title + "\n" + listing_of(parts);
  };
  // Cells and rows without references follow the previous one.
  add("cells and rows without references",
      package_with_sheet(sheet("<row><c t=\"inlineStr\"><is><t>a</t></is></c><c><v>2</v></c></row>"
                               "<row><c r=\"C2\"><v>3</v></c><c><v>4</v></c></row>"
                               "<row r=\"4\"><c><v>5</v></c></row>")));
  // Rows counted on past the last row a sheet can hold stay out of it, and
  // never come round to the top.
  add("rows past the last row",
      package_with_sheet(
          sheet("<row r=\"4294967295\"><c><v>1</v></c></row><row><c><v>2</v></c></row><row><c><v>3</v></c></row>")));

  // Shared strings decode escapes (an escaped underscore stays a text) and
  // skip phonetic runs, inline strings too; an index past the table reads
  // as NULL.
  const std::string sst =
      "<sst xmlns=\"" + main_ns +
      "\" count=\"4\" uniqueCount=\"4\">"
      "<si><t>a_x000D_b</t></si>"
      "<si><t>_x005F_x0041_ and _x0041__x005f_x0041_ _x12_ _xZZZZ_</t></si>"
      "<si><r><t>rich </t></r><r><rPr><b/></rPr><t>text</t></r><rPh sb=\"0\" eb=\"1\"><t>PHON</t></rPh></si>"
      "<si><t xml:space=\"preserve\">  spaced  </t></si></sst>";
  std::string rows;
  for (int i = 0; i < 4; ++i)
    rows += "<row r=\"" + std::to_string(i + 1) + "\"><c r=\"A" + std::to_string(i + 1) + "\" t=\"s\"><v>" +
            std::to_string(i) + "</v></c></row>";
  rows +=
      "<row r=\"5\"><c r=\"A5\" t=\"s\"><v>99</v></c><c r=\"B5\" t=\"inlineStr\"><is><t>in_x000A_line</t>"
      "<rPh><t>x</t></rPh></is></c></row>";
  add("shared strings", package_with_sheet(sheet(rows), sst));

  // Custom formats decide date columns ("days" is quoted text, cellStyleXfs
  // entries are no cell styles); ISO dates are calendar dates in either date
  // system (a blank for the 'T', a zone ignored), one that no serial reads
  // back as (1899-12-31 and before in the 1900 system, 1904-01-01 in the
  // 1904 system) stays its text, and one that is no date (or goes on past
  // one) has no value; serials of the 1904 system are 1,462 days later than
  // the same serials of the 1900 system.
  const std::string styles =
      "<styleSheet xmlns=\"" + main_ns +
      "\"><numFmts count=\"2\">"
      "<numFmt numFmtId=\"164\" formatCode=\"dd&quot;d&quot;/mm/yyyy\"/>"
      "<numFmt numFmtId=\"165\" formatCode=\"#,##0.00 &quot;days&quot;\"/></numFmts>"
      "<cellStyleXfs count=\"1\"><xf numFmtId=\"14\"/></cellStyleXfs>"
      "<cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"165\"/></cellXfs></styleSheet>";
  const std::string dates = sheet(
      "<row r=\"1\"><c r=\"A1\" s=\"1\"><v>45351.5</v></c><c r=\"B1\" s=\"2\"><v>3</v></c>"
      "<c r=\"C1\" t=\"d\"><v>2024-02-29T13:45:30</v></c><c r=\"D1\"><v>1</v></c></row>"
      "<row r=\"2\"><c r=\"C2\" t=\"d\"><v>2024-03-01</v></c><c r=\"D2\" s=\"0\"><v>2</v></c></row>"
      "<row r=\"3\"><c r=\"C3\" t=\"d\"><v>1900-01-01</v></c></row>"
      "<row r=\"4\"><c r=\"C4\" t=\"d\"><v>2024-13-01</v></c><c r=\"D4\"><v>4</v></c></row>"
      "<row r=\"5\"><c r=\"E5\" t=\"d\"><v>2024-01-02 10:20:30</v></c><c r=\"F5\" "
      "t=\"d\"><v>2024-01-02T10:20:30+02:00</v></c></row>"
      "<row r=\"6\"><c r=\"E6\" t=\"d\"><v>1899-12-31T12:00:00</v></c><c r=\"F6\" t=\"d\"><v>1800-06-15</v></c></row>"
      "<row r=\"7\"><c r=\"F7\" t=\"d\"><v>2024-01-02T10:20:30 x</v></c></row>");
  add("custom formats and ISO dates, 1900 dates", package_with_sheet(dates, "", styles));
  add("custom formats and ISO dates, 1904 dates",
      package_with_sheet(dates, "", styles, "<workbookPr date1904=\"1\"/>"));

  // A formula without a cached value has no value at all; an error (NULL)
  // alone in the last row and column still counts for the range.
  add("formulas without values and error cells",
      package_with_sheet(sheet("<row r=\"1\"><c r=\"A1\"><v>1.5</v></c><c r=\"B1\"><f>A1</f></c></row>"
                               "<row r=\"2\"><c r=\"C2\" t=\"e\"><f>NA()</f><v>#N/A</v></c></row>")));

  // The first pass (used range, types) and the second (values) read the
  // same sheet through different parsers; XML's rarer forms and the strict
  // namespaces must not make them disagree.
  const std::string date_styles =
      "<styleSheet xmlns=\"" + main_ns + "\"><cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/></cellXfs></styleSheet>";
  const std::string long_text(300, 'w');
  const std::string rare =
      "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>\r\n<!-- written by hand -->"
      "<x:worksheet xmlns:x='" +
      main_ns +
      "'><?pi data?><x:sheetData>\r\n"
      "<x:row r = '1'><x:c s='&#49;' r='A1'><x:v><![CDATA[45]]>351</x:v></x:c><x:c t=\"&#115;\" r=\"B1\">"
      "<x:v> 0 </x:v></x:c><x:c r='C1' t='inlineStr'><x:is><x:t>a\r\nb <![CDATA[<c>]]></x:t></x:is></x:c>"
      "<x:c r='D1'><x:v>1<!-- half -->.5</x:v></x:c></x:row>\r\n"
      "<x:row r='2'><x:c t='inlineStr' r='C2'><x:is><x:t>" +
      long_text.substr(0, 150) + "<!-- -->" + long_text.substr(150) +
      "</x:t></x:is></x:c><x:c r='D2' t='b'><x:v>&#x31;</x:v></x:c></x:row>"
      "</x:sheetData></x:worksheet>";
  auto rare_parts =
      package_with_sheet(rare, "<sst xmlns=\"" + main_ns + "\"><si><t>shared</t></si></sst>", date_styles);
  const std::pair<std::string, std::string> to_strict[] = {
      {main_ns, "http://purl.oclc.org/ooxml/spreadsheetml/main"},
      {rel_ns, "http://purl.oclc.org/ooxml/officeDocument/relationships"}};
  const std::string plain = listing_of(rare_parts);
  text += "$ rare XML forms\n" + plain;
  for (auto& [name, xml] : rare_parts)
    for (const auto& [from, to] : to_strict) xml = testsupport::replace_all(xml, from, to);
  EXPECT_EQ(listing_of(rare_parts), plain) << "strict namespaces";

  // Parts in UTF-16 are read by expat in both passes, like UTF-8 ones.
  const auto utf16le = [](std::string ascii) {
    if (ascii.starts_with("<?xml")) ascii.erase(0, ascii.find("?>") + 2);
    std::string out = "\xFF\xFE";
    for (char c : "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + ascii) out.append({c, '\0'});
    return out;
  };
  const std::string two_strings = "<sst xmlns=\"" + main_ns + "\"><si><t>one</t></si><si><t>two</t></si></sst>";
  const std::string mixed = sheet(
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c><c r=\"B1\"><v>2.5</v></c></row>"
      "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c><c r=\"B2\"><v>-3</v></c></row>");
  const std::string utf8_parts = listing_of(package_with_sheet(mixed, two_strings));
  text += "$ shared strings and numbers\n" + utf8_parts;
  EXPECT_EQ(listing_of(package_with_sheet(utf16le(mixed), utf16le(two_strings))), utf8_parts) << "UTF-16";
  testsupport::expect_golden("host/packages.txt", text);
}

TEST(host_package, UnreadablePackagesAndPartsFailWith3274) {
  // A binary workbook part (.xlsb), and a ZIP without any workbook part.
  auto binary = package_with_sheet(sheet(""));
  binary["_rels/.rels"] = relationships({{"rId1", "officeDocument", "xl/workbook.bin"}});
  binary["xl/workbook.bin"] = std::string(64, '\x01');
  for (const auto& parts : {binary, std::map<std::string, std::string>{{"hello.txt", "hello"}}})
    EXPECT_EQ(open_error(written_file(parts).path).number, 3274);
  // Sheets that are not well-formed XML, or smuggle in a document type,
  // open as tables but fail when read.
  const std::string bad_sheets[] = {
      sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row>"),
      sheet("<row r=\"1\"><c r=\"A1\" r=\"B1\"><v>1</v></c></row>"),
      sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&nbsp;</t></is></c></row>"),
      sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>\xC3(</t></is></c></row>"),
      "<?xml version=\"1.0\"?><!DOCTYPE worksheet [<!ENTITY e \"x\">]><worksheet xmlns=\"" + main_ns +
          "\"><sheetData/></worksheet>",
  };
  for (const std::string& xml : bad_sheets) {
    SCOPED_TRACE(xml);
    expect_table_unreadable(written_file(package_with_sheet(xml)).path, u"Data$");
  }
}

// An entry is read whole, again after a rewind half way, and a damaged one
// fails with 3274 at the damage or at its CRC, whether it is read on
// the caller's thread (small) or inflated ahead by a thread (large); a
// reader dropped half way does not wait for the rest.
TEST(host_package, EntriesReadWholeAndDamagedOnesFailWith3274) {
  for (const std::size_t size : {std::size_t(5000), std::size_t(3) << 20}) {
    std::string content;
    for (std::size_t i = 0; content.size() < size; ++i)
      content += "<c><v>" + std::to_string(i * 2654435761u) + "</v></c>";
    written_file f({{"big.xml", content}});
    long error = 0;
    auto zip = wb_zip_archive::open(f.path, error);
    ASSERT_TRUE(zip) << size;
    auto reader = zip->open_entry(zip->find("big.xml"), error);
    ASSERT_TRUE(reader) << size;
    std::string half, whole;
    read_all(*reader, content.size() / 2, half);
    EXPECT_EQ(half, content.substr(0, half.size())) << size;
    ASSERT_TRUE(reader->rewind());
    EXPECT_EQ(read_all(*reader, SIZE_MAX, whole), 0) << size;
    EXPECT_TRUE(whole == content) << size;
    auto dropped = zip->open_entry(zip->find("big.xml"), error);
    half.clear();
    read_all(*dropped, 10000, half);
    dropped.reset();

    // A deflated entry whose middle is damaged: inflation or the CRC fails.
    std::string bytes = testsupport::read_file(f.path);
    const std::size_t data_at = bytes.find("big.xml") + 7;
    const std::size_t compressed = bytes.find("big.xml", data_at) - data_at;
    for (std::size_t i = data_at + compressed / 2; i < data_at + compressed / 2 + 64; ++i)
      bytes[i] = static_cast<char>(~bytes[i]);
    testsupport::write_file(f.path, bytes);
    auto damaged_zip = wb_zip_archive::open(f.path, error);
    ASSERT_TRUE(damaged_zip) << size;
    auto damaged = damaged_zip->open_entry(damaged_zip->find("big.xml"), error);
    ASSERT_TRUE(damaged) << size;
    std::string got;
    EXPECT_EQ(read_all(*damaged, SIZE_MAX, got), -1) << size;
    EXPECT_EQ(damaged->error(), 3274) << size;
  }
}

// A package saved over while it is read (a new file renamed to its path)
// is read as it was opened, by every handle, small parts and large ones.
TEST(host_package, APackageReplacedWhileReadIsReadAsOpened) {
  const std::string big(std::size_t(2) << 20, 'o');
  written_file f({{"big.xml", big}, {"small.xml", "old"}});
  long error = 0;
  auto zip = wb_zip_archive::open(f.path, error);
  ASSERT_TRUE(zip);
  const std::string replacement = f.dir.file("new.xlsx");
  testsupport::write_zip(replacement, {{"big.xml", std::string(big.size(), 'n')}, {"small.xml", "new"}});
  ASSERT_EQ(std::rename(replacement.c_str(), f.path.c_str()), 0);
  for (const char* part : {"small.xml", "big.xml"}) {
    auto reader = zip->open_entry(zip->find(part), error);
    ASSERT_TRUE(reader) << part;
    std::string got;
    EXPECT_EQ(read_all(*reader, SIZE_MAX, got), 0) << part;
    EXPECT_EQ(got, part == std::string("big.xml") ? big : "old") << part;
  }
}

// The second read replays what the first recorded, here beyond a memory
// bound of a few bytes, so through the temporary file: every kind of cell,
// a long text in pieces and one replaced by a later <v>, rows going back.
// A file that cannot grow fails the first read with 3183.
TEST(host_package, SecondReadsReplayTheFirstFromATemporaryFile) {
  const std::string big(300000, 'x');
  const std::string xml = sheet(
      "<row r=\"2\"><c t=\"s\"><v>1</v></c><c s=\"0\"><v>1.5</v></c><c t=\"b\"><v>1</v></c>"
      "<c t=\"e\"><v>#N/A</v></c><c t=\"inlineStr\"><is><t>_x0041_\xC3\xA4</t></is></c>"
      "<c t=\"str\"><v>" +
      big + "</v><v>last</v></c><c t=\"str\"><v>" + big +
      "y</v></c></row>"
      "<row r=\"1\"><c t=\"s\"><v>0</v></c><c t=\"s\"><v>7</v></c></row><row r=\"9\"><c><v>-2</v></c></row>");
  wb_shared_strings strings;
  strings.append("empty?");
  strings.append("b_x0042_");
  const auto read_all = [](wb_xlsx_sheet& s) {
    std::vector<std::string> cells;
    wb_raw_cell c;
    while (s.next_cell(c))
      cells.push_back(std::to_string(c.row) + "," + std::to_string(c.column) + "," +
                      std::to_string(static_cast<int>(c.kind)) + "," + std::to_string(c.number) + "," +
                      wb_to_utf8(c.text));
    return cells;
  };
  wb_xlsx_sheet sheet(std::make_unique<wb_memory_reader>(xml), &strings, nullptr, false, 64);
  const std::vector<std::string> first = read_all(sheet);
  ASSERT_EQ(first.size(), 9u);
  EXPECT_EQ(first[0], "1,0,2,0.000000,bB");
  EXPECT_EQ(first[4], "1,4,2,0.000000,A\xC3\xA4");
  EXPECT_EQ(first[5], "1,5,2,0.000000,last");
  EXPECT_EQ(first[6], "1,6,2,0.000000," + big + "y");
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(sheet.rewind());
    EXPECT_EQ(read_all(sheet), first);
    EXPECT_EQ(sheet.error(), 0);
  }

  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  wb_xlsx_sheet full(std::make_unique<wb_memory_reader>(xml), &strings, nullptr, false, 64);
  read_all(full);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(full.error(), 3183);
  EXPECT_NE(wb_error_list::describe(3183, u"").find(u"not enough temporary disk space"), std::u16string::npos);
}
