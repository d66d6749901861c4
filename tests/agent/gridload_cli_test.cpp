// The real gridload binary: stdout, stderr and exit status compared whole.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <tuple>

#include "cmd_line.h"
#include "test_support.h"

using testsupport::read_file;
using testsupport::run_gridload;
using testsupport::run_result;
using testsupport::temp_dir;

namespace {

const std::string usage = usage_text(7, 1) + "\n";

void expect_stderr_exit(const run_result& r, const std::string& err) {
  EXPECT_EQ(std::tuple(r.status, r.out, r.err), std::tuple(255, "", err));
}

void expect_error_report(const run_result& r, const std::string& report) {
  EXPECT_EQ(std::tuple(r.status, r.out, r.err), std::tuple(255, "Error:\n" + report + "\n", ""));
}

}  // namespace

TEST(GridloadCli, UsageTextIsPrintedByteForByte) {
  ASSERT_EQ(usage.substr(0, 29), "GRIDLOAD v7.1\nUsage: GRIDLOAD");
  const std::string last_line = "      (for example --dest=\"my database\")\n";
  ASSERT_EQ(usage.substr(usage.size() - last_line.size()), last_line);
  // An option is known by its text up to the value, case-sensitively; the
  // unrecognised-argument check comes before the source check.
  std::vector<std::vector<std::string>> cases = {
      {},           {"--help"}, {"--src=a.xls", "--help", "--dest=x"},
      {"--helpme"}, {"--DUMP"}, {"--dest", "--src"},
      {"-help"},    {""},       {"--src=a.csv", "--dest=d", "--from_csv", "--tab_name=t", "--csv_delim=2", "--unknown"},
  };
  // Any number of unrecognised arguments.
  for (int i = 0; i < 30; ++i) cases.back().push_back("bad" + std::to_string(i));
  for (const auto& args : cases) {
    SCOPED_TRACE(args.empty() ? std::string("(none)") : args[0]);
    expect_stderr_exit(run_gridload(args), usage);
  }
}

TEST(GridloadCli, ValidationMessagesInTheirOrder) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } rows[] = {
      {{"--dest=d"}, "You should enter data source name"},
      {{"--src=a.xls"}, "You should enter destination MySQL database name"},
      {{"--from_csv", "--src=a.csv"}, "You should enter destination MySQL database name"},
      {{"--from_csv", "--src=a.csv", "--dest=d"}, "You should specify MySQL table name (use '--tab_name' option)"},
      {{"--from_csv", "--src=a.csv", "--dest=d", "--tab_name=t"},
       "You should specify CSV delimiter (use '--csv_delim' option)"},
      {{"--from_csv", "--src=a.csv", "--dest=d", "--tab_name=t", "--csv_delim=4"},
       "Invalid CSV delimiter (use 0 - tab, 1 - semicolon, 2 - comma, 3 - space)"},
      {{"--tab_file=/no/such/list.txt", "--src=a.xls", "--dest=d"},
       "Table names file does not exist.\nPlease verify the correct path/name was given."},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.message);
    expect_stderr_exit(run_gridload(r.args), std::string(r.message) + "\n");
  }
}

TEST(GridloadCli, OnlyTheFourOneDigitModesPass) {
  const struct {
    const char* mode;
    bool accepted;
  } rows[] = {{"0", true},   {"1", true},  {"2", true},   {"3", true}, {"00", false},
              {"-1", false}, {"4", false}, {"1 ", false}, {"", false}, {"3x", false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string("--mode=") + r.mode);
    run_result res = run_gridload({std::string("--mode=") + r.mode, "--src=a.csv"});
    expect_stderr_exit(
        res, r.accepted ? "You should enter destination MySQL database name\n" : "Invalid merge/overwrite mode\n");
  }
}

// Failures after the command line is read: an error report on stdout.
TEST(GridloadCli, ErrorReports) {
  temp_dir dir;
  testsupport::write_file(dir.file("ro.log"), "old");
  testsupport::read_only_guard ro(dir.file("ro.log"));
  const std::vector<std::string> csv = {"--from_csv", "--src=a.csv", "--dest=d", "--tab_name=t", "--csv_delim=2"};
  const struct {
    std::vector<std::string> args;
    const char* report;
  } rows[] = {
      // Dump mode by the option's prefix: a folder as destination is refused
      // by the dump checks; a delimiter without digits is tab.
      {{"--dump", "--from_csv", "--src=a.csv", "--dest=" + dir.path(), "--tab_name=t", "--csv_delim=tab"},
       "Destination name should specify a file, not folder."},
      {{"--dumpX", "--from_csv", "--src=a.csv", "--dest=" + dir.path(), "--tab_name=t", "--csv_delim=tab"},
       "Destination name should specify a file, not folder."},
      {{"--logfile=" + dir.path(), "--src=a.xls"}, "Logfile name specifies an existing path."},
      {{"--logfile=" + dir.file("ro.log"), "--src=a.xls"}, "Logfile name specifies an existing read-only file."},
      {{"--logfile=" + dir.file("missing/x.log"), "--src=a.xls"},
       "Logfile path does not exist. Please verify the correct path was given."},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.args[0]);
    expect_error_report(run_gridload(r.args), r.report);
  }
  std::vector<std::string> args = csv;
  args.push_back("--port=abc");
  expect_error_report(run_gridload(args), "Invalid port number");
  EXPECT_EQ(read_file(dir.file("ro.log")), "old");
}

TEST(GridloadCli, LogfileGetsTheMilestonesOfThisRunOnly) {
  temp_dir dir;
  std::string log = dir.file("run.log");
  testsupport::write_file(log, "from an earlier run\r\n");
  // A message before --logfile= is not in the file; a message after it is, with CR LF.
  run_result r = run_gridload({"--mode=9", "--logfile=" + log});
  expect_stderr_exit(r, "Invalid merge/overwrite mode\n");
  EXPECT_EQ(read_file(log), "from an earlier run\r\n");
  r = run_gridload({"--logfile=" + log, "--from_csv", "--src=a.csv", "--dest=d"});
  expect_stderr_exit(r, "You should specify MySQL table name (use '--tab_name' option)\n");
  EXPECT_EQ(read_file(log), "You should specify MySQL table name (use '--tab_name' option)\r\n");
  // Texts with line feeds keep them; the second --logfile= wins.
  std::string second = dir.file("second.log");
  r = run_gridload({"--logfile=" + log, "--logfile=" + second, "--from_csv", "--src=a.csv", "--dest=d", "--tab_name=t",
                    "--csv_delim=1", "--port=x"});
  expect_error_report(r, "Invalid port number");
  EXPECT_EQ(read_file(second), "Error:\nInvalid port number\r\n");
  EXPECT_EQ(read_file(log), "You should specify MySQL table name (use '--tab_name' option)\r\n");
}

TEST(GridloadCli, SilentPrintsNothingButStillFails) {
  expect_stderr_exit(run_gridload({"--silent", "--from_csv", "--src=a.csv", "--dest=d"}), "");
  expect_stderr_exit(
      run_gridload({"--silent", "--from_csv", "--src=a.csv", "--dest=d", "--tab_name=t", "--csv_delim=2", "--port=0"}),
      "");
}
