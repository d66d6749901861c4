// Dump files written by the real gridload binary from a small CSV file:
// the whole text under each setting that changes it, byte for byte against
// tests/golden/dump (GRIDLOAD_UPDATE_GOLDEN=1 rewrites them), the
// destination checks, and writes that the system refuses.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <tuple>

#include "test_support.h"

using testsupport::gridload_binary;
using testsupport::read_file;
using testsupport::run_result;
using testsupport::write_file;

namespace {

// Quotes, backslashes, a line break inside a quoted value (CR LF, read as
// LF), a lone CR, Ctrl-Z, a tab, 2-, 3- and 4-byte characters; numbers,
// dates and empty cells for the refinement statements after the rows.
const char* const sales_csv =
    "id,name,amount,day,note\r\n"
    "1,O'Brien\\x,12.50,2024-01-31,\"say \"\"hi\"\"\"\r\n"
    "2,M\xC3\xBCller,-3,2024-02-29,\"two\r\nlines\"\r\n"
    "3,,,,\r\n"
    "4,\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80,1000,1999-12-31,\"cr\rhere\x1A\tend\"\r\n";

class DumpFile : public ::testing::Test {
 protected:
  // big.csv: rows past the output buffer, for the writes that fail.
  void SetUp() override {
    write_file(dir_.file("sales.csv"), sales_csv);
    std::string big = "id,text\n";
    for (int i = 0; i < 3000; ++i) big += std::to_string(i) + "," + std::string(500, 'a') + "\n";
    write_file(dir_.file("big.csv"), big);
  }

  // `program` is gridload, or a shell that runs it; the dump settings are
  // lines of the settings file; the header's path and date are injected.
  run_result dump(const std::string& dest, const std::string& settings, std::vector<std::string> extra = {},
                  std::vector<std::string> program = {gridload_binary()}, const char* csv = "sales.csv") {
    write_file(dir_.file("settings"), settings);
    std::vector<std::string> args = program;
    for (const char* a : {"--from_csv", "--csv_delim=2", "--extr_fn", "--tab_name=sales", "--dump"}) args.push_back(a);
    args.push_back(std::string("--src=") + csv);
    args.push_back("--dest=" + dest);
    for (std::string& a : extra) args.push_back(std::move(a));
    return testsupport::run(program[0], args, dir_.path(),
                            {{"GRIDLOAD_SETTINGS", dir_.file("settings")},
                             {"GRIDLOAD_DUMP_FILE_NAME", "C:\\dumps\\sales.sql"},
                             {"GRIDLOAD_DUMP_DATE", "01/02/2030"}});
  }

  testsupport::temp_dir dir_;
};

// The report of the row with a 4-byte character, in a dump of database `db`,
// showing the bytes from the first character the column cannot hold.
std::string refused_row(const std::string& db = "sales", const std::string& shown = "\\xF0\\x9F\\x98\\x80") {
  return "Error:\nsales, record #4: Incorrect string value: '" + shown + "' for column `" + db +
         "`.`sales`.`name` at row 1\n";
}

// The file each setting gives; the column refinement's statements come
// from the driver, so the old version's case shows the writer's own text.
// The file is UTF-8 whatever character set the database is created in, and
// without one the database takes the server's default.
const struct {
  const char* file;
  const char* settings;
  std::vector<std::string> extra_args = {};
} golden_cases[] = {
    {"defaults.sql", ""},
    {"line_feed.sql", "dmp_line_br=1\ndmp_ins_db=1\nchar_set=\n"},
    {"old_version.sql", "dmp_new_ver=0\ndmp_ins_db=1\n", {"--no_refine"}},
    {"no_comments.sql", "dmp_ins_com=0\n"},
    {"database.sql", "dmp_ins_db=1\nchar_set=utf8mb4\n"},
    {"no_create_table.sql", "dmp_ins_tab=0\ndmp_ins_db=1\n"},
    {"no_locks.sql", "dmp_loc_wri=0\ndmp_ins_db=1\nchar_set=latin1\n"},
};

TEST_F(DumpFile, EachSettingGivesItsGoldenText) {
  for (const auto& c : golden_cases) {
    SCOPED_TRACE(c.file);
    const run_result r = dump("sales.sql", c.settings, c.extra_args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // A 4-byte character cannot travel in a three-byte UTF-8 file, nor its
    // Japanese text into a latin1 database the dump makes: the server would
    // refuse the row, and the dump leaves it out as a live run does.
    const std::string settings = c.settings;
    const bool four_byte = settings.find("utf8mb4") != std::string::npos;
    const bool latin1 = settings.find("latin1") != std::string::npos;
    EXPECT_EQ(r.out,
              "Converting CSV file sales.csv\n" + (four_byte ? ""
                                                   : latin1  ? refused_row("sales", "\\xE6\\x9D\\xB1\\xE4\\xBA\\xAC...")
                                                             : refused_row()));
    testsupport::expect_golden(std::string("dump/") + c.file, read_file(dir_.file("sales.sql")));
  }
}

TEST_F(DumpFile, AnExistingFileIsReplacedInEveryMode) {
  for (const char* mode : {"0", "1", "2", "3"}) {
    SCOPED_TRACE(mode);
    write_file(dir_.file("old.sql"), std::string(200000, '~'));
    namespace fs = std::filesystem;
    fs::permissions(dir_.file("old.sql"), fs::perms::owner_read | fs::perms::owner_write);
    const run_result r = dump("old.sql", "", {std::string("--mode=") + mode});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string text = read_file(dir_.file("old.sql"));
    EXPECT_EQ(text.rfind("# File name: ", 0), 0u);
    EXPECT_EQ(text.find('~'), std::string::npos) << "bytes of the old file survive";
    EXPECT_EQ(fs::status(dir_.file("old.sql")).permissions(), fs::perms::owner_read | fs::perms::owner_write)
        << "a private file stays private";
  }
}

// A symbolic link stays and the file it leads to gets the dump; a link to
// the run's own output (as /dev/stdout is) gets it on that output, a pipe
// or a file the shell opened, instead of a file put in the link's place.
// The messages then go to the standard error: in the statements they would
// stop the loading.
TEST_F(DumpFile, LinksAndStreamsAreWrittenThrough) {
  const std::string settings = "dmp_ins_db=1\nchar_set=utf8mb4\n";
  const std::string expected = read_file(testsupport::source_dir() + "/tests/golden/dump/database.sql");
  const std::string messages = "Converting CSV file sales.csv\n";
  // Links named sales.sql: the database takes the destination's name.
  write_file(dir_.file("real.sql"), "~");
  std::filesystem::create_directory(dir_.file("link"));
  std::filesystem::create_symlink("../real.sql", dir_.file("link/sales.sql"));
  std::filesystem::create_directory(dir_.file("stream"));
  std::filesystem::create_symlink("/proc/self/fd/1", dir_.file("stream/sales.sql"));
  const std::vector<std::string> shell{"/bin/sh", "-c", "exec \"$0\" \"$@\" >shell.sql", gridload_binary()};
  const struct {
    std::vector<std::string> program;
    const char* dest;
    const char* written;  // where the dump lands, or null for the standard output
  } cases[] = {
      {{gridload_binary()}, "link/sales.sql", "real.sql"},
      {{gridload_binary()}, "stream/sales.sql", nullptr},
      {shell, "stream/sales.sql", "shell.sql"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program.size() == 1 ? c.dest : "through the shell");
    const run_result r = dump(dir_.file(c.dest), settings, {}, c.program);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(c.written ? read_file(dir_.file(c.written)) : r.out, expected);
    EXPECT_EQ(c.written && c.program.size() == 1 ? r.out : r.err, messages);
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.file(c.dest)));
  }
  // A reader that goes away: the run says so where it can be read.
  const run_result closed =
      dump("/dev/stdout", "", {},
           {"/bin/bash", "-c", "\"$0\" \"$@\" | head -c 10 >/dev/null; exit ${PIPESTATUS[0]}", gridload_binary()},
           "big.csv");
  EXPECT_EQ(closed.status, 255);
  EXPECT_EQ(closed.err,
            "Converting CSV file big.csv\nError:\nsales: Cannot write dump file '/dev/stdout': Broken pipe\n");
  // A named pipe that no reader opens is waited for, but not past a signal
  // (a blocking open used to outlast `timeout`'s).
  ASSERT_EQ(::mkfifo(dir_.file("fifo").c_str(), 0600), 0);
  const run_result waited =
      dump(dir_.file("fifo"), "", {}, {"/usr/bin/timeout", "--preserve-status", "1", gridload_binary()});
  EXPECT_EQ(std::tuple(waited.status, waited.out),
            std::tuple(128 + SIGTERM, std::string("Error:\nThe conversion was interrupted (SIGTERM)\n")));
}

// Destinations that cannot be written, a source that cannot be read, and a
// trace log on a full device: none is the end of the data or a quiet loss;
// the run ends with the reason.
TEST_F(DumpFile, WhatCannotBeWrittenOrReadEndsTheRunWithItsReport) {
  write_file(dir_.file("locked.sql"), "keep");
  testsupport::read_only_guard guard(dir_.file("locked.sql"));
  const struct {
    std::string dest, csv, option, before, error;
  } cases[] = {
      {"locked.sql", "sales.csv", "", "", "Destination name specifies an existing read-only file."},
      {"none/out.sql", "sales.csv", "", "",
       "Destination path does not exist. Please verify the correct path was given."},
      {"out.sql", "/proc/self/mem", "", "", "Cannot read CSV file '/proc/self/mem': Input/output error"},
      // Nothing is done without the trace asked for (a merge that went on
      // would be merged again by a script that retries on 255).
      {"out.sql", "sales.csv", "--logfile=/dev/full", "", "Cannot write log file '/dev/full': No space left on device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dest + " from " + c.csv);
    const std::vector<std::string> extra = c.option.empty() ? std::vector<std::string>{} : std::vector{c.option};
    const run_result r = dump(c.dest, "", extra, {gridload_binary()}, c.csv.c_str());
    EXPECT_EQ(std::tuple(r.status, r.out, r.err), std::tuple(255, c.before + "Error:\n" + c.error + "\n", ""));
  }
  EXPECT_EQ(read_file(dir_.file("locked.sql")), "keep");
  EXPECT_FALSE(std::filesystem::exists(dir_.file("out.sql")));
}

// A file size limit of 512 bytes makes the system refuse later writes: the
// write fails (File too large) and is reported; the limit's signal does not
// end the run unheard.
TEST_F(DumpFile, ARefusedWriteEndsTheRunWithItsReport) {
  // big.csv fails while its rows are written (the report names the table);
  // the whole dump of sales.csv fits the output buffer and fails when the
  // file is closed. Either way an earlier dump stays as it was, and no
  // temporary file is left behind.
  for (const auto& [csv, before] :
       {std::pair{"big.csv", std::string("Error:\nsales: ")}, {"sales.csv", refused_row("out") + "Error:\n"}}) {
    SCOPED_TRACE(csv);
    write_file(dir_.file("out.sql"), "an earlier dump");
    const run_result r =
        dump("out.sql", "", {}, {"/bin/sh", "-c", "ulimit -f 1; exec \"$0\" \"$@\"", gridload_binary()}, csv);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, std::string("Converting CSV file ") + csv + "\n" + before +
                         "Cannot write dump file 'out.sql': File too large\n");
    EXPECT_EQ(read_file(dir_.file("out.sql")), "an earlier dump");
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
      files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"big.csv", "out.sql", "sales.csv", "settings"}));
  }
}

}  // namespace
