// The rules with more cases than workbooks could carry: texts of numbers and
// dates, number format classes, ISO dates, and texts converted piece by
// piece. (The number shortcut is held to std::from_chars by the differential
// fuzz target, tests/fuzz/xlsx_scan_diff_fuzz.cpp, over its corpus.)
// Everything else is checked through the engine.
#include <cstdint>

#include "host_fixture.h"
#include "wb_number_format.h"
#include "wb_ole_date.h"
#include "wb_text.h"
#include "wb_value_text.h"

using namespace host_test;

// Numbers in the shortest text that reads back; OLE dates as the calendar
// shows them, to the second. Columns of mixed kinds carry these texts.
TEST(host_text, NumbersAndDatesInTheirTextForm) {
  const std::pair<double, const char*> numbers[] = {{42, "42"},
                                                    {-0.25, "-0.25"},
                                                    {-0.0, "0"},
                                                    {0.0001, "0.0001"},
                                                    {1e-7, "1E-07"},
                                                    {1.25e-5, "1.25E-05"},
                                                    {1e16, "10000000000000000"},
                                                    {1e17, "1E+17"},
                                                    {1e20, "1E+20"},
                                                    {123456789012, "123456789012"},
                                                    {5e-324, "5E-324"},
                                                    {3.25e-100, "3.25E-100"},
                                                    {0.1 + 0.2, "0.30000000000000004"},
                                                    {1.7976931348623157e308, "1.7976931348623157E+308"}};
  char16_t buf[wb_value_text_capacity];
  for (const auto& [value, expected] : numbers)
    EXPECT_EQ(utf8(std::u16string_view(buf, wb_format_number(value, buf))), expected);
  const std::pair<double, const char*> dates[] = {
      {2, "1900-01-01"},
      {60.5, "1900-02-28 12:00:00"},
      {ole_date(2024, 2, 29), "2024-02-29"},
      {ole_date(2024, 2, 29, 13, 45, 30), "2024-02-29 13:45:30"},
      {ole_date(2024, 12, 31) + 0.9999999, "2025-01-01"},  // rounded to the second
      {ole_date(9999, 12, 31, 23, 59, 59), "9999-12-31 23:59:59"},
      {0.5, "12:00:00"},
      {ole_date(1899, 12, 30, 7, 5, 9), "07:05:09"}};
  for (const auto& [ole, expected] : dates)
    EXPECT_EQ(utf8(std::u16string_view(buf, wb_format_ole_date(ole, buf))), expected);
}

// A number cell as text, by the class its format gives it: the form of
// each meaning; a serial that is no calendar day under a date or time
// format is a plain number; durations count hours past a day, both ways.
TEST(host_text, NumberCellsInTheFormOfTheirClass) {
  using c = wb_number_class;
  const struct {
    double value;
    wb_number_class number_class;
    bool date1904;
    const char* expected;
  } rows[] = {
      {45000, c::date, false, "2023-03-15"},
      {45000.75, c::date, false, "2023-03-15 18:00:00"},  // a time of day is kept
      {0.75, c::time, false, "18:00:00"},
      {45000, c::date_time, false, "2023-03-15 00:00:00"},
      {0, c::date, true, "1904-01-01"},
      {0.5, c::date_time, true, "12:00:00"},
      {-1.25, c::date_time, false, "-1.25"},  // #### in the workbook: a number
      {-1.25, c::date, false, "-1.25"},
      {-0.5, c::time, false, "-0.5"},
      {-1.25, c::date_time, true, "1903-12-30 18:00:00"},  // still a day of the calendar
      {2958466, c::date, false, "2958466"},                // past 9999-12-31
      {2958465.5, c::date_time, false, "9999-12-31 12:00:00"},
      {1.5, c::duration, false, "36:00:00"},
      {59, c::duration, false, "1416:00:00"},
      {60, c::duration, false, "1440:00:00"},  // no fictitious leap day
      {-1.0 / 48, c::duration, false, "-0:30:00"},
      {0, c::duration, false, "0:00:00"},
      {1234.5, c::currency, false, "1234.5000"},
      {-0.00005, c::currency, false, "-0.0001"},  // half away from zero
      {922337203685477.0, c::currency, false, "922337203685477"},
      {12.5, c::general, false, "12.5"},
      {0.125, c::percent, false, "0.125"},
  };
  char16_t buf[wb_value_text_capacity];
  for (const auto& r : rows) {
    const wb_number_class effective = wb_number_format::effective_class(r.number_class, r.value, r.date1904);
    EXPECT_EQ(utf8(std::u16string_view(buf, wb_format_number_cell(r.value, effective, r.date1904, buf))), r.expected)
        << r.value;
  }
  const double limit = (838 * 3600 + 59 * 60 + 59) / 86400.0;
  for (const double inside : {limit, -limit, 0.0}) EXPECT_TRUE(wb_duration_fits_time(inside)) << inside;
  for (const double outside : {limit + 1 / 86400.0, -limit - 1 / 86400.0}) EXPECT_FALSE(wb_duration_fits_time(outside));
}

TEST(host_text, IsoDatesOfInlineCells) {
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
  const std::pair<wb_number_class, std::vector<std::string_view>> rows[] = {
      {c::general, {"General", "0.00", "0.00E+00", "@", "# ?/?"}},
      {c::percent, {"0%", "0.00%;[Red]-0.00%"}},
      {c::date, {"yyyy-mm-dd", "d/m/yy", "mmm yyyy", "[$-409]mmmm d, yyyy;@"}},
      {c::time, {"hh:mm:ss", "h:mm AM/PM", "mm:ss"}},
      // Elapsed time counts past a day: a duration, unless a date shows too.
      {c::duration, {"[h]:mm", "[h]:mm:ss", "[mm]:ss", "[s]", "[Red][h]:mm"}},
      {c::date_time, {"yyyy-mm-dd hh:mm", "m/d/yy h:mm", "d [h]:mm"}},
      {c::date, {"m\"\xE6\x9C\x88\"d\"\xE6\x97\xA5\""}},  // m"月"d"日"
      {c::currency,
       {"$#,##0.00", "[$\u20ac-407] #,##0.00", "#,##0.00 [$USD]", "#,##0 \u00a5", "\"$\"#,##0.00", "\\$0.00"}},
      // Letters inside quotes, escapes and tags are text, not tokens.
      {c::general,
       {"0 \"days\"", "0 \"USD $\"", "0\\d", "[Red]0.00;[Blue]-0.00", "[Color10]0", "[$-409]0.00",
        "_(* #,##0_);_(* (#,##0)", "0.0_m"}},
  };
  for (const auto& [expected, codes] : rows)
    for (const std::string_view code : codes)
      EXPECT_EQ(static_cast<int>(wb_number_format::classify_code(code)), static_cast<int>(expected)) << code;

  const std::pair<std::uint32_t, wb_number_class> builtin[] = {
      {0, c::general}, {1, c::general},  {5, c::currency},  {8, c::currency}, {9, c::percent},    {10, c::percent},
      {14, c::date},   {17, c::date},    {18, c::time},     {21, c::time},    {22, c::date_time}, {45, c::time},
      {47, c::time},   {49, c::general}, {44, c::currency}, {37, c::general}, {46, c::duration},
  };
  for (const auto& [id, expected] : builtin)
    EXPECT_EQ(static_cast<int>(wb_number_format::classify_builtin(id)), static_cast<int>(expected)) << id;
}

// Long texts are converted piece by piece as they arrive: cut anywhere
// (inside a UTF-8 sequence, inside an escape or next to one), the pieces
// give the units of the whole text converted at once, malformed bytes and
// escapes that never complete included.
TEST(host_text, TextConvertedPieceByPieceIsTheWholeText) {
  const std::string texts[] = {
      "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E end",
      "_x0041__x005F_x0042_ _x00e9_ _x12_ _xZZZZ_ __x0043_ _",
      "bad \xC3 \xE2\x82 \xF0\x9D\x84 \xFF \x80 tail \xE2\x82",
      "_x004",
  };
  for (const std::string& text : texts) {
    for (const bool escapes : {false, true}) {
      std::u16string whole(text.size(), u'\0');
      whole.resize(wb_utf8_to_utf16(text, whole.data(), escapes));
      for (const std::size_t size : std::initializer_list<std::size_t>{1, 2, 3, 5, 7, 64}) {
        SCOPED_TRACE(testing::Message() << "pieces of " << size << (escapes ? ", escapes" : "") << ": " << text);
        std::u16string got;
        std::string rest;
        std::u16string buffer;
        for (std::size_t pos = 0; pos < text.size(); pos += size) {
          rest += text.substr(pos, size);
          buffer.resize(rest.size());
          std::size_t consumed = 0;
          got.append(buffer.data(), wb_utf8_to_utf16_partial(rest, buffer.data(), escapes, consumed));
          rest.erase(0, consumed);
          EXPECT_LE(rest.size(), 6u);
        }
        buffer.resize(rest.size());
        got.append(buffer.data(), wb_utf8_to_utf16(rest, buffer.data(), escapes));
        EXPECT_EQ(utf8(got), utf8(whole));
        EXPECT_TRUE(got == whole);
      }
    }
  }
}
