#include "udb_profile.h"

#include <gtest/gtest.h>

#include <tuple>

#include "expect_failure.h"
#include "test_support.h"
#include "tk_logger.h"
#include "tk_unicode.h"
#include "udb_converter.h"

using testsupport::expect_failure;

namespace {

using entries = std::vector<udb_profile::entry>;
using lines = std::vector<std::u16string>;

TEST(udb_profile_syntax, SettingsSectionsAndBareLines) {
  tk_init_code_page();
  auto many = [](size_t n, char16_t c) { return std::u16string(n, c); };
  auto narrow = [](size_t n, char c) { return std::string(n, c); };
  const struct {
    const char* name;
    std::string text;
    entries expected_entries;  // of section "S"
    lines expected_lines = {};
  } rows[] = {
      {"blanks around key, equals sign and value",
       "[S]\n \t key one \t=  value one\t \n",
       {{u"key one", u"value one"}}},
      {"only the first equals sign splits", "[S]\nquery=a=b = c\n", {{u"query", u"a=b = c"}}},
      {"bare lines kept as read, keyed trimmed",
       "[S]\nSheet1\n    indented  \n",
       {{u"Sheet1", u""}, {u"indented", u""}},
       {u"Sheet1", u"    indented  "}},
      {"lines before the first section ignored", "orphan=1\nbare\n[S]\nk=v\n", {{u"k", u"v"}}},
      {"blank lines skipped; CR LF; no final line end",
       "[S]\r\n\r\n \t\r\nk=v\r\n  bare",
       {{u"k", u"v"}, {u"bare", u""}},
       {u"  bare"}},
      {"indented header; a reopened section goes on",
       "  [S] \na=1\n[T]\nx=0\n[S]\nb=2\n",
       {{u"a", u"1"}, {u"b", u"2"}}},
      {"a key twice keeps its place, last value wins", "[S]\na=1\nb=2\na=3\n", {{u"a", u"3"}, {u"b", u"2"}}},
      {"duplicate bare lines all kept as lines", "[S]\n  x\n  x\n", {{u"x", u""}}, {u"  x", u"  x"}},
      {"section names are case-sensitive", "[s]\nk=v\n", {}},
      {"byte-order mark dropped",
       "\xEF\xBB\xBF[S]\nk=caf\xC3\xA9 \xF0\x9F\x98\x80\n",
       {{u"k", u"caf\u00e9 \U0001F600"}}},
      {"a mark later in the file is text", "[S]\n\xEF\xBB\xBFk=v\n", {{u"\uFEFFk", u"v"}}},
      // Under a UTF-8 code page, bytes that do not decode become U+FFFD.
      {"bytes that are not UTF-8",
       "[S]\nk=caf\xE9 ok\nnext=\xC3\xA9\n",
       {{u"k", u"caf\uFFFD ok"}, {u"next", u"\u00e9"}}},
      {"lines of any length",
       "[S]\nk=" + narrow(4095, 'v') + "\n  " + narrow(100000, 'b') + "\nafter=1\n",
       {{u"k", many(4095, u'v')}, {many(100000, u'b'), u""}, {u"after", u"1"}},
       {u"  " + many(100000, u'b')}},
  };
  ASSERT_TRUE(tk_code_page_is_utf8());
  for (const auto& x : rows) {
    SCOPED_TRACE(x.name);
    udb_profile p;
    p.parse(x.text);
    EXPECT_EQ(std::pair(p.get_entries(u"S"), p.get_lines(u"S")), std::pair(x.expected_entries, x.expected_lines));
    for (const auto& [key, value] : x.expected_entries) EXPECT_EQ(p.get_value(u"S", key), value);
    // Keys and sections are case-sensitive; a missing one reads as empty.
    EXPECT_EQ(p.get_value(u"S", u"K") + p.get_value(u"T", u"k"), u"");
  }
}

// A missing profile is refused end to end (tests/agent); a folder or an
// empty name is no profile either.
TEST(udb_profile_load, FoldersAndEmptyNamesAreNoProfiles) {
  testsupport::temp_dir dir;
  udb_profile p;
  for (const std::string& path : {dir.path(), std::string()}) {
    SCOPED_TRACE(path);
    expect_failure([&] { p.load(path); }, 1, 0,
                   "Profile does not exist. Please verify the correct path/name was given.");
  }
}

// Once read, a section or key that differs from one the readers asked for
// only in letter case, blanks, invisible characters or punctuation is named;
// names that differ otherwise, and sections nobody asked for, are not.
TEST(udb_profile_syntax, MisspeltNamesOfWhatWasRead) {
  const struct {
    const char* text;
    std::u16string misspelt;
  } cases[] = {
      {"[Generic settings]\nmode=2\nnote=x\n[Other tool]\nMode=1\n", u""},
      {"[Generic settings]\nMode=2\n", u"key 'Mode' of section 'Generic settings' is spelt 'mode'"},
      {"[Generic settings]\nmode:2\n", u"key 'mode:2' of section 'Generic settings' is spelt 'mode'"},
      {"[Generic settings]\nmode\xC2\xA0=2\n", u"key 'mode<U+00A0>' of section 'Generic settings' is spelt 'mode'"},
      {"[generic Settings]\nmode=2\n", u"section 'generic Settings' is spelt 'Generic settings'"},
      {"[Selected_Tables]\nA\n", u"section 'Selected_Tables' is spelt 'Selected Tables'"},
      {"[Selected Table]\nA\n", u""},
      // Other tools' keys that begin with a read one, notes before the
      // sections: no slips (they were refused).
      {"Mode 2 profile (skip existing tables)\n# mode: see below\n[Generic settings]\nmode name=x\n"
       "[MySQL settings]\nhost name=db1\nHost-specific profile, do not share\n",
       u""},
      {"[Generic settings]\nmode 2\n", u"key 'mode 2' of section 'Generic settings' is spelt 'mode'"},
      {"[Generic settings]\n[MySQL settings]\nmode=2\n",
       u"key 'mode' of section 'MySQL settings' is a key of section 'Generic settings'"},
      {"[Generic settings] ; main\nmode=2\n",
       u"the line '[Generic settings] ; main' is no header of section 'Generic settings': a header stands alone on its "
       u"line"},
      {"mode=2\n[Generic settings]\n",
       u"the line 'mode=2' stands before any section (the key 'mode' is one of section 'Generic settings')"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    udb_profile p;
    p.parse(c.text);
    p.get_value(u"Generic settings", u"mode");
    p.get_value(u"MySQL settings", u"host");
    p.get_entries(u"Selected Tables");
    EXPECT_EQ(p.misspelt_name(), c.misspelt);
  }
}

// ---- udb_converter::load_profile ------------------------------------------

TEST(udb_converter_profile, FlagsAndMode) {
  // Flags: only "0" is false; empty or missing leaves the setting. Mode: one
  // digit from 0 to 3.
  const struct {
    const char* generic;
    bool only_definitions, skip_indexes;
    int32_t mode;
  } rows[] = {
      {"only definitions=0\nskip indexes=0\n", false, false, 2},
      {"only definitions=no\nskip indexes=false\n", true, true, 2},
      {"only definitions=00\nmode=0\n", true, true, 0},
      {"only definitions=\nskip indexes=\nmode=\n", true, true, 2},
      {"mode= 3 \n", true, true, 3},
  };
  for (const auto& x : rows) {
    SCOPED_TRACE(x.generic);
    udb_converter c;
    udb_profile p;
    p.parse("[Generic settings]\nonly definitions=1\nskip indexes=1\nmode=2\n");
    c.load_profile(p);
    p.parse(std::string("[Generic settings]\n") + x.generic);
    EXPECT_TRUE(c.load_profile(p));
    EXPECT_EQ(std::tuple(c.only_definitions(), c.skip_indexes(), c.mode()),
              std::tuple(x.only_definitions, x.skip_indexes, x.mode));
  }
  for (const char* mode : {"4", "01", "-1", "\xEF\xBC\x91" /* full-width 1 */}) {
    SCOPED_TRACE(mode);
    udb_profile p;
    p.parse(std::string("[Generic settings]\nmode=") + mode + "\nskip indexes=1\n");
    udb_converter c;
    c.set_mode(2);
    expect_failure([&] { c.load_profile(p); }, 1, 0, "Invalid merge/overwrite mode");
    EXPECT_EQ(c.mode(), 2);
    EXPECT_FALSE(c.skip_indexes());  // the load stopped at the mode
  }
}

// Which tables a profile selects is shown end to end (tests/agent). The log
// file named here goes through open_log, as --logfile does, whose refusals
// (a folder, a read-only file) are shown end to end (tests/agent/gridload_cli_test.cpp).
TEST(udb_converter_profile, PathsAndSelections) {
  testsupport::temp_dir dir;
  tk_logger logger(dir.file("first.log"), false, 3, false);
  udb_profile p;
  p.parse("[Generic settings]\nsrc = C:\\data\\book one.xlsx \ndest=sales\nlogfile=" + dir.file("p.log") +
          "\n[Selected Tables]\nSheet2\n");
  udb_converter c;
  EXPECT_TRUE(c.load_profile(p));
  EXPECT_EQ(std::tuple(c.source(), c.destination(), logger.file_name(), c.selected_entries().size()),
            std::tuple(u"C:\\data\\book one.xlsx", u"sales", dir.file("p.log"), 1u));
  // Missing keys and sections leave what is there; an empty section empties its list.
  p.parse("[Generic settings]\ndest=\n[Selected Tables]\n");
  c.load_profile(p);
  EXPECT_EQ(std::pair(c.destination(), c.selected_entries().size()), std::pair(std::u16string(u"sales"), size_t{0}));
}

}  // namespace
