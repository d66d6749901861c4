// The hand-written XML scanner of the first pass, checked against expat
// (through wb_xml_parser) as the reference, over the documents of the
// differential fuzz target's corpus (tests/fuzz/corpus/xlsx_scan_diff_fuzz),
// by the start of their names: fail_ ones expat refuses, and so must the
// scanner, with 3274; declined_ ones are in another encoding, which the
// scanner declines before any event; every other .xml one gives expat's
// events, whether its bytes come whole or in small pieces.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "test_support.h"
#include "xml_event_log.h"

using xml_events::with_expat;
using xml_events::with_scanner;

namespace {

constexpr std::size_t whole = std::size_t{1} << 30;
const std::string corpus = testsupport::source_dir() + "/tests/fuzz/corpus/xlsx_scan_diff_fuzz/";

}  // namespace

TEST(host_xml_scan, CorpusDocumentsReadAsExpatReadsThem) {
  std::size_t documents = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    const std::string name = entry.path().filename().string();
    if (!name.ends_with(".xml")) continue;
    SCOPED_TRACE(name);
    ++documents;
    const std::string xml = testsupport::read_file(entry.path().string());
    const xml_events::outcome reference = with_expat(xml);
    if (name.starts_with("fail_")) {
      ASSERT_FALSE(reference.ok);
      for (std::size_t piece : {whole, std::size_t{1}}) {
        const xml_events::outcome r = with_scanner(xml, piece);
        EXPECT_EQ(std::tuple(r.ok, r.declined, r.error), std::tuple(false, false, 3274L)) << piece;
      }
      continue;
    }
    ASSERT_TRUE(reference.ok);
    if (name.starts_with("declined_")) {
      const xml_events::outcome r = with_scanner(xml, whole);
      EXPECT_EQ(std::pair(r.declined, r.log), std::pair(true, std::string()));
      continue;
    }
    for (std::size_t piece : {whole, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}}) {
      const xml_events::outcome r = with_scanner(xml, piece);
      EXPECT_EQ(std::tuple(r.ok, r.declined, r.log), std::tuple(true, false, reference.log)) << piece;
    }
  }
  EXPECT_GE(documents, 45u) << "the corpus is missing";
  // What expat makes of one document, spelled out once.
  EXPECT_EQ(with_scanner(testsupport::read_file(corpus + "references.xml"), whole).log,
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
