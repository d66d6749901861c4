#include "tk_unicode.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <initializer_list>

#include "expect_failure.h"
#include "tk_exception_ex.h"

namespace {
const std::string system_text = tk_exception_ex::system_message(EILSEQ);
}  // namespace

// Text of every plane, NUL included, travels through UTF-8 end to end
// (tests/agent, hostile values); here the conversions' failures.
TEST(TkUnicode, InvalidUtf8RaisesLevelZeroWithSystemText) {
  const char* bad[] = {"\xFF", "abc\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"};
  for (const char* b : bad) {
    SCOPED_TRACE(b);
    testsupport::expect_failure<tk_exception_ex>([&] { tk_utf8_to_unicode(b); }, 0, EILSEQ,
                                                 "Cannot convert to UNICODE string: " + system_text);
  }
}

// Characters and UTF-16 units of UTF-8, in runs long enough for every
// block size the count takes.
TEST(TkUnicode, Utf8CountsCharactersAndUnits) {
  const std::string mix = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // 1 + 2 + 3 + 4 bytes
  const struct {
    std::string text;
    size_t characters, units;
  } table[] = {
      {"", 0, 0}, {"a", 1, 1}, {"\xC3\xA9", 1, 1}, {mix, 4, 5}, {std::string(17, 'x') + mix, 21, 22},
  };
  for (const auto& r : table) {
    const tk_utf8_count n = tk_utf8_counts(r.text);
    EXPECT_EQ(std::pair(n.characters, n.units), std::pair(r.characters, r.units)) << r.text;
  }
  for (const size_t times : {4u, 1020u, 1021u, 3000u}) {
    std::string text;
    for (size_t i = 0; i < times; ++i) text += mix;
    const tk_utf8_count n = tk_utf8_counts(text);
    EXPECT_EQ(std::pair(n.characters, n.units), std::pair(4 * times, 5 * times)) << times;
  }
}

TEST(TkUnicode, LoneSurrogateCannotBecomeUtf8) {
  std::u16string lone(1, static_cast<char16_t>(0xD800));
  testsupport::expect_failure<tk_exception_ex>([&] { tk_unicode_to_utf8(lone); }, 0, EILSEQ,
                                               "Cannot convert to UTF8 string: " + system_text);
  std::string out;
  EXPECT_FALSE(tk_unicode_to_ansi2(lone, out));
  // Wherever a lone surrogate stands among blocks of eight units, and a
  // pair split across two blocks is no lone one.
  for (const size_t at : std::initializer_list<size_t>{0, 7, 8, 15, 16}) {
    std::u16string text(17, u'a');
    text[at] = 0xDC00;
    EXPECT_FALSE(tk_unicode_has_ansi_form(text)) << at;
    text[at] = 0xD800;
    EXPECT_FALSE(tk_unicode_has_ansi_form(text)) << at;
    if (at + 1 < text.size()) text[at + 1] = 0xDC00;
    EXPECT_EQ(tk_unicode_has_ansi_form(text), at + 1 < text.size()) << at;
  }
}
