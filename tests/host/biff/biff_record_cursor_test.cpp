// The record cursor: reads across CONTINUE records, flag bytes restarting
// in each CONTINUE, and reads past the end of a record or a stream.
#include <gtest/gtest.h>

#include <functional>

#include "biff_test_writer.h"
#include "wb_biff_record_cursor.h"
#include "wb_biff_records.h"

using biff_test::bytes;
using biff_test::record;

namespace {

constexpr std::uint16_t continue_type = 0x003C;

// A cursor over `stream` bytes held in memory.
struct cursor_on {
  explicit cursor_on(const std::string& s)
      : stream(std::make_shared<const std::vector<unsigned char>>(s.begin(), s.end())) {}
  wb_cfb_stream stream;
  wb_biff_record_cursor cursor{stream};
};

}  // namespace

TEST(host_biff_records, NumbersSplitOverContinueRecordsAreJoined) {
  // 0x04030201 split 1+3, then 0x0605 split 1+1 with an empty CONTINUE between.
  cursor_on c(record(0x00FC, "\x01") + record(continue_type, std::string("\x02\x03\x04\x05", 4)) +
              record(continue_type, "") + record(continue_type, "\x06") + record(0x000A, ""));
  ASSERT_TRUE(c.cursor.next());
  EXPECT_EQ(c.cursor.u32(), 0x04030201u);
  EXPECT_EQ(c.cursor.u16(), 0x0605u);
  EXPECT_FALSE(c.cursor.short_read());
  EXPECT_FALSE(c.cursor.has_more());
  ASSERT_TRUE(c.cursor.next());
  EXPECT_EQ(c.cursor.type(), 0x000A);
}

TEST(host_biff_records, EachContinueRestartsTheCharacterWidth) {
  struct row {
    const char* what;
    std::vector<std::string> pieces;  // bodies: the first starts after the string's count and flag
    bool first_two_byte;
    std::u16string expected;
  };
  const std::string wide_e = std::string("\xE9\x00", 2);  // é as two bytes
  const std::string cjk = std::string("\x2D\x4E", 2);     // 中
  const row rows[] = {
      {"one-byte then two-byte", {"ab", std::string("\x01", 1) + cjk + wide_e}, false, u"ab\u4e2d\u00e9"},
      {"two-byte then one-byte", {cjk, std::string("\x00", 1) + "\xE9z"}, true, u"\u4e2d\u00e9z"},
      {"three pieces", {"a", std::string("\x01", 1) + cjk, std::string("\x00", 1) + "bc"}, false, u"a\u4e2dbc"},
      {"empty continue", {"ab", "", std::string("\x00", 1) + "c"}, false, u"abc"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    std::string s = record(0x0207, r.pieces[0]);
    for (std::size_t i = 1; i < r.pieces.size(); ++i) s += record(continue_type, r.pieces[i]);
    cursor_on c(s + record(0x000A, ""));
    ASSERT_TRUE(c.cursor.next());
    std::u16string out(r.expected.size(), u'?');
    c.cursor.chars(out.size(), r.first_two_byte, out.data());
    EXPECT_FALSE(c.cursor.short_read());
    EXPECT_EQ(out, r.expected);
    ASSERT_TRUE(c.cursor.next());
    EXPECT_EQ(c.cursor.type(), 0x000A);
  }
}

TEST(host_biff_records, ReadsPastTheRecordAreShortAndLeaveTheNextRecord) {
  struct row {
    const char* what;
    std::string stream;
    std::function<void(wb_biff_record_cursor&)> read;
  };
  const row rows[] = {
      {"u32 from 3 bytes", record(0x0203, "abc"), [](wb_biff_record_cursor& c) { EXPECT_EQ(c.u32(), 0u); }},
      {"f64 from 7 bytes", record(0x0203, "abcdefg"), [](wb_biff_record_cursor& c) { EXPECT_EQ(c.f64(), 0.0); }},
      {"skip past the end", record(0x00FC, "abc"), [](wb_biff_record_cursor& c) { c.skip(4); }},
      {"chars past the end", record(0x0207, "ab"),
       [](wb_biff_record_cursor& c) {
         char16_t out[3];
         c.chars(3, false, out);
         EXPECT_EQ(out[2], u'\0');
       }},
      {"half a two-byte character", record(0x0207, "abc"),
       [](wb_biff_record_cursor& c) {
         char16_t out[2];
         c.chars(2, true, out);
       }},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    cursor_on c(r.stream + record(0x000A, ""));
    ASSERT_TRUE(c.cursor.next());
    r.read(c.cursor);
    EXPECT_TRUE(c.cursor.short_read());
    EXPECT_FALSE(c.cursor.failed());
    ASSERT_TRUE(c.cursor.next());
    EXPECT_EQ(c.cursor.type(), 0x000A);
    EXPECT_FALSE(c.cursor.short_read());
  }
}

TEST(host_biff_records, ARecordCutByTheEndOfTheStreamFails) {
  const std::string whole = record(0x0809, "abcd") + record(0x00FC, std::string(100, 'x'));
  for (std::size_t keep : {whole.size() - 1, whole.size() - 100, std::size_t{8} + 4 + 1}) {
    cursor_on c(whole.substr(0, keep));
    ASSERT_TRUE(c.cursor.next());
    EXPECT_FALSE(c.cursor.next());
    EXPECT_TRUE(c.cursor.failed()) << keep;
  }
  // A partial header at the very end is trailing padding, not damage.
  cursor_on padded(record(0x000A, "") + std::string(3, '\0'));
  ASSERT_TRUE(padded.cursor.next());
  EXPECT_FALSE(padded.cursor.next());
  EXPECT_FALSE(padded.cursor.failed());
}
