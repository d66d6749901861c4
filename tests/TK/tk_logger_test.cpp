#include "tk_logger.h"

#include <gtest/gtest.h>

#include "test_support.h"

using testsupport::read_file;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {
int evaluated = 0;
int count_evaluation() { return ++evaluated; }
}  // namespace

// A line below the threshold is neither formatted nor evaluated, and leaves
// an earlier run's file as it was; the first line written replaces it. Wide
// texts are written as UTF-8, narrow ones as given. (Which of two files wins
// and the CR LF line ends are checked end to end, in the command-line test.)
TEST(TkLogger, LinesBelowTheThresholdAreNeitherFormattedNorEvaluated) {
  temp_dir dir;
  write_file(dir.file("t.log"), "old\r\n");
  tk_logger logger(std::string(), false, 3, false);
  logger.set_file_name(dir.file("t.log"));
  logger.enable(true);
  evaluated = 0;
  TK_TRACE(1, "detail %d", count_evaluation());
  TK_TRACE(2, "entry %d", count_evaluation());
  EXPECT_EQ(evaluated, 0);
  EXPECT_EQ(read_file(dir.file("t.log")), "old\r\n");
  TK_TRACE(3, "milestone %d\n", count_evaluation());
  TK_TRACE(3, "wide %s", std::u16string(u"\u00e9\u20ac"));
  TK_TRACE(3, "narrow %s", std::string("\xE9"));
  EXPECT_EQ(evaluated, 1);
  EXPECT_EQ(read_file(dir.file("t.log")), "milestone 1\n\r\nwide \xC3\xA9\xE2\x82\xAC\r\nnarrow \xE9\r\n");
}
