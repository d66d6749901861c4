// The command-line cursor and the table-names file, tested in process.

#include "cmd_line.h"

#include <gtest/gtest.h>

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

// The first option whose text starts the argument wins; the rest is its value.
TEST(AnsiCmdLine, ClassifiesByFirstFittingPrefix) {
  struct row {
    const char* arg;
    long id;
    const char* value;
  } rows[] = {
      {"--dest=my db", 2, "my db"},
      {"--dump", 3, ""},
      {"--dumpX", 3, "X"},
      {"--help", 7, ""},
      {"--helpme", 7, "me"},
      {"--host=", 9, ""},
      {"--pswd=x=y", 14, "x=y"},
      {"--DUMP", -1, ""},
      {"--dest", -1, ""},
      {"-help", -1, ""},
      {"", -1, ""},
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

// (The byte-order mark and empty lines are shown end to end.)
TEST(ProcessTabFile, ALongLineIsTakenWhole) {
  testsupport::temp_dir dir;
  std::string long_name(5000, 'n');
  testsupport::write_file(dir.file("long.txt"), long_name + "\nB");
  std::vector<std::u16string> names = process_tab_file(dir.file("long.txt"));
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].size(), 5000u);
  EXPECT_EQ(names[1], u"B");
}
