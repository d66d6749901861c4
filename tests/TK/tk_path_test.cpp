// Paths: splitting file names, and a destination in a folder that cannot be
// written. (Files, folders and write access are judged through the dump
// destination's and the log file's checks, in the dump file and command-line
// tests.)
#include "tk_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "expect_failure.h"
#include "test_support.h"
#include "tk_exception.h"
#include "tk_file_name.h"
#include "tk_file_wname.h"

using testsupport::read_only_guard;
using testsupport::temp_dir;

TEST(TkPath, FileNameSplitsPaths) {
  const std::string long_folder = "/" + std::string(300, 'd') + "/" + std::string(200, 'e') + "/";
  struct row {
    std::string path, folder, name, ext;
  } rows[] = {
      {"/a/b/data.csv", "/a/b/", "data", ".csv"},
      {"/a/b/archive.tar.gz", "/a/b/", "archive.tar", ".gz"},
      {"/a/./c/../b/noext", "/a/b/", "noext", ""},
      {"/a/.hidden", "/a/", ".hidden", ""},
      {"/x", "/", "x", ""},
      {long_folder + "file.log", long_folder, "file", ".log"},  // longer than 259 characters
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.path);
    tk_file_name n(r.path);
    EXPECT_EQ(std::tuple(n.drive() + n.folder(), n.name(), n.ext()), std::tuple(r.folder, r.name, r.ext));
  }
  // A relative path is taken from the current folder.
  EXPECT_EQ(tk_file_name("sub/out.sql").folder(), std::filesystem::current_path().string() + "/sub/");
  tk_file_wname w(u"/t/\u00e9t\u00e9.xlsx");
  EXPECT_EQ(std::tuple(w.folder(), w.name(), w.ext()), std::tuple(u"/t/", u"\u00e9t\u00e9", u".xlsx"));
}

// A folder, a read-only file and a missing folder are refused in the dump
// file tests.
TEST(TkPath, DumpDestinationInAFolderThatCannotBeWritten) {
  temp_dir dir;
  auto wide = [](const std::string& s) { return std::u16string(s.begin(), s.end()); };  // ASCII paths
  mkdir(dir.file("locked").c_str(), 0755);
  {
    read_only_guard ro(dir.file("locked"));
    testsupport::expect_failure([&] { common_check_dest(wide(dir.file("locked/out.sql"))); }, 1, 0,
                                "Cannot create or write into the destination file.\nRun the program as "
                                "Administrator or change folder.");
  }
  EXPECT_NO_THROW(common_check_dest(wide(dir.file("ok.sql"))));
}
