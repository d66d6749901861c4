#include "ole_decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "ole_number_text.h"
#include "test_support.h"

namespace {

// Each text as read (tests/golden/ole/decimal_parse.txt): the status, then
// for a number its printed form and scale. Past 28 decimals the digits round
// half to even; 29 digits are the most a decimal holds.
TEST(ole_decimal_parse, TextAndPrintedForm) {
  const char* const statuses[] = {"ok", "bad text", "overflow"};
  std::string text;
  for (const char* t :
       {"0", " -12.50 ", "+.5", "5.", "-0", "1.5e3", "1.5E-3",
        // Past 28 decimals, half to even.
        "0.00000000000000000000000000006", "0.000000000000000000000000000050", "0.000000000000000000000000000150",
        // The largest decimal, rounded into range, and one past it.
        "79228162514264337593543950335", "7922816251426433759354395033.56", "79228162514264337593543950336", "1e29",
        "1e-400",
        // No numbers.
        "", ".", "1.2.3", "1e", "1,5", "0x10"}) {
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

// Doubles in the automation form, and texts through the strict reader
// (tests/golden/ole/number_text.txt). Digits beyond the kept ones still
// decide the rounding; past the range of a double the reader fails.
TEST(ole_number_text, AutomationFormsAndStrictReader) {
  auto exact = [](double v) {
    char shown[32];
    std::snprintf(shown, sizeof shown, "%.17g", v);
    return std::string(shown);
  };
  std::string text;
  for (const double v :
       {1e20, 1.5e-7, 0.1, 100.0, 123456789012345.0, 1234567890123456.0, 0.0001, 0.00001, -0.0, 1.0 / 3, -2.5}) {
    text += exact(v) + " prints ";
    ole_number_text::append_r8(text, v);
    text += '\n';
  }
  text += "currency minimum prints ";
  ole_number_text::append_currency(text, std::numeric_limits<int64_t>::min());
  text += '\n';
  for (const char* t :
       {" 12 ", "\t3\n", "+1", "-.5", "5.", "1e+3", "1E-3", "00012.500", ".", "1e", "1e+", "", "1 2", "inf", "1d",
        "- 1", "0.1000000000000000055511151231257827021181583404541015625000001", "1e400", "1e-400"}) {
    ole_number_text::parsed p;
    double v = 0;
    text.append("\"").append(t).append("\" reads ");
    text.append(!ole_number_text::parse(t, p)       ? "as no number"
                : !ole_number_text::to_double(p, v) ? "out of range"
                                                    : exact(v)) += '\n';
  }
  testsupport::expect_golden("ole/number_text.txt", text);
}

}  // namespace
