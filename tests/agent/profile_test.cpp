// Profiles end to end: the real gridload binary with the profile fixtures
// of tests/data/profiles, against the private MariaDB server and into dump
// files loaded back.

#include <gtest/gtest.h>

#include <filesystem>

#include "workbook_support.h"

using testsupport::read_file;
using testsupport::run_result;
using testsupport::write_file;

namespace {

class ProfileRun : public wbtest::workbook_run {
 protected:
  void SetUp() override {
    workbook_run::SetUp();
    const std::string data = testsupport::source_dir() + "/tests/data/profiles/";
    for (const auto& entry : std::filesystem::directory_iterator(data))
      std::filesystem::copy_file(entry.path(), dir_.file(entry.path().filename().string()));
  }
  void TearDown() override {
    for (const std::string& db : extra_dbs_) check_.exec("DROP DATABASE IF EXISTS `" + db + "`");
    workbook_run::TearDown();
  }

  // The fixture with this test's server and database appended, then the
  // lines `extra`: a reopened section's keys win.
  std::string profile(const std::string& fixture, const std::string& extra = "") {
    std::string text = read_file(dir_.file(fixture));
    text += "\n[MySQL settings]\nhost=" + address_.host + "\nport=" + std::to_string(address_.port) +
            "\nuser=" + address_.user + "\npassword=" + address_.password + "\n";
    text += "\n[Generic settings]\ndest=" + db_ + "\n" + extra + "\n";
    const std::string path = dir_.file("run-" + fixture);
    write_file(path, text);
    return path;
  }

  // gridload with `args` into the server, then with --dump into a file
  // loaded back: each run's transcript titled `title`, then listing().
  std::vector<std::string> live_and_dump(const std::string& title, std::vector<std::string> args) {
    std::vector<std::string> out{testsupport::transcript(title, run(args))};
    reconnect();
    out.front() += listing();
    args.insert(args.end(), {"--dump", "--dest=out.sql"});
    const run_result r = run(args);
    if (load_dump("out.sql")) out.push_back(testsupport::transcript(title, r) + listing());
    return out;
  }

  // A run of a fixture: --profile= with profile(fixture, extra), then args.
  struct profile_case {
    const char* fixture;
    std::string extra;
    std::vector<std::string> args;
  };
  std::vector<std::string> profile_args(const profile_case& c) {
    std::vector<std::string> args{"--profile=" + profile(c.fixture, c.extra)};
    args.insert(args.end(), c.args.begin(), c.args.end());
    return args;
  }

  std::vector<std::string> extra_dbs_;
};

}  // namespace

// Each run into an empty database against tests/golden/profile/runs.txt:
// refinement leaves the mapped columns alone (balance keeps its decimal
// type); table properties reach CREATE TABLE (engine and collation listed);
// a profile's only-definitions flag leaves the table empty; a value that
// cannot take its mapped type ends the run, keeping the earlier rows; a
// table whose every column is deleted is reported, and the others go on; a
// mapped default its type cannot hold (2024-00-00 for a DATE) leaves the
// table out, reported (it was dropped without a word).
TEST_F(ProfileRun, EachProfileGivesItsGoldenTables) {
  const profile_case cases[] = {
      {"two_of_three_sheets.profile", "\n[MS Excel settings]\nrefine types=1\n", {}},
      {"table_properties.profile", "", {}},
      {"flags.profile", "", {}},
      {"conversion_failure.profile", "", {"--tab_name=payments", "--csv_delim=2"}},
      {"all_deleted.profile", "", {}},
      {"bad_default.profile", "", {"--tab_name=runs", "--csv_delim=2"}},
  };
  std::string text;
  for (const auto& c : cases) {
    check_.exec("DROP DATABASE IF EXISTS `" + db_ + "`");
    text += testsupport::transcript(c.fixture, run(profile_args(c)));
    reconnect();
    for (const auto& t : rows("SELECT table_name, engine, table_collation FROM information_schema.tables WHERE "
                              "table_schema='" +
                              db_ + "' ORDER BY 1"))
      text += t[0] + ": " + t[1] + " " + t[2] + "\n";
    text += listing() + "\n";
  }
  testsupport::expect_golden("profile/runs.txt", testsupport::replace_all(text, dir_.path(), "$TMP"));
}

// Each profile's run into the server and through a dump loaded back,
// against tests/golden/profile/live_and_dump.txt; the dump gives what the
// live run gives:
// - two of three sheets, columns renamed, dropped and retyped;
// - decimal_range: a value out of the range of a mapped DECIMAL once the
//   server has rounded it is refused alone; the dump leaves it out, reported
//   in the live run's words (it used to write it and stop loading at that
//   row's statement);
// - latin1_table: a table the type mappings give a character set of its own
//   refuses a text that set cannot hold (the dump checked the database's
//   set, wrote the row, and stopped loading at its statement);
// - mapped_defaults: a column with a mapped default keeps its type when the
//   refined type cannot hold the default (the dump wrote the ALTER TABLE the
//   server refuses, and stopped loading there, after turning the column's
//   empty texts into NULL);
// - dropped_column: the columns after a deleted one are refined by their
//   own values;
// - durations: a column mapped to TIME takes durations whole (a duration
//   went through a moment and kept its time of day: 36:00:00 gave 12:00:00);
// - months: two sheets the type mappings send to one table both fill it, in
//   modes 1 and 2: a table this run made is neither replaced (mode 1 used to
//   keep only the last sheet's rows) nor skipped (mode 2) by a later sheet;
// - mapped_types: a number past SMALLINT's range is refused (it was wrapped
//   around: 32768 stored as -32768), DATETIME and TEXT make those columns
//   (they made a VARCHAR(8), refusing every date and cutting texts), and
//   numbers under DATE are the dates their serials mean (they ended the run),
//   a negative one refused (the dump leaves it out);
//   a text longer than a mapped TINYTEXT holds is refused (live widened the
//   column, the dump wrote the row and stopped loading there), and so is a
//   moment before 1970 under TIMESTAMP (the dump wrote it), a number past
//   YEAR's range (the dump wrote it) and a duration past TIME's, refused in
//   the live run's words; a type the
//   server does not know, or an AUTO_INCREMENT column that is no key, leaves
//   its table out, reported (the dump wrote its CREATE TABLE, and the load
//   stopped there); TEXT(50) and BLOB(10) refuse what TINYTEXT and TINYBLOB
//   cannot hold (the dump wrote it, and the load stopped there).
TEST_F(ProfileRun, EachDumpGivesWhatItsLiveRunGives) {
  wbtest::write_xlsx(dir_.file("months.xlsx"), {{"Jan", {{"id"}, {1.0}, {2.0}}}, {"Feb", {{"id"}, {3.0}, {4.0}}}});
  {
    wbtest::xlsx_book book(dir_.file("mapped.xlsx"));
    lxw_worksheet* s = book.sheet("m");
    wbtest::write_row(s, 0, {"small", "moment", "day", "note", "brief", "stamp", "yr", "dur"});
    lxw_format* stamp = book.format("yyyy-mm-dd hh:mm");
    wbtest::write_row(book.sheet("u"), 0, {"v"});
    // TEXT(50) and BLOB(10) are a TINYTEXT and a TINYBLOB (in any UTF-8).
    lxw_worksheet* t = book.sheet("t");
    const std::string past(256, 'z');
    wbtest::write_row(t, 0, {"short", "bin"});
    wbtest::write_row(t, 1, {"ok", "ok"});
    wbtest::write_row(t, 2, {past, "ok"});
    wbtest::write_row(t, 3, {"ok", past});
    wbtest::write_row(book.sheet("a"), 0, {"n"});
    const double smalls[] = {32767, 32768, -32769, 45000.4, 1, 2, 3, 4, 5};
    const double days[] = {45000, 45001, 45002, 45003, 45004, -1, 45005, 45006, 45007};
    for (lxw_row_t r = 1; r <= 9; ++r) {
      worksheet_write_number(s, r, 0, smalls[r - 1], nullptr);
      worksheet_write_number(s, r, 1, 45000.5 + r, stamp);
      worksheet_write_number(s, r, 2, days[r - 1], nullptr);
      worksheet_write_string(s, r, 3, std::string(300 + r, 'x').c_str(), nullptr);
      // 256 bytes, one more than TINYTEXT holds, and 4 of 2 characters.
      worksheet_write_string(s, r, 4, r == 5 ? std::string(256, 'y').c_str() : "\xC3\xA9\xC3\xA9", nullptr);
      // 1960 is before a TIMESTAMP's first day.
      worksheet_write_number(s, r, 5, r == 7 ? 21916 : 45000.25, stamp);
      // A year past YEAR's range, and 960 hours past TIME's.
      worksheet_write_number(s, r, 6, r == 8 ? 45000 : 2024, nullptr);
      worksheet_write_number(s, r, 7, r == 9 ? 40 : 1.5, nullptr);
    }
  }
  const profile_case cases[] = {
      {"two_of_three_sheets.profile", "", {}},
      {"decimal_range.profile", "", {"--tab_name=prices", "--csv_delim=2"}},
      {"latin1_table.profile", "", {"--tab_name=people", "--csv_delim=2"}},
      {"mapped_defaults.profile", "", {"--tab_name=stock", "--csv_delim=2"}},
      {"dropped_column.profile", "", {"--tab_name=sales", "--csv_delim=2"}},
      {"durations.profile", "", {"--tab_name=runs", "--csv_delim=2"}},
      {"months.profile", "mode=1", {}},
      {"months.profile", "mode=2", {}},
      {"mapped_types.profile", "", {}},
  };
  std::string text;
  for (const auto& c : cases) {
    const std::string title = c.fixture + (c.extra.empty() ? "" : ", " + c.extra);
    SCOPED_TRACE(title);
    check_.exec("DROP DATABASE IF EXISTS `" + db_ + "`");
    const std::vector<std::string> texts = live_and_dump(title, profile_args(c));
    ASSERT_EQ(texts.size(), 2u);
    // A dump's database is named after its file; it says that it meets no
    // table of the server in mode 2 (loaded, it makes its tables anew).
    std::string dump = testsupport::replace_all(texts[1], "`out`.", "`" + db_ + "`.");
    // Rows alone would add the sheets' rows to the tables mode 2 leaves as
    // they are: the notice does not send the user there (it did).
    const std::string notice =
        "Mode 2 does not reach a dump: its tables are dropped and made anew when it is loaded (a dump cannot leave a "
        "worksheet's table as it is: convert into the server for that)\n";
    EXPECT_EQ(dump.find(notice) != std::string::npos, c.extra == "mode=2");
    EXPECT_EQ(testsupport::replace_all(dump, notice, ""), texts[0]);
    text += texts[0] + "\n";
  }
  testsupport::expect_golden("profile/live_and_dump.txt", text);
}

// A mapped TEXT beside a mapped CHAR(3): the dump leaves out the row whose
// text the CHAR cannot hold, and loads. The TEXT's size made the dump take
// every other text column for a long one: it wrote the row, and the load
// stopped there with every row of the table lost.
TEST_F(ProfileRun, AMappedTextLeavesTheOtherColumnsTheirLength) {
  write_file(dir_.file("codes.csv"), "id,note,code\n1,a,abc\n2,b,abcd\n");
  write_file(dir_.file("codes.profile"),
             "[Generic settings]\nsrc=codes.csv\n[MS Excel settings]\nconvert from xls=0\nextract field names=1\n[Type "
             "Mappings]\n"
             "tables:\n  - name: codes\n    fields:\n      - name: note\n        type: TEXT\n      - name: code\n"
             "        type: CHAR\n        length: 3\n");
  const run_result r =
      dump("codes.csv", "out.sql", {"--profile=codes.profile", "--from_csv", "--tab_name=codes", "--csv_delim=2"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("codes, record #2: Data too long for column 'code'"), std::string::npos) << r.out;
  ASSERT_TRUE(load_dump("out.sql"));
  EXPECT_EQ(rows("SELECT * FROM codes"), (wbtest::table_rows{{"1", "a", "abc"}}));
}

// Columns the type mappings give one name make no table, reported before
// the table is made: live the server refused the table, and the dump wrote
// a CREATE TABLE that does not load. Nothing converted, the run fails and
// no dump file is written.
TEST_F(ProfileRun, ColumnsMappedToOneNameMakeNoTable) {
  const std::vector<std::string> args{"--profile=" + profile("same_names.profile"), "--tab_name=prices",
                                      "--csv_delim=2"};
  const std::string out =
      "Error:\nprices: The type mappings give two columns of table 'prices' the name 'ID': it is not converted\n"
      "Error:\nNothing of 'decimal_range.csv' could be converted";
  run_result r = run(args);
  EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(255, out + "\n"));
  EXPECT_TRUE(tables().empty());
  std::vector<std::string> dump_args = args;
  dump_args.insert(dump_args.end(), {"--dump", "--dest=out.sql"});
  r = run(dump_args);
  EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(255, out + ": the dump file is not written\n"));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("out.sql")));
}

TEST_F(ProfileRun, OptionsAfterTheProfileWinAndConnectionComesFromIt) {
  const std::string other = "gl_profile_override_other";
  check_.exec("DROP DATABASE IF EXISTS `" + other + "`");
  extra_dbs_.push_back(other);
  const std::string p = profile("override_order.profile");
  // The profile's destination replaces the earlier --dest=; its server
  // replaces --host/--port given on the command line.
  run_result r =
      run({"--dest=" + other, "--host=192.0.2.1", "--port=1", "--profile=" + p, "--tab_name=cities", "--csv_delim=2"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(tables(), std::vector<std::string>{"cities"});
  EXPECT_TRUE(tables(other).empty());
  // "refine types=yes" is false: the id column keeps its text type.
  EXPECT_EQ(columns("cities").front(), "id varchar(255)");
  r = run({"--profile=" + p, "--dest=" + other, "--tab_name=cities", "--csv_delim=2", "--port=1"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(tables(other), std::vector<std::string>{"cities"});
  // Mode 2 from the profile: the existing table of the first run got the rows again.
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM `" + db_ + "`.cities"), "2");
}

// The mode of a profile is checked as the command line's is; a key or
// section misspelt by letter case or blanks is refused (it was passed over:
// `Mode=0` left a workbook in mode 0, which emptied the database).
TEST_F(ProfileRun, ProfilesThatCannotBeLoadedStopTheRunBeforeAnything) {
  check_.exec("DROP DATABASE `" + db_ + "`");
  std::string text;
  for (const char* fixture :
       {"bad_indent.profile", "fields_after_properties.profile", "equals_in_mappings.profile", "bad_mode.profile",
        "misspelt_key.profile", "misspelt_section.profile", "missing.profile", "enum_type.profile"}) {
    SCOPED_TRACE(fixture);
    const std::string p = std::string(fixture) == "missing.profile" ? fixture : profile(fixture);
    text += testsupport::transcript(fixture, run({"--profile=" + p}));
    EXPECT_TRUE(tables().empty());
  }
  testsupport::expect_golden("profile/unloadable.txt", testsupport::replace_all(text, dir_.path(), "$TMP"));
}
