#include "tk_format.h"

#include <gtest/gtest.h>

// The conversions the agent's messages use: texts narrow and wide (written
// as UTF-8), numbers, and zero-padded fields of the dump's date. The other
// conversions only ever reach the trace.
TEST(TkFormat, MessageConversions) {
  EXPECT_EQ(tk_format("%s, record #%d", std::u16string(u"T\u00e9st"), -7), "T\xC3\xA9st, record #-7");
  EXPECT_EQ(tk_format("Table '%s': ERROR '%s'", "t", std::string("x")), "Table 't': ERROR 'x'");
  EXPECT_EQ(tk_format("%02d/%02d/%04d", 1, 12, 987), "01/12/0987");
  // Missing arguments format as nothing.
  EXPECT_EQ(tk_format("a=%d b=%s", 1), "a=1 b=");
  EXPECT_EQ(tk_format("trailing %"), "trailing %");
}
