// The command-line cursor and the table-names file, tested in process.

#include <gtest/gtest.h>

#include "cmd_line.h"
#include "test_support.h"

namespace {

struct classified {
  long id;
  std::string value;
};

std::vector<classified> classify(std::vector<std::string> args, std::vector<std::string>* unrecognised = nullptr) {
  args.insert(args.begin(), "gridload");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  ansi_cmd_line cmd(static_cast<int>(argv.size()), argv.data(), g_cmd_options);
  std::vector<classified> out;
  for (; cmd.has_current(); cmd.next()) out.push_back({cmd.option_id(), cmd.value()});
  if (unrecognised) *unrecognised = cmd.unrecognised();
  return out;
}

}  // namespace

TEST(AnsiCmdLine, ClassifiesByFirstFittingPrefix) {
  struct row {
    const char* arg;
    long id;
    const char* value;
  } rows[] = {
      {"--charset=latin1", 0, "latin1"}, {"--csv_delim=2", 1, "2"},   {"--dest=my db", 2, "my db"},
      {"--dump", 3, ""},                {"--dumpX", 3, "X"},         {"--engine=MyISAM", 4, "MyISAM"},
      {"--extr_fn", 5, ""},             {"--from_csv", 6, ""},       {"--help", 7, ""},
      {"--helpme", 7, "me"},            {"--logfile=a.log", 8, "a.log"}, {"--host=", 9, ""},
      {"--mode=3", 10, "3"},            {"--no_refine", 11, ""},     {"--port=3307", 12, "3307"},
      {"--profile=p.ini", 13, "p.ini"}, {"--pswd=x=y", 14, "x=y"},   {"--silent", 15, ""},
      {"--skip_empty", 16, ""},         {"--src=a.xls", 17, "a.xls"}, {"--tab_file=t", 18, "t"},
      {"--tab_name=t", 19, "t"},        {"--user=root", 20, "root"}, {"--DUMP", -1, ""},
      {"--dest", -1, ""},               {"-help", -1, ""},           {"", -1, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.arg);
    std::vector<classified> c = classify({r.arg});
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].id, r.id);
    EXPECT_EQ(c[0].value, r.value);
  }
}

TEST(AnsiCmdLine, CollectsAnyNumberOfUnrecognisedArguments) {
  std::vector<std::string> args, unrecognised;
  for (int i = 0; i < 30; ++i) args.push_back("bad" + std::to_string(i));
  args.push_back("--silent");
  std::vector<classified> c = classify(args, &unrecognised);
  EXPECT_EQ(c.size(), 31u);
  EXPECT_EQ(unrecognised.size(), 30u);
  EXPECT_EQ(unrecognised.back(), "bad29");
  EXPECT_TRUE(classify({}).empty());
}

TEST(ProcessTabFile, ByteOrderMarkSelectsUtf8AndEmptyLinesAreSkipped) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("t.txt"), "\xEF\xBB\xBFSheet1\r\n\r\n  My Data \n\xC3\x89t\xC3\xA9\n");
  EXPECT_EQ(process_tab_file(dir.file("t.txt")),
            (std::vector<std::u16string>{u"Sheet1", u"  My Data ", u"\u00c9t\u00e9"}));
  // Without the mark the code page decides; a long line is taken whole.
  std::string long_name(5000, 'n');
  testsupport::write_file(dir.file("long.txt"), long_name + "\nB");
  std::vector<std::u16string> names = process_tab_file(dir.file("long.txt"));
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].size(), 5000u);
  EXPECT_EQ(names[1], u"B");
}
