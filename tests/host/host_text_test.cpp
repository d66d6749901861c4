// The engine's conversion rules checked one by one: number and date texts,
// number format classes, table names, statements and connect strings.
#include "host_fixture.h"
#include "wb_connect_options.h"
#include "wb_database.h"
#include "wb_number_format.h"
#include "wb_ole_date.h"
#include "wb_text.h"
#include "wb_value_text.h"

using namespace host_test;

TEST(host_text, NumbersUseTheShortestRoundTripText) {
  const std::pair<double, std::string> rows[] = {
      {42, "42"},
      {-42, "-42"},
      {1.5, "1.5"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1e20, "1E+20"},
      {1e-7, "1E-07"},
      {1.25e-5, "1.25E-05"},
      {0.0001, "0.0001"},
      {10, "10"},
      {1e16, "10000000000000000"},
      {1e17, "1E+17"},
      {123456.789, "123456.789"},
      {-0.0, "0"},
      {1.7976931348623157e308, "1.7976931348623157E+308"},
      {5e-324, "5E-324"},
  };
  for (const auto& [value, expected] : rows) {
    char16_t buf[wb_value_text_capacity];
    EXPECT_EQ(utf8(std::u16string_view(buf, wb_format_number(value, buf))), expected);
  }
}

TEST(host_text, DatesShowDateTimeOrBoth) {
  const std::pair<double, std::string> rows[] = {
      {ole_date(2024, 2, 29), "2024-02-29"},
      {ole_date(2024, 2, 29, 13, 45, 30), "2024-02-29 13:45:30"},
      {0.5, "12:00:00"},
      {ole_date(1900, 1, 1), "1900-01-01"},
      {ole_date(1899, 12, 31), "1899-12-31"},
      // Rounded to the second, carrying into the next day.
      {ole_date(2024, 12, 31) + 0.9999999, "2025-01-01"},
      {ole_date(9999, 12, 31, 23, 59, 59), "9999-12-31 23:59:59"},
  };
  for (const auto& [ole, expected] : rows) {
    char16_t buf[wb_value_text_capacity];
    EXPECT_EQ(utf8(std::u16string_view(buf, wb_format_ole_date(ole, buf))), expected);
  }
}

TEST(host_text, SerialsOfBothDateSystemsMapToOleDates) {
  const struct {
    double serial;
    bool date1904;
    double ole;
  } rows[] = {
      {1, false, ole_date(1900, 1, 1)},
      {59, false, ole_date(1900, 2, 28)},
      {60, false, ole_date(1900, 2, 28)},
      {61, false, ole_date(1900, 3, 1)},
      {45351, false, ole_date(2024, 2, 29)},
      {0.75, false, 0.75},
      {0.75, true, 0.75},
      {0, true, 0},
      {1, true, ole_date(1904, 1, 2)},
      {43889, true, ole_date(2024, 2, 29)},
  };
  for (const auto& r : rows) {
    EXPECT_DOUBLE_EQ(wb_serial_to_ole(r.serial, r.date1904), r.ole) << r.serial << " " << r.date1904;
    if (r.serial != 60) {
      EXPECT_DOUBLE_EQ(wb_ole_to_serial(r.ole, r.date1904), r.serial) << r.serial;
    }
  }
  double ole = 0;
  EXPECT_TRUE(wb_parse_iso_date("2024-02-29T13:45:30.5", ole));
  EXPECT_NEAR(ole, ole_date(2024, 2, 29, 13, 45, 30) + 0.5 / 86400, 1e-9);
  EXPECT_TRUE(wb_parse_iso_date("07:30:00", ole));
  EXPECT_NEAR(ole, 7.5 / 24, 1e-12);
  for (const char* bad : {"", "2024-13-01", "24-02-29", "2024-02-29T", "abc"})
    EXPECT_FALSE(wb_parse_iso_date(bad, ole)) << bad;
}

TEST(host_text, NumberFormatCodesAreClassifiedByTheirTokens) {
  using c = wb_number_class;
  const std::pair<const char*, wb_number_class> rows[] = {
      {"General", c::general},
      {"0.00", c::general},
      {"0.00E+00", c::general},
      {"@", c::general},
      {"# ?/?", c::general},
      {"0%", c::percent},
      {"0.00%;[Red]-0.00%", c::percent},
      {"yyyy-mm-dd", c::date},
      {"d/m/yy", c::date},
      {"mmm yyyy", c::date},
      {"[$-409]mmmm d, yyyy;@", c::date},
      {"hh:mm:ss", c::time},
      {"h:mm AM/PM", c::time},
      {"mm:ss", c::time},
      {"[h]:mm", c::time},
      {"[mm]:ss", c::time},
      {"yyyy-mm-dd hh:mm", c::date_time},
      {"m/d/yy h:mm", c::date_time},
      {"$#,##0.00", c::currency},
      {"[$\xE2\x82\xAC-407] #,##0.00", c::currency},
      {"#,##0.00 [$USD]", c::currency},
      {"#,##0 \xC2\xA5", c::currency},
      {"\"$\"#,##0.00", c::currency},
      {"\\$0.00", c::currency},
      // Letters inside quotes, escapes and tags are text, not tokens.
      {"0 \"days\"", c::general},
      {"0 \"USD $\"", c::general},
      {"0\\d", c::general},
      {"[Red]0.00;[Blue]-0.00", c::general},
      {"[Color10]0", c::general},
      {"[$-409]0.00", c::general},
      {"_(* #,##0_);_(* (#,##0)", c::general},
      {"0.0_m", c::general},
  };
  for (const auto& [code, expected] : rows)
    EXPECT_EQ(static_cast<int>(wb_number_format::classify_code(code)), static_cast<int>(expected)) << code;

  const std::pair<std::uint32_t, wb_number_class> builtin[] = {
      {0, c::general}, {1, c::general},  {5, c::currency},  {8, c::currency}, {9, c::percent},    {10, c::percent},
      {14, c::date},   {17, c::date},    {18, c::time},     {21, c::time},    {22, c::date_time}, {45, c::time},
      {47, c::time},   {49, c::general}, {44, c::currency}, {37, c::general},
  };
  for (const auto& [id, expected] : builtin)
    EXPECT_EQ(static_cast<int>(wb_number_format::classify_builtin(id)), static_cast<int>(expected)) << id;
}

TEST(host_text, SheetNamesBecomeDriverTableNames) {
  const std::pair<std::u16string, std::string> rows[] = {
      {u"Sheet1", "Sheet1$"},
      {u"My Data", "'My Data$'"},
      {u"O'Brien", "'O''Brien$'"},
      {u"a_b", "a_b$"},
      {u"a.b", "'a.b$'"},
      {u"\u00DCbersicht",
       "\xC3\x9C"
       "bersicht$"},
      {u"\u5DE5\u4F5C", "\xE5\xB7\xA5\xE4\xBD\x9C$"},
      {u"x$", "'x$$'"},
  };
  for (const auto& [sheet, expected] : rows) EXPECT_EQ(utf8(wb_database::table_name_for_sheet(sheet)), expected);
}

TEST(host_text, ConnectStringsGiveTheHeaderOption) {
  const std::pair<std::u16string, int> rows[] = {
      // -1: refused
      {u"Excel 5.0; HDR=No; IMEX=1;", 0},
      {u"Excel 5.0; IMEX=1;", 1},
      {u"Excel 8.0;hdr=no", 0},
      {u"Excel 12.0 Xml; HDR = YES ;", 1},
      {u"Excel 5.0;HDR=False", 0},
      {u"Text;HDR=No", -1},
      {u"", -1},
      {u";Excel 5.0", -1},
  };
  for (const auto& [connect, expected] : rows) {
    wb_connect_options o;
    const bool ok = wb_connect_options::parse(connect, o);
    EXPECT_EQ(ok ? (o.header_row ? 1 : 0) : -1, expected) << utf8(connect);
  }
}

TEST(host_text, Utf8ConversionHandlesEscapesAndBrokenInput) {
  EXPECT_EQ(utf8(wb_to_utf16("\xF0\x9F\x98\x80")), "\xF0\x9F\x98\x80");
  EXPECT_EQ(wb_to_utf16("\xF0\x9F\x98\x80").size(), 2u);
  EXPECT_EQ(wb_to_utf16("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(wb_to_utf16("\xFF"
                        "b"),
            u"\uFFFD"
            "b");
  std::u16string s;
  wb_append_utf16(s, "_x0041__x005f_x0041_ _x12_ _xZZZZ_", true);
  EXPECT_EQ(s, u"A_x0041_ _x12_ _xZZZZ_");
  EXPECT_TRUE(wb_equal_ignore_case(u"Stra\u00DFe", u"STRASSE"));
  EXPECT_FALSE(wb_equal_ignore_case(u"Name", u"Names"));
}
