// The committed .xls fixtures (tests/data/xls, written by python3-xlwt with
// make_fixtures.py) end to end: the real gridload binary into the private
// server and into dump files loaded back; the expected values are those the
// script gave the writer.

#include <gtest/gtest.h>

#include <filesystem>

#include "workbook_support.h"

using wbtest::converting;
using wbtest::table_rows;
using wbtest::workbook_run;

namespace {

class XlsFixtures : public workbook_run {
 protected:
  // Copies the fixture into the test's folder; returns its name there.
  std::string fixture(const std::string& name) {
    std::filesystem::copy_file(testsupport::source_dir() + "/tests/data/xls/" + name, dir_.file(name),
                               std::filesystem::copy_options::overwrite_existing);
    return name;
  }
};

// make_fixtures.py's long_text: a linear congruential sequence picking
// characters of `alphabet` (UTF-8 characters).
std::string long_text(uint64_t seed, size_t length, const std::vector<std::string>& alphabet) {
  std::string out;
  for (uint64_t x = seed; length > 0; --length) {
    x = (x * 1103515245 + 12345) % 2147483648;
    out += alphabet[x % alphabet.size()];
  }
  return out;
}

std::vector<std::string> characters(const std::string& utf8) {
  std::vector<std::string> out;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    (byte >= 0x80 && byte < 0xC0) ? out.back() += c : out.emplace_back(1, c);
  }
  return out;
}

const std::vector<std::string> latin = characters("abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
const std::vector<std::string> wide = characters("abc \u00e9\u00fc\u0142\u4e2d\u6587\u0436\u03a9");

}  // namespace

// Each fixture's output and tables against tests/golden/xls, into the
// server and through a dump file alike.
TEST_F(XlsFixtures, EachFixtureGivesItsGoldenTables) {
  const struct {
    const char* file;
    std::vector<std::string> extra;
    const char* golden;
  } cases[] = {
      // Every cell record kind: RK and MULRK numbers, NUMBER, BOOLERR
      // booleans and errors (NULL), LABELSST, BLANK and MULBLANK, and a cell
      // far to the right that widens the used range to 201 columns. That many
      // text columns exceed the server's row size: the last 135 become long
      // text, just enough for the rest to fit.
      {"cell_kinds.xls", {}, "cell_kinds"},
      // Both date systems, built-in and custom date, date-and-time and time
      // formats in one column: times of day among calendar dates make the
      // column text, each value in the form of its format.
      {"dates_1900.xls", {}, "dates_1900"},
      {"dates_1904.xls", {}, "dates_1904"},
      // One column per number class: currency (an exact decimal until
      // refined), percent, plain decimals, times, dates.
      {"number_formats.xls", {}, "number_formats"},
      {"number_formats.xls", {"--no_refine"}, "number_formats_not_refined"},
      // A column of every meaning (text, each value as its format reads);
      // durations under the built-in [h]:mm:ss within the TIME range (a time
      // column) and past it (text); negative serials under date and time
      // formats (numbers).
      {"meanings.xls", {"--extr_fn"}, "meanings"},
      {"unicode_text.xls", {"--charset=utf8mb4"}, "unicode_text"},
      // Eight sheets, one hidden, several names that need quoting: all are
      // converted, in ascending order of their names.
      {"sheets.xls", {}, "sheets"},
      // Formulas stored without a cached result read as no value.
      {"formulas_uncached.xls", {}, "formulas_uncached"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    both_ways(fixture(c.file), c.extra, std::string("xls/") + c.golden + ".txt");
  }
}

// The shared-strings table split by CONTINUE records: 3,000 short unique
// strings and long one-byte and two-byte texts crossing several records.
TEST_F(XlsFixtures, SharedStringsAcrossContinueRecords) {
  const std::string file = fixture("sst_continue.xls");
  both_ways(file, {}, converting(file, {"Strings"}), [&] {
    EXPECT_EQ(columns("Strings"), (std::vector<std::string>{"f1 varchar(255)", "f2 longtext"}));
    table_rows got = rows("SELECT f1, f2 FROM Strings");
    ASSERT_EQ(got.size(), 3000u);
    std::vector<std::string> want(3000), short_texts;
    for (size_t i = 0; i < 3000; ++i) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "str-%05zu", i);
      for (size_t k = 0; k < i % 7 + 1; ++k) want[i] += buf;
      short_texts.push_back(got[i][0]);
    }
    EXPECT_TRUE(short_texts == want) << "a short text differs";
    EXPECT_EQ(got[0][1], long_text(1, 20000, latin));
    EXPECT_EQ(got[1][1], long_text(2, 12000, wide));
    EXPECT_EQ(got[2][1], long_text(3, 9000, latin));
    EXPECT_EQ(got[3][1], long_text(4, 5000, wide));
    EXPECT_EQ(got[4][1], "<NULL>");
  });
}
