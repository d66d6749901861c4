// The hand-written XML scanner of the first pass, checked against expat
// (through wb_xml_parser) as the reference: the same events for well-formed
// documents, whether the bytes come whole or in small pieces; a failure
// where expat fails; other encodings declined.
#include <gtest/gtest.h>

#include <string>

#include "xml_event_log.h"

using xml_events::with_expat;
using xml_events::with_scanner;

namespace {

constexpr std::size_t whole = std::size_t{1} << 30;
const std::string main_ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

}  // namespace

TEST(host_xml_scan, WellFormedDocumentsGiveExpatsEventsInAnyPieces) {
  const std::string documents[] = {
      // Declaration, byte order mark, comments and processing instructions
      // around and inside the root.
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone='yes' ?>\n<!-- c - d -->"
      "<?xml-stylesheet href=\"a\"?><root><?pi?><!----><a/></root>\n<!-- after -->\n",
      // References in text and attributes, CDATA, line ends in both.
      "<r a=\"x&amp;y&#60;&#x3e;&quot;&apos;\" b='1\r\n2\t3\n4\r5' c=\"&#10;&#13;&#9;\">"
      "t&lt;&gt;&amp;&#x20AC;&#8364;&#128512;\r\nx\ry<![CDATA[<&>]]]]><![CDATA[\r\n]]>]>]]</r>",
      // A CDATA section arrives in pieces too: characters of two to four
      // bytes, CRs alone and before an LF, brackets before the end.
      "<r><![CDATA[\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\r\r\n]\r]]]></r>",
      // Namespaces: prefixed main, a default namespace declared lower down,
      // a prefix rebound by a child, attributes with prefixes.
      "<x:worksheet xmlns:x=\"" + main_ns +
          "\" xmlns:r=\"http://purl.oclc.org/ooxml/officeDocument/relationships\">"
          "<x:c r:id=\"1\" xml:space=\"preserve\"><v xmlns=\"" +
          main_ns +
          "\">1</v></x:c>"
          "<x:d xmlns:x=\"urn:other\"/></x:worksheet>",
      // White space in tags, both quotes, empty values, multi-byte names.
      "<a  b = \"1\"\tc='2'\nd=\"\" >\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80<\xC3\xA9l\xC3\xA9ment/></a >",
      // A worksheet as a spreadsheet application writes it.
      "<worksheet xmlns=\"" + main_ns +
          "\"><sheetData><row r=\"1\" spans=\"1:3\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
          "<c r=\"B1\" s=\"1\"><v>45351.5</v></c><c r=\"C1\" t=\"inlineStr\"><is><t>x</t></is></c></row></sheetData>"
          "</worksheet>",
  };
  for (const std::string& xml : documents) {
    const xml_events::outcome reference = with_expat(xml);
    ASSERT_TRUE(reference.ok) << xml;
    for (std::size_t piece : {whole, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}}) {
      const xml_events::outcome r = with_scanner(xml, piece);
      EXPECT_TRUE(r.ok && !r.declined) << piece << ": " << xml;
      EXPECT_EQ(r.log, reference.log) << piece;
    }
  }
  // What expat makes of the second document, spelled out once.
  EXPECT_EQ(with_scanner(documents[1], whole).log,
            "<0:r a=x&y<>\"'\x01 b=1 2 3 4 5\x01 "
            "c=\n\r\t\x01>[t<>&\xE2\x82\xAC\xE2\x82\xAC\xF0\x9F\x98\x80\nx\ny<&>]]\n]>]]]</0:r>");
}

TEST(host_xml_scan, TokensLargerThanTheBufferAndLongTexts) {
  const std::string big(wb_xml_scanner::chunk_size + 1000, 'v');
  const std::string xml =
      "<a b=\"" + big + "\"><!--" + big + "--><t>" + big + "&amp;" + big + "</t><![CDATA[" + big + "]]></a>";
  const xml_events::outcome reference = with_expat(xml);
  ASSERT_TRUE(reference.ok);
  for (std::size_t piece : {whole, std::size_t{4096}}) EXPECT_EQ(with_scanner(xml, piece).log, reference.log);
}

TEST(host_xml_scan, FailsWhereExpatFails) {
  const std::vector<std::string> groups[] = {
      // Structure.
      {"", "   ", "<a>", "<a></b>", "<a><b></a></b>", "<a/><b/>", "<a/>text", "text<a/>", "<a><b/></a><", "<1a/>",
       "<a/ >"},
      // Attributes.
      {"<a b=\"1\" b=\"2\"/>", "<a b=\"1\"c=\"2\"/>", "<a b=1/>", "<a b=\"<\"/>", "<a \xFF=\"1\"/>"},
      // References, CDATA ends, comments, declarations out of place.
      {"<a>&unknown;</a>", "<a>&#0;</a>", "<a>&#xD800;</a>", "<a>&#x110000;</a>", "<a>& b</a>", "<a>]]></a>",
       "<a><!-- a -- b --></a>", "<a><!-- a ---></a>", "<a><?xml version=\"1.0\"?></a>", " <?xml version=\"1.0\"?><a/>",
       "<!DOCTYPE a><a/>", "<![CDATA[x]]><a/>"},
      // Characters: a control, cut or overlong UTF-8, a surrogate, a non-character.
      {"<a>\x01</a>", "<a>\xC3</a>", "<a>\xC0\x80</a>", "<a>\xED\xA0\x80</a>", "<a>\xEF\xBF\xBF</a>"},
  };
  for (const auto& bad : groups) {
    for (const std::string& xml : bad) {
      ASSERT_FALSE(with_expat(xml).ok) << xml;
      for (std::size_t piece : {whole, std::size_t{1}}) {
        const xml_events::outcome r = with_scanner(xml, piece);
        EXPECT_FALSE(r.ok) << piece << ": " << xml;
        EXPECT_FALSE(r.declined) << xml;
        EXPECT_EQ(r.error, 3274) << xml;
      }
    }
  }
}

TEST(host_xml_scan, OtherEncodingsAreDeclinedBeforeAnyEvent) {
  const std::string utf16le_bom("\xFF\xFE<\0a\0/\0>\0", 10);
  const std::string utf16be_plain("\0<\0a\0/\0>", 8);
  const std::string declined[] = {
      utf16le_bom,
      utf16be_plain,
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE4</a>",
      "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><a/>",
  };
  for (const std::string& xml : declined) {
    ASSERT_TRUE(with_expat(xml).ok) << xml;
    const xml_events::outcome r = with_scanner(xml, whole);
    EXPECT_TRUE(r.declined) << xml;
    EXPECT_EQ(r.log, "") << xml;
  }
}
