#include "tk_format.h"

#include <gtest/gtest.h>

TEST(TkFormat, ConversionsAndArgumentKinds) {
  std::u16string wide = u"T\u00e9st";
  std::string narrow = "plain";
  EXPECT_EQ(tk_format("%s/%S", narrow, wide), "plain/T\xC3\xA9st");
  EXPECT_EQ(tk_format("%d %ld %u", -5, 7L, 3u), "-5 7 3");
  EXPECT_EQ(tk_format("%08X|%x", 0x10C59u, 255), "00010C59|ff");
  EXPECT_EQ(tk_format("%I64d %I64u", int64_t{-9000000000}, uint64_t{18446744073709551615u}),
            "-9000000000 18446744073709551615");
  EXPECT_EQ(tk_format("%c%c", 'a', u'\u00e9'), "a\xC3\xA9");
  EXPECT_EQ(tk_format("100%%"), "100%");
  EXPECT_EQ(tk_format("%.6e %lg", 3.5, 0.25), "3.500000e+00 0.25");
  EXPECT_EQ(tk_format("[%-4s][%4s]", "ab", "cd"), "[ab  ][  cd]");
  EXPECT_EQ(tk_format("%s, record #%d", u"Sheet1", 7), "Sheet1, record #7");
}

TEST(TkFormat, MissingArgumentsFormatAsNothing) {
  EXPECT_EQ(tk_format("a=%d b=%s", 1), "a=1 b=");
  EXPECT_EQ(tk_format("trailing %"), "trailing %");
}
