// The hand-written XML scanner of the first pass, checked against expat
// (through wb_xml_parser) as the reference: the same events for well-formed
// documents, whether the bytes come whole or in small pieces; a failure
// where expat fails; other encodings declined.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "wb_byte_reader.h"
#include "wb_xml_parser.h"
#include "wb_xml_scanner.h"

namespace {

// Hands out at most `piece` bytes per read, so that tokens straddle reads.
class piecewise_reader final : public wb_byte_reader {
 public:
  piecewise_reader(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  long read(void* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, piece_, bytes_.size() - pos_});
    if (n != 0) std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<long>(n);
  }
  bool rewind() override {
    pos_ = 0;
    return true;
  }
  long error() const override { return 0; }

 private:
  std::string_view bytes_;
  std::size_t piece_;
  std::size_t pos_ = 0;
};

// The events as text: <ns:local a=v|...> </ns:local> [text], where ns is
// the wb_xml_ns number and adjacent text pieces are joined.
class recorder final : public wb_xml_handler {
 public:
  std::string log;
  void on_start(wb_xml_ns ns, std::string_view local, const char** attributes) override {
    flush();
    log += "<" + std::to_string(static_cast<int>(ns)) + ":" + std::string(local);
    for (const char** a = attributes; *a != nullptr; a += 2) log += std::string(" ") + a[0] + "=" + a[1] + "|";
    log += ">";
  }
  void on_end(wb_xml_ns ns, std::string_view local) override {
    flush();
    log += "</" + std::to_string(static_cast<int>(ns)) + ":" + std::string(local) + ">";
  }
  void on_text(std::string_view text) override { text_ += text; }
  void flush() {
    if (!text_.empty()) log += "[" + text_ + "]";
    text_.clear();
  }

 private:
  std::string text_;
};

struct result {
  bool ok = false;
  bool declined = false;
  long error = 0;
  std::string log;
};

result expat(std::string_view xml) {
  wb_memory_reader reader(xml);
  recorder r;
  wb_xml_parser parser(reader, r);
  result out;
  out.ok = parser.parse_all();
  out.error = parser.error();
  r.flush();
  out.log = r.log;
  return out;
}

result scanner(std::string_view xml, std::size_t piece = std::size_t{1} << 30) {
  piecewise_reader reader(xml, piece);
  recorder r;
  wb_xml_scanner s(reader, r);
  result out;
  out.ok = s.parse_all();
  out.declined = s.declined();
  out.error = s.error();
  r.flush();
  out.log = r.log;
  return out;
}

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
    const result reference = expat(xml);
    ASSERT_TRUE(reference.ok) << xml;
    for (std::size_t piece : {std::size_t{1} << 30, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}}) {
      const result r = scanner(xml, piece);
      EXPECT_TRUE(r.ok && !r.declined) << piece << ": " << xml;
      EXPECT_EQ(r.log, reference.log) << piece;
    }
  }
  // What expat makes of the second document, spelled out once.
  EXPECT_EQ(
      scanner(documents[1]).log,
      "<0:r a=x&y<>\"'| b=1 2 3 4 5| c=\n\r\t|>[t<>&\xE2\x82\xAC\xE2\x82\xAC\xF0\x9F\x98\x80\nx\ny<&>]]\n]>]]]</0:r>");
}

TEST(host_xml_scan, TokensLargerThanTheBufferAndLongTexts) {
  const std::string big(wb_xml_scanner::chunk_size + 1000, 'v');
  const std::string xml =
      "<a b=\"" + big + "\"><!--" + big + "--><t>" + big + "&amp;" + big + "</t><![CDATA[" + big + "]]></a>";
  const result reference = expat(xml);
  ASSERT_TRUE(reference.ok);
  for (std::size_t piece : {std::size_t{1} << 30, std::size_t{4096}}) EXPECT_EQ(scanner(xml, piece).log, reference.log);
}

TEST(host_xml_scan, FailsWhereExpatFails) {
  const std::string bad[] = {
      "",
      "   ",
      "<a>",
      "<a></b>",
      "<a><b></a></b>",
      "<a/><b/>",
      "<a/>text",
      "text<a/>",
      "<a b=\"1\" b=\"2\"/>",
      "<a b=\"1\"c=\"2\"/>",
      "<a b=1/>",
      "<a b=\"<\"/>",
      "<a>&unknown;</a>",
      "<a>&#0;</a>",
      "<a>&#xD800;</a>",
      "<a>&#x110000;</a>",
      "<a>& b</a>",
      "<a>]]></a>",
      "<a><!-- a -- b --></a>",
      "<a><!-- a ---></a>",
      "<a><?xml version=\"1.0\"?></a>",
      " <?xml version=\"1.0\"?><a/>",
      "<!DOCTYPE a><a/>",
      "<![CDATA[x]]><a/>",
      "<a>\x01</a>",
      "<a>\xC3</a>",
      "<a>\xC0\x80</a>",
      "<a>\xED\xA0\x80</a>",
      "<a>\xEF\xBF\xBF</a>",
      "<a \xFF=\"1\"/>",
      "<1a/>",
      "<a/ >",
      "<a><b/></a><",
  };
  for (const std::string& xml : bad) {
    ASSERT_FALSE(expat(xml).ok) << xml;
    for (std::size_t piece : {std::size_t{1} << 30, std::size_t{1}}) {
      const result r = scanner(xml, piece);
      EXPECT_FALSE(r.ok) << piece << ": " << xml;
      EXPECT_FALSE(r.declined) << xml;
      EXPECT_EQ(r.error, 3274) << xml;
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
    ASSERT_TRUE(expat(xml).ok) << xml;
    const result r = scanner(xml);
    EXPECT_TRUE(r.declined) << xml;
    EXPECT_EQ(r.log, "") << xml;
  }
}
