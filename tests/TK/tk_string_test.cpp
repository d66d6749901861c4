#include "tk_string.h"

#include <gtest/gtest.h>

#include "tk_wstring.h"

TEST(TkString, TrimRemovesBlanksOnlyNotTabs) {
  struct row {
    const char* in;
    const char* right;
    const char* both;
  } rows[] = {
      {"  a b  ", "  a b", "a b"},
      {"   ", "", ""},
      {"", "", ""},
      {"\ta\t ", "\ta\t", "\ta\t"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.in);
    EXPECT_EQ(trim_right(std::string(r.in)), r.right);
    EXPECT_EQ(trim(std::string(r.in)), r.both);
  }
}

// Equality ignoring case is checked through the record's name lookup (tests/UDB),
// a prefix ignoring case through the type names of the mapping and upsizer
// tests (tests/mysql).
TEST(TkString, LowerCase) {
  EXPECT_EQ(tk_wstring::to_lower(u"Sheet1$ ABC"), u"sheet1$ abc");
  EXPECT_EQ(tk_wstring::to_lower(u"\u00c4\u00d6\u0394"), u"\u00e4\u00f6\u03b4");
  // A character outside the BMP (Deseret capital long I) keeps its surrogate pair shape.
  EXPECT_EQ(tk_wstring::to_lower(u"\U00010400"), u"\U00010428");
}
