#include "tk_logger.h"

#include <gtest/gtest.h>

#include "test_support.h"

using testsupport::file_exists;
using testsupport::read_file;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {
int evaluated = 0;
int count_evaluation() { return ++evaluated; }
}  // namespace

TEST(TkLogger, LinesBelowTheThresholdAreNeitherFormattedNorEvaluated) {
  temp_dir dir;
  tk_logger logger(dir.file("t.log"), true, 3, false);
  evaluated = 0;
  TK_TRACE(1, "detail %d", count_evaluation());
  TK_TRACE(2, "entry %d", count_evaluation());
  EXPECT_EQ(evaluated, 0);
  TK_TRACE(3, "milestone %d", count_evaluation());
  EXPECT_EQ(evaluated, 1);
  EXPECT_EQ(read_file(dir.file("t.log")), "milestone 1\r\n");
}

// Without --logfile the driver's logger stays off: no file appears.
TEST(TkLogger, ADisabledLoggerWritesNothing) {
  temp_dir dir;
  tk_logger off(dir.file("off.log"), false, 1, false);
  TK_TRACE(3, "dropped");
  EXPECT_FALSE(file_exists(dir.file("off.log")));
}

// The second file wins and lines end in CR LF end to end (tests/agent); here
// a dropped line leaves the file alone, and wide and narrow texts.
TEST(TkLogger, SecondFileWinsWithLineEndsAndEncodings) {
  temp_dir dir;
  write_file(dir.file("a.log"), "old a\r\n");
  write_file(dir.file("b.log"), "old b\r\n");
  tk_logger logger(std::string(), false, 3, false);
  logger.set_file_name(dir.file("a.log"));
  logger.enable(true);
  TK_TRACE(1, "a dropped line must not touch the file");
  logger.set_file_name(dir.file("b.log"));
  TK_TRACE(3, "Store SQL query: %s\n", "ALTER TABLE x");
  TK_TRACE(3, "wide %s", std::u16string(u"\u00e9\u20ac"));
  TK_TRACE(3, "narrow %s", std::string("\xE9"));
  EXPECT_EQ(read_file(dir.file("a.log")), "old a\r\n");
  EXPECT_EQ(read_file(dir.file("b.log")),
            "Store SQL query: ALTER TABLE x\n\r\nwide \xC3\xA9\xE2\x82\xAC\r\nnarrow \xE9\r\n");
}
