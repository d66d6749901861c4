// Profiles end to end: the real gridload binary with the profile fixtures
// of tests/data/profiles, against the private MariaDB server.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "mysql_test_server.h"
#include "test_support.h"

using testsupport::mysql_fixture;
using testsupport::mysql_row;
using testsupport::read_file;
using testsupport::run_gridload;
using testsupport::run_result;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {

class ProfileRun : public mysql_fixture {
 protected:
  void SetUp() override {
    mysql_fixture::SetUp();
    const std::string data = testsupport::source_dir() + "/tests/data/profiles/";
    for (const auto& entry : std::filesystem::directory_iterator(data))
      std::filesystem::copy_file(entry.path(), dir_.file(entry.path().filename().string()));
  }
  void TearDown() override {
    for (const std::string& db : extra_dbs_) check_.exec("DROP DATABASE IF EXISTS `" + db + "`");
    mysql_fixture::TearDown();
  }

  // The fixture with this test's server and database appended: a reopened
  // section's keys win.
  std::string profile(const std::string& fixture, const std::string& extra = "") {
    std::string text = read_file(dir_.file(fixture));
    text += "\n[MySQL settings]\nhost=" + address_.host + "\nport=" + std::to_string(address_.port) +
            "\nuser=" + address_.user + "\npassword=" + address_.password + "\n";
    text += "\n[Generic settings]\ndest=" + db_ + "\n" + extra;
    const std::string path = dir_.file("run-" + fixture);
    write_file(path, text);
    return path;
  }

  run_result run(const std::vector<std::string>& args) { return run_gridload(args, dir_.path()); }

  std::vector<std::string> tables(const std::string& db) {
    std::vector<std::string> out;
    for (const mysql_row& r : check_.query("SELECT table_name FROM information_schema.tables WHERE table_schema='" +
                                           db + "'"))
      out.push_back(*r[0]);
    std::sort(out.begin(), out.end());
    return out;
  }

  std::vector<std::string> columns(const std::string& db, const std::string& table) {
    std::vector<std::string> out;
    for (const mysql_row& r : check_.query("SELECT column_name, column_type FROM information_schema.columns WHERE "
                                           "table_schema='" + db + "' AND table_name='" + table +
                                           "' ORDER BY ordinal_position"))
      out.push_back(*r[0] + " " + *r[1]);
    return out;
  }

  temp_dir dir_;
  std::vector<std::string> extra_dbs_;
};

}  // namespace

TEST_F(ProfileRun, ChoosesTwoSheetsRenamesDropsAndRetypes) {
  run_result r = run({"--profile=" + profile("two_of_three_sheets.profile")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out,
            "Converting spreadsheet three_sheets.xlsx(2 worksheets)\nConverting table Customers\nConverting table "
            "Orders\n");
  EXPECT_EQ(tables(db_), (std::vector<std::string>{"Orders", "clients"}));
  EXPECT_EQ(columns(db_, "clients"), (std::vector<std::string>{"id double", "full_name varchar(255)",
                                                                "mail varchar(255)", "balance decimal(10,2)"}));
  std::vector<mysql_row> rows = check_.query("SELECT full_name, mail, balance FROM clients ORDER BY id");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(*rows[2][0], "Cy O'Hara");
  EXPECT_EQ(*rows[2][2], "-7.13");
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM Orders"), "2");
}

TEST_F(ProfileRun, RefinementLeavesMappedColumnsAlone) {
  run_result r = run({"--profile=" + profile("two_of_three_sheets.profile", "\n[MS Excel settings]\nrefine types=1\n")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  // id (whole numbers) is refined; balance keeps the type the mapping gave it.
  EXPECT_EQ(columns(db_, "clients"), (std::vector<std::string>{"id int(11)", "full_name varchar(255)",
                                                                "mail varchar(255)", "balance decimal(10,2)"}));
  EXPECT_EQ(check_.scalar("SELECT balance FROM clients WHERE id=3"), "-7.13");
}

TEST_F(ProfileRun, TablePropertiesReachCreateTable) {
  run_result r = run({"--profile=" + profile("table_properties.profile")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(tables(db_), std::vector<std::string>{"orders_2024"});
  EXPECT_EQ(check_.scalar("SELECT CONCAT(engine, ' ', table_collation) FROM information_schema.tables WHERE "
                          "table_schema='" + db_ + "' AND table_name='orders_2024'"),
            "MyISAM latin1_swedish_ci");
  EXPECT_EQ(columns(db_, "orders_2024").back(), "ordered date");
}

TEST_F(ProfileRun, OptionsAfterTheProfileWinAndConnectionComesFromIt) {
  const std::string other = "gl_profile_override_other";
  check_.exec("DROP DATABASE IF EXISTS `" + other + "`");
  extra_dbs_.push_back(other);
  const std::string p = profile("override_order.profile");
  // The profile's destination replaces the earlier --dest=; its server
  // replaces --host/--port given on the command line.
  run_result r = run({"--dest=" + other, "--host=192.0.2.1", "--port=1", "--profile=" + p, "--tab_name=cities",
                      "--csv_delim=2"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(tables(db_), std::vector<std::string>{"cities"});
  EXPECT_TRUE(tables(other).empty());
  // "refine types=yes" is false: the id column keeps its text type.
  EXPECT_EQ(columns(db_, "cities").front(), "id varchar(255)");
  r = run({"--profile=" + p, "--dest=" + other, "--tab_name=cities", "--csv_delim=2", "--port=1"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(tables(other), std::vector<std::string>{"cities"});
  // Mode 2 from the profile: the existing table of the first run got the rows again.
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM `" + db_ + "`.cities"), "2");
}

TEST_F(ProfileRun, FlagsOnlyDefinitionsAndSkipIndexes) {
  run_result r = run({"--profile=" + profile("flags.profile")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(tables(db_), std::vector<std::string>{"Orders"});
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM Orders"), "0") << "only definitions: no rows";
}

TEST_F(ProfileRun, ValueThatCannotTakeItsMappedTypeEndsTheRunKeepingEarlierRows) {
  run_result r = run({"--profile=" + profile("conversion_failure.profile"), "--tab_name=payments", "--csv_delim=2"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "Converting CSV file conversion_failure.csv\nError:\npayments: Data conversion is not supported "
                   "for given type mapping\n");
  EXPECT_EQ(check_.scalar("SELECT GROUP_CONCAT(amount ORDER BY id) FROM payments"), "12.50,7.25");
}

TEST_F(ProfileRun, ProfilesThatCannotBeLoadedStopTheRunBeforeAnything) {
  struct row {
    const char* fixture;
    std::string out;
  } rows[] = {
      {"bad_indent.profile", ""},
      {"fields_after_properties.profile", ""},
      {"bad_mode.profile", "Error:\nInvalid merge/overwrite mode\n"},
  };
  check_.exec("DROP DATABASE `" + db_ + "`");
  for (const row& c : rows) {
    SCOPED_TRACE(c.fixture);
    const std::string p = profile(c.fixture);
    run_result r = run({"--profile=" + p});
    EXPECT_EQ(r.status, 255);
    if (c.out.empty()) {
      EXPECT_EQ(r.out, "Error:\nThe type mappings of profile '" + p +
                           "' cannot be read: a line is out of place or wrongly indented.\n");
    } else {
      // The mode of a profile is checked as the command line's is.
      EXPECT_EQ(r.out, c.out);
    }
    EXPECT_TRUE(tables(db_).empty());
  }
  run_result r = run({"--profile=" + dir_.file("missing.profile")});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, "Error:\nProfile does not exist. Please verify the correct path/name was given.\n");
}
