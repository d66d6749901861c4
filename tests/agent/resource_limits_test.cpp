// Runs short of what the system gives: threads and memory. Both limits are
// set from outside (a preloaded library, ulimit), which a sanitizer build
// cannot take.
#include <string>

#include "workbook_support.h"

namespace {

class ResourceLimits : public wbtest::workbook_run {
 protected:
  void SetUp() override {
#ifdef GRIDLOAD_SANITIZED
    GTEST_SKIP() << "limits set from outside do not suit a sanitizer build";
#endif
    workbook_run::SetUp();
  }
};

}  // namespace

// A run that cannot start a thread (a process limit, a container's task
// limit) reads, inflates and sends on its own thread: the same output, the
// same tables and the same status as a run with its threads.
TEST_F(ResourceLimits, ARunWithoutThreadsGivesWhatARunWithThreadsGives) {
  std::string text = "n,note\n";
  for (int i = 1; i <= 3000; ++i) text += std::to_string(i) + ",\"caf\xC3\xA9\nline " + std::to_string(i) + "\"\n";
  testsupport::write_file(dir_.file("t.csv"), text);
  {
    // A sheet of more than 1 MiB of XML: inflated ahead when a thread can be had.
    wbtest::xlsx_book book(dir_.file("t.xlsx"));
    lxw_worksheet* sheet = book.sheet("S");
    wbtest::write_row(sheet, 0, {"n", "note"});
    for (lxw_row_t r = 1; r <= 20000; ++r) wbtest::write_row(sheet, r, {double(r), "row " + std::to_string(r * 7919)});
  }
  const std::map<std::string, std::string> no_threads{{"LD_PRELOAD", GRIDLOAD_NO_THREADS_SHIM}};
  for (const bool csv : {true, false}) {
    const std::string source = csv ? "t.csv" : "t.xlsx";
    const std::vector<std::string> extra = csv ? csv_args("t") : std::vector<std::string>{"--extr_fn"};
    SCOPED_TRACE(source);
    // Each way's transcript and tables, with threads and without.
    std::string seen[2];
    for (const bool threads : {true, false})
      each_way(
          source, extra,
          [&](const testsupport::run_result& r) {
            EXPECT_EQ(r.status, 0) << r.out << r.err;
            seen[threads] += testsupport::transcript(source, r) + listing();
          },
          threads ? std::map<std::string, std::string>{} : no_threads);
    EXPECT_EQ(seen[false], seen[true]);
    // Both ways made the table.
    const std::string table = csv ? "== t\n" : "== S\n";
    EXPECT_NE(seen[true].find(table, seen[true].find(table) + 1), std::string::npos) << seen[true];
  }
}

// A run that runs out of memory (a value larger than the memory the process
// may have) says so and fails, and leaves no dump file.
TEST_F(ResourceLimits, ARunOutOfMemoryFailsAndSaysSo) {
  testsupport::write_file(dir_.file("big.csv"), "a,b\n1," + std::string(std::size_t(150) << 20, 'x') + "\n");
  const testsupport::run_result r =
      shell("ulimit -v 400000 && exec \"$0\" \"$@\"",
            {"--src=big.csv", "--dump", "--dest=big.sql", "--from_csv", "--csv_delim=2", "--extr_fn", "--tab_name=t"});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("Not enough memory"), std::string::npos) << r.out << r.err;
  EXPECT_FALSE(testsupport::file_exists(dir_.file("big.sql")));
}
