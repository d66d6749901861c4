// The committed .xls fixtures (tests/data/xls, written by python3-xlwt with
// make_fixtures.py) end to end: the real gridload binary into the private
// server and into dump files loaded back; the expected values are those the
// script gave the writer.

#include <gtest/gtest.h>

#include <filesystem>

#include "workbook_support.h"

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
      // The shared-strings table split by CONTINUE records: 3,000 short
      // unique strings and long one-byte and two-byte texts crossing several
      // records.
      {"sst_continue.xls", {}, "sst_continue"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    both_ways(fixture(c.file), c.extra, std::string("xls/") + c.golden + ".txt");
  }
}
