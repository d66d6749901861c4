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
