#include <gtest/gtest.h>

#include "test_support.h"
#include "tk_file_name.h"
#include "tk_logger.h"

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

TEST(TkLogger, LineEndsAndEncodings) {
  temp_dir dir;
  std::string path = dir.file("t.log");
  write_file(path, "left over from an earlier run\r\n");
  tk_logger logger(path, false, 3, false);
  logger.set_file_name(path);
  logger.enable(true);
  TK_TRACE(1, "not written");
  EXPECT_EQ(read_file(path), "left over from an earlier run\r\n") << "a dropped line must not touch the file";
  TK_TRACE(3, "Store SQL query: %s\n", "ALTER TABLE x");
  TK_TRACE(3, "wide %s", std::u16string(u"\u00e9\u20ac"));
  TK_TRACE(3, "narrow %s", std::string("\xE9"));
  EXPECT_EQ(read_file(path),
            "Store SQL query: ALTER TABLE x\n\r\n"
            "wide \xC3\xA9\xE2\x82\xAC\r\n"
            "narrow \xE9\r\n");
}

TEST(TkLogger, DisabledOrUnregisteredLoggerWritesNothing) {
  temp_dir dir;
  {
    tk_logger logger(dir.file("off.log"), false, 1, false);
    TK_TRACE(3, "dropped");
  }
  EXPECT_FALSE(file_exists(dir.file("off.log")));
  TK_TRACE(3, "no logger at all");  // must not crash
}

TEST(TkLogger, SecondFileWinsAndTheFirstIsLeftAsItWas) {
  temp_dir dir;
  write_file(dir.file("a.log"), "old a\r\n");
  write_file(dir.file("b.log"), "old b\r\n");
  tk_logger logger(std::string(), false, 3, false);
  logger.set_file_name(dir.file("a.log"));
  logger.enable(true);
  TK_TRACE(1, "detail between the two names");
  logger.set_file_name(dir.file("b.log"));
  TK_TRACE(3, "first");
  TK_TRACE(3, "second");
  EXPECT_EQ(read_file(dir.file("a.log")), "old a\r\n");
  EXPECT_EQ(read_file(dir.file("b.log")), "first\r\nsecond\r\n");
}

TEST(TkLogger, OnlyTheFirstLoggerIsRegistered) {
  temp_dir dir;
  tk_logger first(dir.file("1.log"), true, 3, false);
  tk_logger second(dir.file("2.log"), true, 3, false);
  EXPECT_EQ(tk_logger::instance_ptr(), &first);
  TK_TRACE(3, "x");
  EXPECT_EQ(read_file(dir.file("1.log")), "x\r\n");
  EXPECT_FALSE(file_exists(dir.file("2.log")));
}

TEST(TkLogger, DefaultNameIsTheProgramPathWithLogExtension) {
  tk_file_name program(tk_program_path());
  EXPECT_EQ(tk_logger::default_file_name(), program.folder() + program.name() + ".log");
  EXPECT_EQ(tk_logger::default_file_name().substr(tk_logger::default_file_name().size() - 4), ".log");
}

TEST(TkLogger, TimeStampPrefixWhenAskedFor) {
  temp_dir dir;
  tk_logger logger(dir.file("t.log"), true, 1, true);
  TK_TRACE(1, "x");
  std::string text = read_file(dir.file("t.log"));
  ASSERT_EQ(text.size(), std::string("hh:mm:ss x\r\n").size());
  EXPECT_EQ(text[2], ':');
  EXPECT_EQ(text.substr(8), " x\r\n");
}
