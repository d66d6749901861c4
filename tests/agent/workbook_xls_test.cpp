// The committed .xls fixtures (tests/data/xls, written by python3-xlwt with
// make_fixtures.py) end to end: the real gridload binary into the private
// server and into dump files loaded back; the expected values are those the
// script gave the writer.

#include <gtest/gtest.h>

#include <filesystem>

#include "workbook_support.h"

using testsupport::run_result;
using wbtest::converting;
using wbtest::table_rows;
using wbtest::workbook_run;

namespace {

class XlsFixtures : public workbook_run {
 protected:
  // Copies the fixture into the test's folder; returns its name there.
  std::string fixture(const std::string& name) {
    std::filesystem::copy_file(testsupport::source_dir() + "/tests/data/xls/" + name, dir_.file(name));
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
  for (unsigned char c : utf8) (c >= 0x80 && c < 0xC0) ? out.back() += static_cast<char>(c) : out.emplace_back(1, c);
  return out;
}

const std::vector<std::string> latin = characters("abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
const std::vector<std::string> wide = characters("abc \u00e9\u00fc\u0142\u4e2d\u6587\u0436\u03a9");

}  // namespace

// Every cell record kind: RK and MULRK numbers, NUMBER, BOOLERR booleans
// and errors (NULL), LABELSST, BLANK and MULBLANK, and a cell far to the
// right that widens the used range to 201 columns. That many text columns
// exceed the server's row size: the last 135 become long text, just enough
// for the rest to fit.
TEST_F(XlsFixtures, CellKinds) {
  const std::string file = fixture("cell_kinds.xls");
  std::vector<std::string> want_columns = {"f1 varchar(255)", "f2 varchar(255)", "f3 varchar(255)", "f4 double",
                                           "f5 double",       "f6 double",       "f7 double"};
  for (int c = 8; c <= 201; ++c) {
    std::string column = "f";
    column += std::to_string(c);
    column += c < 67 ? " varchar(255)" : " longtext";
    want_columns.push_back(column);
  }
  both_ways(file, {}, converting(file, {"Kinds"}), [&] {
    EXPECT_EQ(columns("Kinds"), want_columns);
    EXPECT_EQ(rows("SELECT f1, f2, f3, f4, f5, f6, f7, f8, f200, f201 FROM Kinds"),
              (table_rows{
                  {"0", "42", "-7", "536870911", "-536870912", "1.25", "-0.5", "<NULL>", "<NULL>", "<NULL>"},
                  {"3.141592653589793", "1E+300", "-2.5E-300", "123456789012.75", "0.1", "<NULL>", "<NULL>", "<NULL>",
                   "<NULL>", "<NULL>"},
                  {"TRUE", "FALSE", "text", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>"},
                  {"<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>"},
                  {"<NULL>", "<NULL>", "<NULL>", "7", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>"},
                  {"<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "<NULL>", "far"},
              }));
  });
}

// Both date systems, built-in and custom date, date-and-time and time
// formats in one column. Dates and times mixed in one column end as
// CHAR(19) text; a time of day there keeps the zero date.
TEST_F(XlsFixtures, DatesInBothDateSystems) {
  const struct {
    const char* file;
    std::vector<std::string> first;
  } cases[] = {
      {"dates_1900.xls", {"1900-01-01", "1900-02-28", "1900-03-01"}},
      {"dates_1904.xls", {"1904-01-01", "1904-02-29", "1904-03-01"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string file = fixture(c.file);
    std::vector<std::string> want;
    for (const std::string& d : c.first) want.push_back(d + " 00:00:00");
    for (const char* v : {"2024-02-29 00:00:00", "9999-12-31 00:00:00", "2024-07-15 13:45:30", "1999-12-31 23:59:59",
                          "0000-00-00 12:00:00", "0000-00-00 06:30:00"})
      want.push_back(v);
    both_ways(file, {}, converting(file, {"Dates"}), [&] {
      EXPECT_EQ(columns("Dates"), std::vector<std::string>{"f1 char(19)"});
      EXPECT_EQ(column("Dates", "f1"), want);
    });
  }
}

// One column per number class: currency (an exact decimal until refined),
// percent, plain decimals, times, dates.
TEST_F(XlsFixtures, NumberFormats) {
  const std::string file = fixture("number_formats.xls");
  const struct {
    std::vector<std::string> extra;
    std::vector<std::string> types;
    table_rows values;
  } cases[] = {
      {{},
       {"f1 double", "f2 double", "f3 double", "f4 time", "f5 date"},
       {{"1234.5", "0.125", "2.5", "12:00:00", "2024-02-29"},
        {"-0.75", "0.5", "3", "06:30:00", "1999-12-31"},
        {"99.99", "<NULL>", "<NULL>", "<NULL>", "<NULL>"}}},
      {{"--no_refine"},
       {"f1 decimal(19,4)", "f2 double", "f3 double", "f4 time", "f5 date"},
       {{"1234.5000", "0.125", "2.5", "12:00:00", "2024-02-29"},
        {"-0.7500", "0.5", "3", "06:30:00", "1999-12-31"},
        {"99.9900", "<NULL>", "<NULL>", "<NULL>", "<NULL>"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extra.empty() ? "refined" : "not refined");
    both_ways(file, c.extra, converting(file, {"Formats"}), [&] {
      EXPECT_EQ(columns("Formats"), c.types);
      EXPECT_EQ(rows("SELECT * FROM Formats"), c.values);
    });
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
    for (int i = 0; i < 3000; ++i) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "str-%05d", i);
      for (int k = 0; k < i % 7 + 1; ++k) want[i] += buf;
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

TEST_F(XlsFixtures, UnicodeText) {
  const std::string file = fixture("unicode_text.xls");
  both_ways(file, {"--charset=utf8mb4"}, converting(file, {"Unicode"}), [&] {
    EXPECT_EQ(column("Unicode", "f1"),
              (std::vector<std::string>{"caf\u00e9", "\u4e2d\u6587\u6587\u672c",
                                        "\u0417\u0434\u0440\u0430\u0432\u0441\u0442\u0432\u0443\u0439",
                                        "\u05e9\u05dc\u05d5\u05dd", "emoji \U0001F600 pair", "line one\nline two",
                                        "tab\there", "  spaced  ", "\u00ff\u0100"}));
  });
}

// Eight sheets, one hidden, several names that need quoting: all are
// converted, in ascending order of their names.
TEST_F(XlsFixtures, SheetsHiddenAndQuoted) {
  const std::string file = fixture("sheets.xls");
  both_ways(file, {},
            converting(file, {"Hidden", "My Data", "O''Brien", "Sales-2024", "Z", "a", "b", "\u00dcbersicht"}), [&] {
              EXPECT_EQ(tables(), (std::vector<std::string>{"Hidden", "My Data", "Sales-2024", "Z", "a", "b",
                                                            "o__brien", "\u00dcbersicht"}));
              EXPECT_EQ(column("o__brien", "f1"), std::vector<std::string>{"O'Brien"});
              EXPECT_EQ(column("Hidden", "f1"), std::vector<std::string>{"Hidden"});
              EXPECT_EQ(column("\u00dcbersicht", "f1"), std::vector<std::string>{"\u00dcbersicht"});
            });
}

// Formulas stored without a cached result read as no value.
TEST_F(XlsFixtures, FormulasWithoutCachedResults) {
  const std::string file = fixture("formulas_uncached.xls");
  both_ways(file, {}, converting(file, {"Formulas"}), [&] {
    EXPECT_EQ(rows("SELECT * FROM Formulas"), (table_rows{{"2", "<NULL>", "<NULL>", "after"}}));
  });
}
