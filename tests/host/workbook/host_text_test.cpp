// The rules with more cases than workbooks could carry: texts of numbers and
// dates, number format classes, ISO dates, and texts converted piece by
// piece. (The number shortcut is held to std::from_chars by the differential
// fuzz target, tests/fuzz/xlsx_scan_diff_fuzz.cpp, over its corpus.)
// Everything else is checked through the engine.
#include <cstdint>
#include <vector>

#include "host_fixture.h"
#include "wb_number_format.h"
#include "wb_ole_date.h"
#include "wb_text.h"
#include "wb_value_text.h"

using namespace host_test;

namespace {

using c = wb_number_class;
const char* const class_names[] = {"general", "percent", "currency", "date", "time", "date_time", "duration"};

template <class F>
std::string text(F format) {
  char16_t buf[wb_value_text_capacity];
  return utf8(std::u16string_view(buf, format(buf)));
}

}  // namespace

// The texts of numbers, dates and number cells, against
// tests/golden/host/texts.txt, one "input: text" a line.
TEST(host_text, TextsOfNumbersDatesAndNumberCellsGiveTheirGolden) {
  std::string out = "== numbers in the shortest text that reads back\n";
  for (const double v : {42.0, -0.25, -0.0, 0.0001, 1e-7, 1.25e-5, 1e16, 1e17, 1e20, 123456789012.0, 5e-324, 3.25e-100,
                         0.1 + 0.2, 1.7976931348623157e308})
    out += shortest(v) + ": " + text([v](char16_t* b) { return wb_format_number(v, b); }) + "\n";
  // OLE dates as the calendar shows them, to the second (the last but two
  // rounds up to the next day); dates before 1900-03-01 count the
  // fictitious leap day.
  out += "== OLE dates\n";
  for (const double v :
       {2.0, 60.5, ole_date(2024, 2, 29), ole_date(2024, 2, 29, 13, 45, 30), ole_date(2024, 12, 31) + 0.9999999,
        ole_date(9999, 12, 31, 23, 59, 59), 0.5, ole_date(1899, 12, 30, 7, 5, 9)})
    out += shortest(v) + ": " + text([v](char16_t* b) { return wb_format_ole_date(v, b); }) + "\n";
  // A number cell as text, by the class its format gives it: the form of
  // each meaning (a time of day kept on a date); a serial that is no
  // calendar day under a date or time format (negative in the 1900 system,
  // or under 1 there under a calendar format; past 9999-12-31) is a plain
  // number, and under 1 in the 1904 system a moment of 1904-01-01; durations count hours past a day,
  // both ways, with no fictitious leap day; currency rounds half away from
  // zero.
  out += "== number cells: value, class, date system\n";
  const struct {
    wb_number_class number_class;
    bool date1904;
    std::vector<double> values;
  } cells[] = {
      {c::date, false, {45000, 45000.75, -1.25, 2958466, 0.25}},
      {c::time, false, {0.75, -0.5}},
      {c::date_time, false, {45000, -1.25, 2958465.5, 0, 0.25}},
      {c::date, true, {0}},
      {c::date_time, true, {0.5, -1.25}},
      {c::duration, false, {1.5, 59, 60, -1.0 / 48, 0}},
      {c::currency, false, {1234.5, -0.00005, 922337203685477.0}},
      {c::general, false, {12.5}},
      {c::percent, false, {0.125}},
  };
  for (const auto& cell : cells)
    for (const double value : cell.values) {
      const wb_number_class effective = wb_number_format::effective_class(cell.number_class, value, cell.date1904);
      out += shortest(value) + " " + class_names[static_cast<int>(cell.number_class)] +
             (cell.date1904 ? " 1904: " : " 1900: ") +
             text([&](char16_t* b) { return wb_format_number_cell(value, effective, cell.date1904, b); }) + "\n";
    }
  testsupport::expect_golden("host/texts.txt", out);

  // Durations within the server's TIME range, to the second.
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
  EXPECT_TRUE(wb_parse_iso_date("2000-02-29T24:00:00", ole));
  EXPECT_NEAR(ole, ole_date(2000, 3, 1), 1e-12);
  // A blank for the 'T'; a zone designator is read past (cells hold local
  // times). Anything after the date or time is no date: it used to be
  // dropped (a time after a blank with it).
  for (const char* same :
       {"2024-02-29 13:45:30", "2024-02-29T13:45:30Z", "2024-02-29T13:45:30+02:00", "2024-02-29T13:45:30-0530"}) {
    EXPECT_TRUE(wb_parse_iso_date(same, ole)) << same;
    EXPECT_NEAR(ole, ole_date(2024, 2, 29, 13, 45, 30), 1e-9) << same;
  }
  for (const char* bad : {"", "2024-13-01", "24-02-29", "2024-02-29T", "abc", "2024-02-29x", "2024-02-29T13:45:30 x",
                          "13:45:30abc", "2024-02-29T13:45:30+2", "2024-04-31", "2023-02-29", "1900-02-29",
                          "2024-12-31T13:45:60", "2024-12-31T24:00:01"})
    EXPECT_FALSE(wb_parse_iso_date(bad, ole)) << bad;
  // The days a serial of the date system reads back as.
  const struct {
    double ole;
    bool in_1900, in_1904;
  } serials[] = {{ole_date(1900, 3, 1), true, true},        {ole_date(1900, 1, 1), true, true},
                 {ole_date(1899, 12, 31, 12), false, true}, {0.5, false, false},
                 {ole_date(1800, 6, 15), false, false},     {ole_date(1904, 1, 1, 6), true, false}};
  for (const auto& s : serials) {
    EXPECT_EQ(wb_has_serial(s.ole, false), s.in_1900) << s.ole;
    EXPECT_EQ(wb_has_serial(s.ole, true), s.in_1904) << s.ole;
  }
}

TEST(host_text, NumberFormatCodesAreClassifiedByTheirTokens) {
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
