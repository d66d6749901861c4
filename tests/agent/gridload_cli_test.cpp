// The real gridload binary: stdout, stderr and exit status compared whole,
// with the usage text and the command line's messages in tests/golden/cli.

#include <gtest/gtest.h>

#include "test_support.h"

using testsupport::read_file;
using testsupport::run_gridload;
using testsupport::run_result;
using testsupport::temp_dir;

namespace {

// The arguments as a shell would take them back, the test's folder as $TMP.
std::string command_line(const std::vector<std::string>& args, const temp_dir& dir) {
  std::string line = "gridload";
  for (const std::string& a : args) line += a.empty() || a.find(' ') != std::string::npos ? " '" + a + "'" : " " + a;
  return testsupport::replace_all(line, dir.path(), "$TMP");
}

}  // namespace

// An option is known by its text up to the value, case-sensitively; the
// unrecognised-argument check comes before the source check.
TEST(GridloadCli, UsageTextIsPrintedByteForByte) {
  std::vector<std::vector<std::string>> cases = {
      {},           {"--help"}, {"--src=a.xls", "--help", "--dest=x"},
      {"--helpme"}, {"--DUMP"}, {"--dest", "--src"},
      {"-help"},    {""},       {"--src=a.csv", "--dest=d", "--from_csv", "--tab_name=t", "--csv_delim=2", "--unknown"},
  };
  // Any number of unrecognised arguments.
  for (int i = 0; i < 30; ++i) cases.back().push_back("bad" + std::to_string(i));
  for (const auto& args : cases) {
    SCOPED_TRACE(args.empty() ? std::string("(none)") : args[0]);
    const run_result r = run_gridload(args);
    EXPECT_EQ(std::pair(r.status, r.out), std::pair(255, std::string()));
    testsupport::expect_golden("cli/usage.txt", r.err);
  }
}

// The checks of the command line in their order, the mode's digits, the
// failures reported after the command line is read (dump mode known by the
// option's prefix, a delimiter without digits read as tab), and --silent.
// The log file gets the messages of its own run from --logfile= on (the
// last one given), emptied first, with CR LF line ends: run.log keeps the
// first of its runs' message, and second.log gets a text with a line feed.
TEST(GridloadCli, MessagesAndStatuses) {
  temp_dir dir;
  testsupport::write_file(dir.file("ro.log"), "old");
  testsupport::read_only_guard ro(dir.file("ro.log"));
  const std::string log = dir.file("run.log"), second = dir.file("second.log");
  testsupport::write_file(log, "from an earlier run\r\n");
  const std::vector<std::string> csv = {"--from_csv", "--src=a.csv", "--dest=d", "--tab_name=t", "--csv_delim=2"};
  std::vector<std::vector<std::string>> cases = {
      {"--dest=d"},
      {"--src=a.xls"},
      {"--from_csv", "--src=a.csv"},
      {"--from_csv", "--src=a.csv", "--dest=d"},
      {"--from_csv", "--src=a.csv", "--dest=d", "--tab_name=t"},
      {"--from_csv", "--src=a.csv", "--dest=d", "--tab_name=t", "--csv_delim=4"},
      {"--tab_file=/no/such/list.txt", "--src=a.xls", "--dest=d"},
      {"--dump", "--from_csv", "--src=a.csv", "--dest=" + dir.path(), "--tab_name=t", "--csv_delim=tab"},
      {"--dumpX", "--from_csv", "--src=a.csv", "--dest=" + dir.path(), "--tab_name=t", "--csv_delim=tab"},
      {"--logfile=" + dir.path(), "--src=a.xls"},
      {"--logfile=" + dir.file("ro.log"), "--src=a.xls"},
      {"--logfile=" + dir.file("missing/x.log"), "--src=a.xls"},
      {"--silent", "--from_csv", "--src=a.csv", "--dest=d"},
  };
  for (const char* mode : {"0", "1", "2", "3", "00", "-1", "4", "1 ", "", "3x"})
    cases.push_back({std::string("--mode=") + mode, "--src=a.csv"});
  for (const char* port : {"--port=abc", "--port=0"}) {
    cases.push_back(csv);
    cases.back().push_back(port);
  }
  cases.push_back(cases.back());
  cases.back().insert(cases.back().begin(), "--silent");
  cases.push_back({"--logfile=" + log, "--from_csv", "--src=a.csv", "--dest=d"});
  cases.push_back({"--mode=9", "--logfile=" + log});
  cases.push_back({"--logfile=" + log, "--logfile=" + second, "--from_csv", "--src=a.csv", "--dest=d", "--tab_name=t",
                   "--csv_delim=1", "--port=x"});
  std::string text;
  for (const auto& args : cases) text += testsupport::transcript(command_line(args, dir), run_gridload(args));
  text += "run.log:\n" + read_file(log) + "second.log:\n" + read_file(second);
  testsupport::expect_golden("cli/messages.txt", text);
  EXPECT_EQ(read_file(dir.file("ro.log")), "old");
}

// A number setting the run cannot read ends it before anything is done:
// `dmp_ins_tab=no` (meant: rows only) was run on its default, and the dump,
// loaded, replaced the user's table.
TEST(GridloadCli, ASettingOfTheWrongKindIsRefused) {
  temp_dir dir;
  testsupport::write_file(dir.file("settings"), "dmp_ins_tab=no\n");
  const run_result r =
      run_gridload({"--from_csv", "--src=a.csv", "--csv_delim=2", "--tab_name=t", "--dump", "--dest=" + dir.file("o")},
                   "", {{"GRIDLOAD_SETTINGS", dir.file("settings")}});
  EXPECT_EQ(std::tuple(r.status, r.out),
            std::tuple(255, "Error:\nThe value of 'dmp_ins_tab' in settings file '" + dir.file("settings") +
                                "' is not a decimal number: 'no'\n"));
  EXPECT_FALSE(testsupport::file_exists(dir.file("o")));
}

// The log empties its file: a log named as a file the run reads (its
// source, profile, table list, settings, option file) or its dump (whose lines the log's last
// ones would follow), before or after --logfile=, under another spelling,
// is refused before anything is written, and the file is kept. Also when a
// profile names the file as its source or dump (a log before the profile
// emptied the source, and the run then read the log's lines).
TEST(GridloadCli, ALogfileThatTheRunReadsIsRefused) {
  temp_dir dir;
  const std::string file = dir.file("input");
  const std::string spelled = dir.path() + "/./input";
  for (const std::string option : {"--src=", "--profile=", "--tab_file=", "--dest=", "src=", "dest="})
    for (bool log_first : {true, false}) {
      SCOPED_TRACE(option + (log_first ? " after" : " before"));
      testsupport::write_file(file, "id,name\n1,Alice\n");
      std::vector<std::string> args{"--from_csv", "--csv_delim=2", "--tab_name=t", "--dump", "--dest=" + dir.file("o")};
      args.insert(log_first ? args.begin() : args.end(), "--logfile=" + spelled);
      if (option.starts_with("--")) {
        args.push_back(option + file);
      } else {
        testsupport::write_file(dir.file("p.ini"), "[Generic settings]\n" + option + file + "\n");
        args.push_back("--profile=" + dir.file("p.ini"));
      }
      if (option != "--src=" && option != "src=") args.push_back("--src=" + dir.file("other.csv"));
      const run_result r = run_gridload(args);
      EXPECT_EQ(std::tuple(r.status, r.out),
                std::tuple(255, "Error:\nThe log file is a file the run reads or writes: '" + spelled + "'\n"));
      EXPECT_EQ(read_file(file), "id,name\n1,Alice\n");
    }
  // An argument that begins with --dump is that option: its dump was
  // missed, and the log's lines followed the dump's in its file.
  testsupport::write_file(file, "kept\n");
  const run_result dump_1 =
      run_gridload({"--from_csv", "--csv_delim=2", "--tab_name=t", "--src=" + dir.file("other.csv"), "--dump=1",
                    "--dest=" + file, "--logfile=" + spelled});
  EXPECT_EQ(std::tuple(dump_1.status, dump_1.out),
            std::tuple(255, "Error:\nThe log file is a file the run reads or writes: '" + spelled + "'\n"));
  EXPECT_EQ(read_file(file), "kept\n");
  // A dump that does not exist yet, named another way: the log's lines
  // followed the dump's.
  const run_result fresh = run_gridload({"--from_csv", "--csv_delim=2", "--tab_name=t", "--src=other.csv", "--dump",
                                         "--dest=fresh.sql", "--logfile=./fresh.sql"},
                                        dir.path());
  EXPECT_EQ(std::tuple(fresh.status, fresh.out),
            std::tuple(255, "Error:\nThe log file is a file the run reads or writes: './fresh.sql'\n"));
  EXPECT_FALSE(testsupport::file_exists(dir.file("fresh.sql")));
  // Files the run reads without being told on its line: the settings file
  // and the client's option file. A dump may not replace any file the run
  // reads either.
  const std::string other = "--src=" + dir.file("other.csv");
  const struct {
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    std::string kept, out;
  } cases[] = {
      {{"--logfile=" + spelled}, {{"GRIDLOAD_SETTINGS", file}}, file, "The log file is a file the run reads or writes"},
      {{"--logfile=" + dir.file(".my.cnf")},
       {{"HOME", dir.path()}},
       dir.file(".my.cnf"),
       "The log file is a file the run reads or writes"},
      {{"--dest=" + spelled, "--tab_file=" + file}, {}, file, "The destination file is a file the run reads"},
      {{"--dest=" + spelled}, {{"GRIDLOAD_SETTINGS", file}}, file, "The destination file is a file the run reads"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    testsupport::write_file(c.kept, "kept\n");
    std::vector<std::string> args{"--from_csv", "--csv_delim=2", "--tab_name=t",
                                  other,        "--dump",        "--dest=" + dir.file("o")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const run_result r = run_gridload(args, "", c.env);
    const std::string named = c.args.front().substr(c.args.front().find('=') + 1);
    EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(255, "Error:\n" + c.out + ": '" + named + "'\n"));
    EXPECT_EQ(read_file(c.kept), "kept\n");
  }
}
