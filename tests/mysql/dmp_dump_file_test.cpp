// Dump files written by the real gridload binary from a small CSV file:
// the whole text under each setting that changes it, compared byte for
// byte with tests/golden/dump (GRIDLOAD_UPDATE_GOLDEN=1 rewrites them), the
// destination checks, and writes that the system refuses.

#include <gtest/gtest.h>

#include <cstdlib>

#include "test_support.h"

using testsupport::read_file;
using testsupport::run_result;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {

// Every kind of text the literals must carry: quotes, backslashes, a line
// break inside a quoted value (CR LF, read as LF), a lone CR, Ctrl-Z, a tab,
// non-ASCII and 4-byte characters; numbers, dates and empty cells for the
// refinement statements that follow the rows.
const char* const golden_csv =
    "id,name,amount,day,note\r\n"
    "1,O'Brien\\x,12.50,2024-01-31,\"say \"\"hi\"\"\"\r\n"
    "2,M\xC3\xBCller,-3,2024-02-29,\"two\r\nlines\"\r\n"
    "3,,,,\r\n"
    "4,\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80,1000,1999-12-31,\"cr\rhere\x1A\tend\"\r\n";

class DumpFile : public ::testing::Test {
 protected:
  void SetUp() override { write_file(dir_.file("sales.csv"), golden_csv); }

  // gridload --dump of sales.csv into `dest`, the dump settings given as
  // lines of the settings file, the header's path and date injected.
  run_result dump(const std::string& dest, const std::string& settings = "", std::vector<std::string> extra = {}) {
    write_file(dir_.file("settings"), settings);
    std::vector<std::string> args{"--from_csv", "--src=sales.csv", "--csv_delim=2", "--extr_fn",
                                  "--tab_name=sales", "--dump", "--dest=" + dest};
    for (std::string& a : extra) args.push_back(std::move(a));
    return testsupport::run_gridload(args, dir_.path(), env());
  }

  std::map<std::string, std::string> env() const {
    return {{"GRIDLOAD_SETTINGS", dir_.file("settings")},
            {"GRIDLOAD_DUMP_FILE_NAME", "C:\\dumps\\sales.sql"},
            {"GRIDLOAD_DUMP_DATE", "01/02/2030"}};
  }

  temp_dir dir_;
};

// The first line where two texts differ, for a readable failure.
std::string first_difference(const std::string& expected, const std::string& actual) {
  size_t line = 1, start = 0;
  for (size_t i = 0; i < std::min(expected.size(), actual.size()); ++i) {
    if (expected[i] != actual[i]) break;
    if (expected[i] == '\n') {
      ++line;
      start = i + 1;
    }
  }
  auto line_at = [&](const std::string& s) {
    if (start >= s.size()) return std::string("<end of file>");
    return s.substr(start, s.find('\n', start) - start);
  };
  return "first difference on line " + std::to_string(line) + "\n  expected: " + line_at(expected) +
         "\n  actual:   " + line_at(actual);
}

void expect_golden(const std::string& name, const std::string& actual) {
  const std::string path = testsupport::source_dir() + "/tests/golden/dump/" + name;
  if (const char* update = std::getenv("GRIDLOAD_UPDATE_GOLDEN"); update && std::string(update) == "1") {
    write_file(path, actual);
    return;
  }
  ASSERT_TRUE(testsupport::file_exists(path)) << path << " is missing (GRIDLOAD_UPDATE_GOLDEN=1 writes it)";
  const std::string expected = read_file(path);
  EXPECT_TRUE(expected == actual) << name << ": " << first_difference(expected, actual);
}

struct golden_case {
  const char* file;
  const char* settings;
  void (*check)(const std::string& dump);
  std::vector<std::string> extra_args = {};
};

const golden_case golden_cases[] = {
    {"defaults.sql", "", [](const std::string& d) {
       EXPECT_EQ(d.rfind("# File name: C:/dumps/sales.sql\r\n# Creation date: 01/02/2030\r\n# Created by Gridloader 7.1", 0), 0u);
     }},
    {"line_feed.sql", "dmp_line_br=1\n",
     [](const std::string& d) { EXPECT_EQ(d.find('\r'), std::string::npos) << "a CR in an LF dump"; }},
    // The column refinement's statements come from the driver: this case
    // shows the writer's own text.
    {"old_version.sql", "dmp_new_ver=0\ndmp_ins_db=1\n",
     [](const std::string& d) {
       EXPECT_EQ(d.find('`'), std::string::npos) << "a backtick in an old-version dump";
       EXPECT_NE(d.find(") TYPE=MyISAM;"), std::string::npos);
     },
     {"--no_refine"}},
    {"no_comments.sql", "dmp_ins_com=0\n",
     [](const std::string& d) {
       EXPECT_EQ(d.rfind("\r\nSET NAMES utf8;\r\n", 0), 0u);
       EXPECT_EQ(d.find('#'), std::string::npos);
     }},
    {"database.sql", "dmp_ins_db=1\nchar_set=utf8mb4\n",
     [](const std::string& d) {
       EXPECT_NE(d.find("DROP DATABASE IF EXISTS `sales`;\r\nCREATE DATABASE `sales` character set utf8mb4;\r\nUSE `sales`;"),
                 std::string::npos);
     }},
    {"no_create_table.sql", "dmp_ins_tab=0\ndmp_ins_db=1\n",
     [](const std::string& d) {
       EXPECT_EQ(d.find("TABLE `sales` ("), std::string::npos);
       EXPECT_EQ(d.find("DATABASE"), std::string::npos) << "database statements need the table definitions";
     }},
    {"no_locks.sql", "dmp_loc_wri=0\n", [](const std::string& d) { EXPECT_EQ(d.find("LOCK"), std::string::npos); }},
};

TEST_F(DumpFile, EachSettingGivesItsGoldenText) {
  for (const golden_case& c : golden_cases) {
    SCOPED_TRACE(c.file);
    const run_result r = dump("sales.sql", c.settings, c.extra_args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Converting CSV file sales.csv\n");
    const std::string text = read_file(dir_.file("sales.sql"));
    c.check(text);
    expect_golden(c.file, text);
  }
}

TEST_F(DumpFile, AnExistingFileIsReplacedInEveryMode) {
  for (const char* mode : {"0", "1", "2", "3"}) {
    SCOPED_TRACE(mode);
    write_file(dir_.file("old.sql"), std::string(200000, 'x'));
    const run_result r = dump("old.sql", "", {std::string("--mode=") + mode});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string text = read_file(dir_.file("old.sql"));
    EXPECT_EQ(text.rfind("# File name: ", 0), 0u);
    EXPECT_EQ(text.find('x' + std::string("xxx")), std::string::npos) << "bytes of the old file survive";
  }
}

TEST_F(DumpFile, DestinationsThatCannotBeWritten) {
  write_file(dir_.file("locked.sql"), "keep");
  testsupport::read_only_guard guard(dir_.file("locked.sql"));
  const struct {
    std::string dest;
    std::string out;
  } cases[] = {
      {dir_.path(), "Error:\nDestination name should specify a file, not folder.\n"},
      {dir_.file("locked.sql"), "Error:\nDestination name specifies an existing read-only file.\n"},
      {dir_.file("none/out.sql"),
       "Error:\nDestination path does not exist. Please verify the correct path was given.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dest);
    const run_result r = dump(c.dest);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
  EXPECT_EQ(read_file(dir_.file("locked.sql")), "keep");
}

// A file size limit makes the system refuse writes past it (SIGXFSZ is
// ignored, so the write fails with EFBIG instead of killing the process).
TEST_F(DumpFile, ARefusedWriteEndsTheRunWithItsReport) {
  // Rows enough for a multi-row statement of over 1,000,000 bytes: the
  // write fails while rows are converted.
  std::string big = "id,text\n";
  for (int i = 0; i < 3000; ++i) big += std::to_string(i) + "," + std::string(500, 'a') + "\n";
  write_file(dir_.file("big.csv"), big);
  write_file(dir_.file("settings"), "");
  // big.csv fails while rows are converted; the whole dump of sales.csv
  // fits the output buffer and fails when the file is closed.
  for (const std::string csv : {"big.csv", "sales.csv"}) {
    SCOPED_TRACE(csv);
    const run_result r =
        testsupport::run("/bin/sh",
                         {"sh", "-c", "ulimit -f 1; trap '' XFSZ; exec \"$0\" \"$@\"", testsupport::gridload_binary(),
                          "--from_csv", "--src=" + csv, "--csv_delim=2", "--extr_fn", "--tab_name=sales",
                          "--dump", "--dest=out.sql"},
                         dir_.path(), env());
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Converting CSV file " + csv + "\nError:\nCannot write dump file 'out.sql': File too large\n");
  }
}

}  // namespace
