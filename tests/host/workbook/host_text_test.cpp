// The rules with more cases than workbooks could carry: number format
// classes and ISO dates. Everything else is checked through the engine.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "host_fixture.h"
#include "wb_number_format.h"
#include "wb_ole_date.h"
#include "wb_value_text.h"

using namespace host_test;

TEST(host_text, NumbersNeedingSeventeenDigits) {
  // libxlsxwriter keeps 16 digits: these cannot come from its workbooks.
  for (const auto& [value, expected] :
       {std::pair{0.1 + 0.2, "0.30000000000000004"}, std::pair{1.7976931348623157e308, "1.7976931348623157E+308"}}) {
    char16_t buf[wb_value_text_capacity];
    EXPECT_EQ(utf8(std::u16string_view(buf, wb_format_number(value, buf))), expected);
  }
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

// Number cells read through a shortcut for plain decimals; what it accepts
// and the doubles it yields must be std::from_chars's, with the shortcut's
// limits (2^53, 22 decimals, 19 digits) on both sides.
TEST(host_text, NumberTextsReadAsFromCharsReadsThem) {
  const char* texts[] = {"0",
                         "-0",
                         "42",
                         "0.37",
                         "1.25",
                         "-1.5",
                         "0.1",
                         "0.3333333333333333",
                         "0.33333333333333331",
                         "9007199254740992",
                         "9007199254740993",
                         "900719925474099.3",
                         "1234567890123456789",
                         "12345678901234567890",
                         "0.0000000000000000000001",
                         "0.00000000000000000000001",
                         "1.0000000000000000000000",
                         "00000000000000000000000001",
                         "3.3333333333333333E-2",
                         "1e308",
                         "1e309",
                         "1e-400",
                         "1.",
                         ".5",
                         "-",
                         "",
                         "+1",
                         "1 ",
                         "1e",
                         "0x10",
                         "inf",
                         "nan",
                         "1,5"};
  for (const char* text : texts) {
    const std::string_view s(text);
    double expected = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), expected);
    const bool valid = ec == std::errc() && end == s.data() + s.size() && std::isfinite(expected);
    double value = 0;
    ASSERT_EQ(wb_parse_number(s, value), valid) << text;
    if (valid) EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(expected)) << text;
  }
}
