#include "udb_profile.h"

#include <gtest/gtest.h>

#include <functional>

#include "test_support.h"
#include "tk_exception.h"
#include "tk_logger.h"
#include "tk_unicode.h"
#include "udb_converter.h"

namespace {

using entries = std::vector<udb_profile::entry>;
using lines = std::vector<std::u16string>;

std::string utf8(std::u16string_view text) { return tk_unicode_to_utf8(text); }

// The failure must be a tk_exception (not a subclass mistaken for it) with
// exactly this level and text.
void expect_failure(const std::function<void()>& action, unsigned level, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no exception; expected: " << message;
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.message(), message);
    EXPECT_EQ(e.level(), level);
  }
}

TEST(udb_profile_syntax, SettingsSectionsAndBareLines) {
  struct row {
    const char* name;
    std::string text;
    const char16_t* section;
    entries expected_entries;
    lines expected_lines;
  };
  const row rows[] = {
      {"blanks around key, equals sign and value",
       "[S]\n  \t key one \t=  value one\t \n",
       u"S",
       {{u"key one", u"value one"}},
       {}},
      {"only the first equals sign splits", "[S]\nquery=a=b = c\n", u"S", {{u"query", u"a=b = c"}}, {}},
      {"empty value and empty key", "[S]\nk=\n=v\n", u"S", {{u"k", u""}, {u"", u"v"}}, {}},
      {"bare lines keep their blanks, key is trimmed",
       "[S]\nSheet1\n    indented  \n",
       u"S",
       {{u"Sheet1", u""}, {u"indented", u""}},
       {u"Sheet1", u"    indented  "}},
      {"lines before the first section are ignored", "orphan=1\nbare\n[S]\nk=v\n", u"S", {{u"k", u"v"}}, {}},
      {"blank lines are skipped, not kept", "[S]\n\n   \n\t\nk=v\n", u"S", {{u"k", u"v"}}, {}},
      {"CR LF line ends", "[S]\r\nk=v\r\n  bare\r\n", u"S", {{u"k", u"v"}, {u"bare", u""}}, {u"  bare"}},
      {"no line end at the end of the file", "[S]\nk=v", u"S", {{u"k", u"v"}}, {}},
      {"section name is taken between the brackets as written", "[ Spaced ]\nk=v\n", u" Spaced ", {{u"k", u"v"}}, {}},
      {"section header may be indented", "   [S]  \nk=v\n", u"S", {{u"k", u"v"}}, {}},
      {"a reopened section goes on", "[S]\na=1\n[T]\nx=0\n[S]\nb=2\n", u"S", {{u"a", u"1"}, {u"b", u"2"}}, {}},
      {"a key written twice keeps its place, last value wins",
       "[S]\na=1\nb=2\na=3\n",
       u"S",
       {{u"a", u"3"}, {u"b", u"2"}},
       {}},
      {"a bare line after its setting empties the value",
       "[S]\nSheet1=q\nSheet1\n",
       u"S",
       {{u"Sheet1", u""}},
       {u"Sheet1"}},
      {"duplicate bare lines all stay in the line list", "[S]\n  x\n  x\n", u"S", {{u"x", u""}}, {u"  x", u"  x"}},
      {"a bracket line that does not close is a bare line", "[S]\n[open\n", u"S", {{u"[open", u""}}, {u"[open"}},
      {"section names are case-sensitive", "[s]\nk=v\n", u"S", {}, {}},
      {"UTF-8 byte-order mark dropped", "\xEF\xBB\xBF[S]\nk=caf\xC3\xA9\n", u"S", {{u"k", u"caf\u00e9"}}, {}},
      {"a mark that is not at the start is text", "[S]\n\xEF\xBB\xBFk=v\n", u"S", {{u"\uFEFFk", u"v"}}, {}},
      {"four-byte UTF-8", "[S]\nk=\xF0\x9F\x98\x80\n", u"S", {{u"k", u"\U0001F600"}}, {}},
  };
  for (const row& x : rows) {
    SCOPED_TRACE(x.name);
    udb_profile p;
    p.parse(x.text);
    EXPECT_EQ(p.get_entries(x.section), x.expected_entries);
    EXPECT_EQ(p.get_lines(x.section), x.expected_lines);
    for (const auto& [key, value] : x.expected_entries) EXPECT_EQ(p.get_value(x.section, key), value);
  }
}

TEST(udb_profile_syntax, MissingSectionOrKeyGivesEmpty) {
  udb_profile p;
  p.parse("[Generic settings]\nsrc=a.xlsx\n");
  EXPECT_EQ(p.get_value(u"Generic settings", u"src"), u"a.xlsx");
  EXPECT_EQ(p.get_value(u"Generic settings", u"SRC"), u"");
  EXPECT_EQ(p.get_value(u"Generic settings", u"dest"), u"");
  EXPECT_EQ(p.get_value(u"Other", u"src"), u"");
  EXPECT_TRUE(p.get_entries(u"Other").empty());
  EXPECT_TRUE(p.get_lines(u"Other").empty());
  EXPECT_TRUE(p.has_section(u"Generic settings"));
  EXPECT_FALSE(p.has_section(u"generic settings"));
  // A second parse starts afresh.
  p.parse("[Other]\nk=v\n");
  EXPECT_FALSE(p.has_section(u"Generic settings"));
}

TEST(udb_profile_syntax, LongLines) {
  // Lines far past any fixed buffer, in a value and in a bare line.
  for (size_t n : {4094u, 4095u, 4096u, 100000u}) {
    SCOPED_TRACE(n);
    const std::string value(n, 'v');
    const std::string bare = "  " + std::string(n, 'b');
    udb_profile p;
    p.parse("[S]\nk=" + value + "\n" + bare + "\nafter=1\n");
    EXPECT_EQ(utf8(p.get_value(u"S", u"k")), value);
    ASSERT_EQ(p.get_lines(u"S").size(), 1u);
    EXPECT_EQ(utf8(p.get_lines(u"S")[0]), bare);
    EXPECT_EQ(p.get_value(u"S", u"after"), u"1");
  }
}

TEST(udb_profile_syntax, BytesThatAreNotUtf8) {
  // Under a UTF-8 code page the bytes that do not decode become U+FFFD; the
  // rest of the line, and the lines after it, are read as usual.
  tk_init_code_page();
  ASSERT_TRUE(tk_code_page_is_utf8());
  udb_profile p;
  p.parse("[S]\nk=caf\xE9 ok\nnext=\xC3\xA9\n");
  EXPECT_EQ(p.get_value(u"S", u"k"), u"caf\uFFFD ok");
  EXPECT_EQ(p.get_value(u"S", u"next"), u"\u00e9");
}

TEST(udb_profile_load, FilesOnDisk) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir.file("p.profile"), "\xEF\xBB\xBF[Generic settings]\r\ndest=db\r\n");
  udb_profile p;
  EXPECT_TRUE(p.load(dir.file("p.profile")));
  EXPECT_EQ(p.get_value(u"Generic settings", u"dest"), u"db");
  // The wide form names the same file.
  udb_profile q;
  EXPECT_TRUE(q.load(tk_utf8_to_unicode(dir.file("p.profile"))));
  EXPECT_EQ(q.get_value(u"Generic settings", u"dest"), u"db");
  // An empty file is a profile without sections.
  testsupport::write_file(dir.file("empty"), "");
  EXPECT_TRUE(p.load(dir.file("empty")));
  EXPECT_TRUE(p.sections().empty());
}

TEST(udb_profile_load, MissingProfile) {
  testsupport::temp_dir dir;
  const std::string message = "Profile does not exist. Please verify the correct path/name was given.";
  udb_profile p;
  for (const std::string& path : {dir.file("missing.profile"), dir.path(), std::string()}) {
    SCOPED_TRACE(path);
    expect_failure([&] { p.load(path); }, 1, message);
  }
  expect_failure([&] { p.load(std::u16string_view(u"/no/such/folder/p.profile")); }, 1, message);
}

// ---- udb_converter::load_profile ------------------------------------------

struct converter_state {
  bool only_definitions;
  bool skip_indexes;
  int32_t mode;
};

TEST(udb_converter_profile, GenericFlagsAndMode) {
  // Flags: only "0" is false; empty or missing leaves the setting. Mode: one
  // digit 0..3.
  struct row {
    const char* name;
    const char* generic;
    converter_state before;
    converter_state after;
  };
  const row rows[] = {
      {"0 is false", "only definitions=0\nskip indexes=0\n", {true, true, 2}, {false, false, 2}},
      {"1 is true", "only definitions=1\nskip indexes=1\n", {false, false, 2}, {true, true, 2}},
      {"no and false are true", "only definitions=no\nskip indexes=false\n", {false, false, 0}, {true, true, 0}},
      {"00 is not 0", "only definitions=00\n", {false, false, 0}, {true, false, 0}},
      {"empty leaves the setting", "only definitions=\nskip indexes=\nmode=\n", {true, false, 2}, {true, false, 2}},
      {"missing leaves the setting", "src=x\n", {false, true, 3}, {false, true, 3}},
      {"mode 0", "mode=0\n", {false, false, 2}, {false, false, 0}},
      {"mode 3", "mode=3\n", {false, false, 0}, {false, false, 3}},
      {"mode is trimmed like every value", "mode=  1  \n", {false, false, 0}, {false, false, 1}},
  };
  for (const row& x : rows) {
    SCOPED_TRACE(x.name);
    udb_profile p;
    p.parse(std::string("[Generic settings]\n") + x.generic);
    udb_converter c;
    c.set_mode(x.before.mode);
    // The flags have no setters: a first profile puts them in place.
    udb_profile setup;
    setup.parse(std::string("[Generic settings]\nonly definitions=") + (x.before.only_definitions ? "1" : "0") +
                "\nskip indexes=" + (x.before.skip_indexes ? "1" : "0") + "\n");
    c.load_profile(setup);
    EXPECT_TRUE(c.load_profile(p));
    EXPECT_EQ(c.only_definitions(), x.after.only_definitions);
    EXPECT_EQ(c.skip_indexes(), x.after.skip_indexes);
    EXPECT_EQ(c.mode(), x.after.mode);
  }
}

TEST(udb_converter_profile, InvalidModeStopsTheLoad) {
  for (const char* mode : {"4", "01", "-1", "1x", "9", "a", "12", "\xEF\xBC\x91" /* full-width 1 */}) {
    SCOPED_TRACE(mode);
    udb_profile p;
    p.parse(std::string("[Generic settings]\nmode=") + mode + "\nskip indexes=1\n");
    udb_converter c;
    c.set_mode(2);
    expect_failure([&] { c.load_profile(p); }, 1, "Invalid merge/overwrite mode");
    EXPECT_EQ(c.mode(), 2);
    EXPECT_FALSE(c.mode_from_profile());
    // The load stopped at the mode: the key after it was not read.
    EXPECT_FALSE(c.skip_indexes());
  }
}

TEST(udb_converter_profile, SourceDestinationAndSelections) {
  udb_profile p;
  p.parse(
      "[Generic settings]\n"
      "src = C:\\data\\book one.xlsx \n"
      "dest=sales\n"
      "[Selected Tables]\n"
      "Sheet2\n"
      "Sheet1\n"
      "recent = SELECT * FROM t WHERE a = 1\n"
      "[Selected Views]\n"
      "v1=SELECT 1\n"
      "[Available Queries]\n"
      "q1=SELECT 2\n");
  udb_converter c;
  c.set_source(u"before");
  c.set_destination(u"before");
  EXPECT_TRUE(c.load_profile(p));
  EXPECT_EQ(c.source(), u"C:\\data\\book one.xlsx");
  EXPECT_EQ(c.destination(), u"sales");
  const std::vector<udb_selection> tables = {
      {u"Sheet2", u""}, {u"Sheet1", u""}, {u"recent", u"SELECT * FROM t WHERE a = 1"}};
  ASSERT_EQ(c.selected_entries().size(), tables.size());
  for (size_t i = 0; i < tables.size(); ++i) {
    EXPECT_EQ(c.selected_entries()[i].name, tables[i].name);
    EXPECT_EQ(c.selected_entries()[i].query, tables[i].query);
  }
  ASSERT_EQ(c.selected_views().size(), 1u);
  EXPECT_EQ(c.selected_views()[0].query, u"SELECT 1");
  ASSERT_EQ(c.available_queries().size(), 1u);
  EXPECT_EQ(c.available_queries()[0].name, u"q1");

  // A profile without those keys and sections leaves them; one with an
  // empty "Selected Tables" section empties the list.
  udb_profile second;
  second.parse("[Generic settings]\ndest=\n[Other]\nk=v\n");
  c.load_profile(second);
  EXPECT_EQ(c.destination(), u"sales");
  EXPECT_EQ(c.selected_entries().size(), 3u);
  second.parse("[Selected Tables]\n[Generic settings]\n");
  c.load_profile(second);
  EXPECT_TRUE(c.selected_entries().empty());
  EXPECT_EQ(c.selected_views().size(), 1u);
}

TEST(udb_converter_profile, Logfile) {
  testsupport::temp_dir dir;
  tk_logger logger(dir.file("first.log"), false, 3, false);
  udb_profile p;
  p.parse("[Generic settings]\nlogfile=" + dir.file("from_profile.log") + "\n");
  udb_converter c;
  c.load_profile(p);
  EXPECT_EQ(logger.file_name(), dir.file("from_profile.log"));
  EXPECT_TRUE(logger.enabled());
  EXPECT_EQ(c.logfile(), dir.file("from_profile.log"));
  // The log file's own checks apply (a folder is refused).
  p.parse("[Generic settings]\nlogfile=" + dir.path() + "\n");
  expect_failure([&] { c.load_profile(p); }, 1, "Logfile name specifies an existing path.");
}

}  // namespace
