#include "ole_date.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ole_locale_date.h"
#include "test_support.h"
#include "tk_unicode.h"

namespace {

// Each text as read (tests/golden/ole/date_import.txt): valid or not, the
// kind, and [the date printed to the microsecond].
TEST(ole_date_import, FormsInOrder) {
  const char* const texts[] = {"20240229", "20230229", "20241205102030", "05122024", "05.12.2024 10:20:30",
                               "  2024-12-05  ", "2024-12-05 00:00:00", "2024/12/05 07:08:09.5", "10:20:59.9999996",
                               "23:59:59.9999999", "10:20:30.25",
                               // The rounding carries into the clock, never into the day; "," stops the fraction.
                               "2024-12-05 23:59:59.9999999", "2024-12-05 10:20:30,25", "25:00:00",
                               // Hours are read as a short: 70000 is 4464.
                               "70000:1:2", "10:20:30 x", "10:61:00",
                               // "a/b/yyyy" reads as year a, day yyyy and swaps: day first; unless
                               // that is no date, then the US reading of the free-form reader.
                               "12/5/2024", "5/13/2024", "December 5, 2024 3:04 PM", "Dec 5 2024 10:20:30 am",
                               // A text that goes on after the items read is left to the free-form
                               // reader, so an ISO moment keeps its time and "PM" counts.
                               "2024-12-05T10:20:30", "10:20:30 PM", "2024-12-05 note", "2024-12-05 10:20", "12:30",
                               "2024", "2024-02-30", "1900-02-29", "2000-02-29", ""};
  const char* const kinds[] = {"none", "date and time", "date", "time"};
  std::string text;
  for (const char* t : texts) {
    const ole_date d(std::string_view{t});
    text.append("\"").append(t).append(d.is_valid() ? "\" valid " : "\" invalid ").append(kinds[d.kind]);
    text.append(" [").append(d.to_string(6)) += "]\n";
    EXPECT_TRUE(ole_date(std::u16string(t, t + std::char_traits<char>::length(t))) == d) << t;
  }
  testsupport::expect_golden("ole/date_import.txt", text);
}

// Each date made from its parts (tests/golden/ole/date_print.txt): valid or
// not (the calendar's limits; 60 is the last minute and second, hours of a
// time are not checked), then printed with microseconds (the precision the
// agent asks for), narrow | wide: the wide form of a time of day leaves out
// the zero date.
TEST(ole_date_print, ValidityAndKinds) {
  ole_date pure = ole_date::make(2020, 1, 2);
  pure.pure_date = true;
  const ole_date dates[] = {
      ole_date(),
      ole_date::make(2024, 2, 29),
      ole_date::make(2024, 13, 1),
      ole_date::make(2024, 4, 31),
      ole_date::make(0, 1, 1),
      ole_date::make(9999, 12, 31, 23, 59, 59),
      ole_date::make(2024, 1, 1, 23, 60, 60),
      ole_date::make(2024, 1, 1, 23, 61, 0),
      ole_date::make(0, 0, 0, 99, 0, 0, 0, ole_date::kind_time),
      ole_date::make(2020, 1, 2),
      pure,
      ole_date::make(2020, 1, 2, 0, 0, 0, 250000),
      ole_date::make(0, 0, 0, 8, 5, 3, 0, ole_date::kind_time),
      ole_date::make(0, 0, 0, 8, 5, 3, 5000, ole_date::kind_time),
      ole_date::make(2024, 3, 4, 0, 0, 0, 0, ole_date::kind_date),
  };
  std::string text;
  for (const ole_date& d : dates) {
    text.append(d.is_valid() ? "valid " : "invalid ").append(d.to_string(6)).append(" | ");
    text.append(tk_unicode_to_utf8(d.to_wstring(6))) += '\n';
  }
  testsupport::expect_golden("ole/date_print.txt", text);
}

TEST(ole_date_number, EpochAndBack) {
  const struct {
    ole_date date;
    double number;
  } rows[] = {
      {ole_date::make(1899, 12, 30), 0.0},
      {ole_date::make(1899, 12, 29, 6, 0, 0), -1.25},
      {ole_date::make(1900, 1, 1), 2.0},
      {ole_date::make(2024, 12, 5, 12, 0, 0), 45631.5},
      {ole_date::make(0, 0, 0, 18, 0, 0, 0, ole_date::kind_time), 0.75},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.number);
    EXPECT_DOUBLE_EQ(r.date.to_ole_number(), r.number);
    ole_date back;
    ASSERT_TRUE(ole_date::from_ole_number(r.number, back));
    EXPECT_EQ(back.to_ole_number(), r.date.to_ole_number());
  }
  ole_date d;
  EXPECT_FALSE(ole_date::from_ole_number(NAN, d));
  EXPECT_FALSE(ole_date::from_ole_number(3e6, d));
  ASSERT_TRUE(ole_date::from_ole_number(45631.999999999999, d));
  EXPECT_EQ(d.to_string(), "2024-12-06 00:00:00");  // rounds into the next day
  // A day count's last bit near today is worth about a microsecond: moments
  // come back to the millisecond (09:30 stays 09:30, not 09:30:00.000001).
  ASSERT_TRUE(ole_date::from_ole_number(45297.39583333334, d));  // as a workbook stores it
  EXPECT_EQ(d.to_string(), "2024-01-06 09:30:00");
  ASSERT_TRUE(ole_date::from_ole_number(45297.0 + 0.25 / 86400.0, d));
  EXPECT_EQ(d.to_string(), "2024-01-06 00:00:00.250000");
}

// The free-form reader's day numbers (tests/golden/ole/locale_date.txt).
TEST(ole_date_locale, FreeFormReaderAndPrinter) {
  std::string text;
  for (const char* t : {"12/5/2024", "12/5/24", "12/5/99", "2024-12-05T12:00:00", "5 dec 2024 6 PM", "6:00 pm",
                        "12:00 AM", "13:00 PM", "45631", "2/30/2024", "Smarch 5, 2024", "12/5/2024 junk"}) {
    double n = -1;
    text.append("\"").append(t).append("\" ").append(ole_locale_date::parse(t, n) ? std::to_string(n) : "invalid") +=
        '\n';
  }
  testsupport::expect_golden("ole/locale_date.txt", text);
  std::string out;
  ole_locale_date::append_text(out, 0.0);
  EXPECT_EQ(out, "12:00:00 AM");
}

}  // namespace
