#include "ole_decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ole_number_text.h"
#include "test_support.h"

namespace {

// Each text as read (tests/golden/ole/decimal_parse.txt): the status, then
// for a number its printed form and scale. Past 28 decimals the digits round
// half to even; 29 digits are the most a decimal holds.
TEST(ole_decimal_parse, TextAndPrintedForm) {
  const char* const texts[] = {"0",
                               " -12.50 ",
                               "+.5",
                               "5.",
                               "-0",
                               "1.5e3",
                               "1.5E-3",
                               "0.00000000000000000000000000006",
                               "0.000000000000000000000000000050",
                               "0.000000000000000000000000000150",
                               "79228162514264337593543950335",
                               "7922816251426433759354395033.56",
                               "79228162514264337593543950336",
                               "1e29",
                               "1e-400",
                               "",
                               ".",
                               "1.2.3",
                               "1e",
                               "1,5",
                               "0x10"};
  const char* const statuses[] = {"ok", "bad text", "overflow"};
  std::string text;
  for (const char* t : texts) {
    ole_decimal d;
    const ole_decimal::status st = d.parse(t);
    text.append("\"").append(t).append("\" ").append(statuses[static_cast<int>(st)]);
    if (st == ole_decimal::status::ok)
      text.append(" ").append(d.to_string()).append(" scale ") += std::to_string(d.scale());
    text += '\n';
  }
  testsupport::expect_golden("ole/decimal_parse.txt", text);
}

// What a mapping to DECIMAL starts from: a workbook's currency, number or
// boolean (an integer).
TEST(ole_decimal_convert, FromCurrencyDoublesAndIntegers) {
  auto dec = [](const char* t) {
    ole_decimal d;
    EXPECT_EQ(d.parse(t), ole_decimal::status::ok) << t;
    return d;
  };
  EXPECT_EQ(ole_decimal::from_currency(-5).to_string(), "-0.0005");

  ole_decimal d;
  auto from = [&d](ole_decimal::status st) { return std::pair(st, d.to_string()); };
  EXPECT_EQ(from(ole_decimal::from_double(0.1, d)), std::pair(ole_decimal::status::ok, std::string("0.1")));
  EXPECT_EQ(from(ole_decimal::from_double(1.0 / 3, d)),
            std::pair(ole_decimal::status::ok, std::string("0.333333333333333")));
  EXPECT_EQ(ole_decimal::from_double(1e30, d), ole_decimal::status::overflow);
  EXPECT_EQ(ole_decimal::from_double(INFINITY, d), ole_decimal::status::overflow);
  EXPECT_EQ(ole_decimal::from_double(NAN, d), ole_decimal::status::bad_text);
  EXPECT_EQ(ole_decimal::from_int64(std::numeric_limits<int64_t>::min()).to_string(), "-9223372036854775808");
  EXPECT_TRUE(dec("1.5") == dec("1.500"));
  EXPECT_TRUE(dec("0") == dec("-0.00"));
  EXPECT_FALSE(dec("1.5") == dec("-1.5"));
}

TEST(ole_number_text_print, AutomationForms) {
  const struct {
    double value;
    const char* r8;
  } rows[] = {
      {1e20, "1E+20"},
      {1.5e-7, "1.5E-07"},
      {0.1, "0.1"},
      {100, "100"},
      {123456789012345.0, "123456789012345"},
      {1234567890123456.0, "1.23456789012346E+15"},
      {0.0001, "0.0001"},
      {0.00001, "1E-05"},
      {-0.0, "0"},
      {1.0 / 3, "0.333333333333333"},
      {-2.5, "-2.5"},
  };
  for (const auto& r : rows) {
    std::string out;
    ole_number_text::append_r8(out, r.value);
    EXPECT_EQ(out, r.r8);
  }
  std::string out;
  ole_number_text::append_currency(out, std::numeric_limits<int64_t>::min());
  EXPECT_EQ(out, "-922337203685477.5808");
}

TEST(ole_number_text_parse, StrictReaderForm) {
  const struct {
    const char* text;
    bool ok;
    double value;
  } rows[] = {
      {" 12 ", true, 12}, {"\t3\n", true, 3},  {"+1", true, 1},      {"-.5", true, -0.5},
      {"5.", true, 5},    {"1e+3", true, 1e3}, {"1E-3", true, 1e-3}, {"00012.500", true, 12.5},
      {".", false, 0},    {"1e", false, 0},    {"1e+", false, 0},    {"", false, 0},
      {"1 2", false, 0},  {"inf", false, 0},   {"1d", false, 0},     {"- 1", false, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    ole_number_text::parsed p;
    ASSERT_EQ(ole_number_text::parse(r.text, p), r.ok);
    if (!r.ok) continue;
    double v = 0;
    ASSERT_TRUE(ole_number_text::to_double(p, v));
    EXPECT_EQ(v, r.value);
  }
  // Digits beyond the kept ones still decide the rounding.
  ole_number_text::parsed p;
  ASSERT_TRUE(ole_number_text::parse("0.1000000000000000055511151231257827021181583404541015625000001", p));
  double v = 0;
  ASSERT_TRUE(ole_number_text::to_double(p, v));
  EXPECT_EQ(v, 0.1);
  ASSERT_TRUE(ole_number_text::parse("1e400", p));
  EXPECT_FALSE(ole_number_text::to_double(p, v));
  ASSERT_TRUE(ole_number_text::parse("1e-400", p));
  ASSERT_TRUE(ole_number_text::to_double(p, v));
  EXPECT_EQ(v, 0.0);
}

}  // namespace
