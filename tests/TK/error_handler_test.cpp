#include "error_handler.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "test_support.h"
#include "tk_interrupt.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"

namespace {

const tk_err_entry first_table[] = {{4195349, "Access denied.\nCheck it."}, {100, "first text"}};
const tk_err_entry second_table[] = {{100, "second text"}, {200, "two hundred"}};

struct coded : tk_exception {
  coded(const char* m, uint32_t code) : tk_exception(m, code, 0) {}
};

}  // namespace

// A table's context with a record number ("t, record #3: ...") is shown end
// to end (tests/golden/csv/processing_modes.txt).
TEST(ErrorHandler, ReportUsesContextAndFirstLoadedText) {
  error_handler handler(2, first_table);
  handler.load_err_map(2, second_table);
  EXPECT_EQ(handler.build_report(coded("library text", 100)), "first text");
  EXPECT_EQ(handler.build_report(coded("library text", 200)), "two hundred");
  EXPECT_EQ(handler.build_report(coded("library text", 7)), "library text");
  handler.set_context(u"T\u00e9st");
  EXPECT_EQ(handler.build_report(tk_exception("", 0)), "T\xC3\xA9st: Unknown exception");
}

// The printed report has its line feeds made blanks, and --silent prints
// none: both are shown end to end (the friendly text of a server that does
// not answer, and the command-line messages). The trace keeps the line feeds.
TEST(ErrorHandler, LevelZeroReturnsAndItsTraceKeepsTheLineFeeds) {
  testsupport::temp_dir dir;
  tk_logger logger(dir.file("t.log"), true, 3, false);
  error_handler handler(2, first_table);
  handler.set_silent(true);
  handler.handle(coded("Access denied for user", 4195349));
  EXPECT_EQ(testsupport::read_file(dir.file("t.log")), "Error:\nAccess denied.\nCheck it.\r\n");
}

// A level-1 error ends the run with status 255 end to end (tests/agent). An
// internal error does too, printed even in silent mode, its code the hex of
// "udb_vali\55": u=75 d=64 b=62 _=5f v=76 a=61 l=6c i=69 \=5c 5=35 5=35.
TEST(ErrorHandlerDeathTest, InternalErrorIsPrintedEvenWhenSilentAndEndsTheProcessWithStatus255) {
  error_handler handler(0, nullptr);
  handler.set_silent(true);
  // The statement's stdout goes to stderr, where the death test looks.
  EXPECT_EXIT((dup2(2, 1), handler.handle(tk_mail_assertion("udb_vali", 55))), testing::ExitedWithCode(255),
              "Internal error: Internal error: \ncode=7564625f76616c695c3535");
}

// Held reports (a worksheet copied while its types may still change) wait,
// in memory and past a mebibyte in a temporary file, and come out whole and
// in order when released, or not at all when discarded; a report of level 1
// releases them first.
TEST(ErrorHandler, HeldReportsAreReleasedInOrderOrDiscarded) {
  error_handler handler(0, nullptr);
  const auto report = [&](int n) { handler.handle(tk_exception("refused row " + std::to_string(n), 0)); };
  std::string expected;
  for (int n = 0; n < 30000; ++n) expected += "Error:\nrefused row " + std::to_string(n) + "\n";
  testing::internal::CaptureStdout();
  handler.hold();
  for (int n = 0; n < 30000; ++n) report(n);
  const std::string while_held = testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  handler.release();
  report(30000);
  EXPECT_EQ(while_held, "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected + "Error:\nrefused row 30000\n");
  testing::internal::CaptureStdout();
  handler.hold();
  for (int n = 0; n < 30000; ++n) report(n);
  handler.discard();
  report(1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error:\nrefused row 1\n");
  handler.hold();
  report(2);
  EXPECT_EXIT((dup2(2, 1), handler.handle(tk_exception("the end", 1))), testing::ExitedWithCode(255),
              "Error:\nrefused row 2\nError:\nthe end");
}

// An interruption asks the run to stop; the same signal again within half a
// second (timeout(1) signals the run and its process group, and two threads
// may take one each) is the same request, where it used to end the process
// at once, before the run could drop what it was building. Later, a second
// signal still ends it at once.
TEST(TkInterruptDeathTest, ASignalTwiceAtOnceIsOneRequest) {
  EXPECT_EXIT(
      {
        tk_interrupt::install();
        std::raise(SIGTERM);
        std::raise(SIGTERM);
        std::exit(tk_interrupt::requested() == SIGTERM ? 7 : 8);
      },
      testing::ExitedWithCode(7), "");
  EXPECT_EXIT(
      {
        tk_interrupt::install();
        std::raise(SIGTERM);
        ::usleep(600000);
        std::raise(SIGTERM);
        std::exit(7);
      },
      testing::KilledBySignal(SIGTERM), "");
}
