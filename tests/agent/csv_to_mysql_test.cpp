// CSV files into a live server, end to end: the real gridload binary against
// the private MariaDB server, checked through a connection of the test's own.

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "mysql_test_server.h"
#include "test_support.h"

using testsupport::mysql_fixture;
using testsupport::mysql_row;
using testsupport::run_gridload;
using testsupport::run_result;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {

class CsvToMysql : public mysql_fixture {
 protected:
  std::vector<std::string> server_args(const std::string& port = "") const {
    return {"--host=" + address_.host, "--port=" + (port.empty() ? std::to_string(address_.port) : port),
            "--user=" + address_.user, "--pswd=" + address_.password};
  }

  run_result convert(const std::string& csv, const std::string& table, std::vector<std::string> extra = {},
                     const std::map<std::string, std::string>& env = {}) {
    std::vector<std::string> args{"--from_csv", "--src=" + csv, "--csv_delim=2", "--extr_fn",
                                  "--tab_name=" + table, "--dest=" + db_};
    for (const std::string& a : server_args()) args.push_back(a);
    for (const std::string& a : extra) args.push_back(a);
    return run_gridload(args, dir_.path(), env);
  }

  // Column name -> type as SHOW COLUMNS gives it.
  std::map<std::string, std::string> column_types(const std::string& table) {
    std::map<std::string, std::string> types;
    for (const mysql_row& r : check_.query("SHOW COLUMNS FROM `" + table + "`")) types[*r[0]] = *r[1];
    return types;
  }

  std::vector<std::string> column(const std::string& table, const std::string& col, const std::string& order) {
    std::vector<std::string> out;
    for (const mysql_row& r : check_.query("SELECT `" + col + "` FROM `" + table + "` ORDER BY " + order))
      out.push_back(r[0] ? *r[0] : "<NULL>");
    return out;
  }

  temp_dir dir_;
};

std::string quote_csv(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

// A deterministic CSV with every column kind. Columns: id (int), big
// (bigint), price (two decimals), mixed (numbers and words), day (dates),
// moment (date-times), clock (times), nothing (always empty), note (text
// with commas, quotes, line breaks and 4-byte characters).
struct generated_csv {
  std::string text;
  std::vector<std::vector<std::string>> rows;
};

generated_csv make_csv(int n, uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  generated_csv g;
  g.text = "id,big,price,mixed,day,moment,clock,nothing,note\r\n";
  char buf[64];
  for (int i = 1; i <= n; ++i) {
    std::vector<std::string> r;
    r.push_back(std::to_string(i));
    r.push_back(pick(0, 4) == 0 ? "" : std::to_string(3000000000LL + i));
    std::snprintf(buf, sizeof buf, "%d.%02d", pick(0, 9999), pick(0, 99));
    r.push_back(buf);
    r.push_back(i % 7 == 0 ? "n/a" : std::to_string(pick(-50, 50)));
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", pick(1990, 2030), pick(1, 12), pick(1, 28));
    r.push_back(buf);
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", pick(1990, 2030), pick(1, 12), pick(1, 28),
                  pick(0, 23), pick(0, 59), pick(0, 59));
    r.push_back(buf);
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", pick(0, 23), pick(0, 59), pick(0, 59));
    r.push_back(buf);
    r.push_back("");
    static const char* notes[] = {"plain", "a, b", "say \"hi\"", "line1\nline2", "caf\xC3\xA9 \xF0\x9F\x98\x80",
                                  "back\\slash", "it's", ""};
    r.push_back(notes[pick(0, 7)]);
    for (size_t k = 0; k < r.size(); ++k) g.text += (k ? "," : "") + quote_csv(r[k]);
    g.text += i % 2 ? "\r\n" : "\n";
    g.rows.push_back(std::move(r));
  }
  return g;
}

}  // namespace

TEST_F(CsvToMysql, EveryColumnKindArrivesWhole_AndColumnsAreRefined) {
  const int n = 20000;
  generated_csv g = make_csv(n, 7);
  write_file(dir_.file("data.csv"), g.text);
  // 4-byte characters need the utf8mb4 session and columns.
  run_result r = convert("data.csv", "facts", {"--charset=utf8mb4"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "Converting CSV file data.csv\n");
  EXPECT_EQ(r.err, "");

  std::map<std::string, std::string> types = column_types("facts");
  EXPECT_EQ(types["id"], "int(11)");
  EXPECT_EQ(types["big"], "bigint(20)");
  EXPECT_EQ(types["price"], "double");
  EXPECT_EQ(types["mixed"], "varchar(255)");
  EXPECT_EQ(types["day"], "date");
  EXPECT_EQ(types["moment"], "datetime");
  EXPECT_EQ(types["clock"], "time");
  EXPECT_EQ(types["nothing"], "varchar(255)") << "a column without a value keeps its type";
  EXPECT_EQ(types["note"], "varchar(255)");

  ASSERT_EQ(check_.scalar("SELECT COUNT(*) FROM facts"), std::to_string(n));
  // Every value, compared with the file. Empty cells of refined columns are NULL.
  const char* cols[] = {"id", "big", "price", "mixed", "day", "moment", "clock", "nothing", "note"};
  for (size_t c = 0; c < 9; ++c) {
    SCOPED_TRACE(cols[c]);
    std::vector<std::string> got = column("facts", cols[c], "id");
    ASSERT_EQ(got.size(), static_cast<size_t>(n));
    size_t mismatches = 0;
    for (int i = 0; i < n && mismatches < 5; ++i) {
      std::string want = g.rows[i][c];
      if (want.empty() && (c == 1)) want = "<NULL>";
      if (c == 2) {
        // A DOUBLE prints without trailing zeros.
        double v = std::stod(want);
        std::ostringstream s;
        s.precision(15);
        s << v;
        want = s.str();
      }
      if (got[i] != want) {
        ++mismatches;
        ADD_FAILURE() << "row " << i + 1 << ": got '" << got[i] << "', want '" << want << "'";
      }
    }
  }
}

TEST_F(CsvToMysql, ProcessingModesWithAnExistingTable) {
  write_file(dir_.file("t.csv"), "k,v\n1,one\n2,two\n");
  struct row {
    std::string mode;
    bool other_kept;
    std::vector<std::string> keys;
    const char* v_type;
  } rows[] = {
      {"0", false, {"1", "2"}, "varchar(255)"},
      {"1", true, {"1", "2"}, "varchar(255)"},
      {"2", true, {"1", "1", "2", "2"}, "varchar(20)"},
      {"3", true, {"1", "1", "2", "2"}, "varchar(20)"},
  };
  for (const row& m : rows) {
    SCOPED_TRACE("mode " + m.mode);
    check_.exec("DROP TABLE IF EXISTS t");
    check_.exec("DROP TABLE IF EXISTS other");
    check_.exec("CREATE TABLE t (k VARCHAR(20), v VARCHAR(20))");
    check_.exec("INSERT INTO t VALUES ('1', 'old'), ('2', 'old')");
    check_.exec("CREATE TABLE other (x INT)");
    run_result r = convert("t.csv", "t", {"--mode=" + m.mode});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::string dummy;
    check_.open(address_, db_, dummy);
    EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM information_schema.tables WHERE table_schema='" + db_ +
                            "' AND table_name='other'"),
              m.other_kept ? "1" : "0");
    EXPECT_EQ(column("t", "k", "k"), m.keys);
    EXPECT_EQ(column_types("t")["v"], m.v_type);
  }
  // Merge gathers no statistics: the text key column keeps its type.
  EXPECT_EQ(column_types("t")["k"], "varchar(20)");
}

TEST_F(CsvToMysql, LongValueWidensItsColumnOnce_AndRefinementCanBeTurnedOff) {
  std::string long_text(300, 'x');
  long_text[299] = 'y';
  write_file(dir_.file("w.csv"), "n,txt\n1,short\n2," + long_text + "\n3," + long_text + "z\n");
  run_result r = convert("w.csv", "w", {"--no_refine"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::map<std::string, std::string> types = column_types("w");
  EXPECT_EQ(types["txt"], "text");
  EXPECT_EQ(types["n"], "varchar(255)") << "--no_refine keeps the source's types";
  EXPECT_EQ(column("w", "txt", "n"), (std::vector<std::string>{"short", long_text, long_text + "z"}));
}

TEST_F(CsvToMysql, RefusedRecordIsReportedAndTheOthersAreStored) {
  check_.exec("CREATE TABLE strict_t (n VARCHAR(10), qty INT NOT NULL)");
  write_file(dir_.file("s.csv"), "n,qty\na,1\nb,2\nc,lots\nd,4\n");
  run_result r = convert("s.csv", "strict_t", {"--mode=3"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Error:\nstrict_t, record #3: "), std::string::npos) << r.out;
  EXPECT_EQ(column("strict_t", "n", "n"), (std::vector<std::string>{"a", "b", "d"}));
  EXPECT_EQ(column("strict_t", "qty", "n"), (std::vector<std::string>{"1", "2", "4"}));
}

TEST_F(CsvToMysql, SilentRunPrintsNothing) {
  write_file(dir_.file("q.csv"), "a\n1\n");
  run_result r = convert("q.csv", "quiet", {"--silent"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM quiet"), "1");
}

TEST_F(CsvToMysql, PortTextIsReadUpToItsFirstNonDigit) {
  write_file(dir_.file("p.csv"), "a\n1\n");
  std::vector<std::string> args{"--from_csv", "--src=p.csv", "--csv_delim=2", "--tab_name=p", "--dest=" + db_,
                                "--host=" + address_.host, "--port=" + std::to_string(address_.port) + "abc",
                                "--user=  " + address_.user + " ", "--pswd=" + address_.password};
  run_result r = run_gridload(args, dir_.path());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM p"), "2") << "no header: both lines are rows";
}

TEST_F(CsvToMysql, WrongPasswordShowsTheFriendlyText) {
  write_file(dir_.file("p.csv"), "a\n1\n");
  std::vector<std::string> args{"--from_csv", "--src=p.csv", "--csv_delim=2", "--tab_name=p", "--dest=" + db_,
                                "--host=" + address_.host, "--port=" + std::to_string(address_.port),
                                "--user=" + address_.user, "--pswd=wrong"};
  run_result r = run_gridload(args, dir_.path());
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out,
            "Error:\nAccess denied. Verify the user name and password are correct, and you have the necessary "
            "privileges to connect to the target MySQL server.\n");
}

TEST_F(CsvToMysql, SettingsFileChoosesCharacterSetAndEngine) {
  write_file(dir_.file("settings"), "char_set=utf8mb4\ntab_type=MyISAM\n");
  write_file(dir_.file("e.csv"), "a\n\xF0\x9F\x98\x80\n");
  check_.exec("DROP DATABASE `" + db_ + "`");
  run_result r = convert("e.csv", "e", {}, {{"GRIDLOAD_SETTINGS", dir_.file("settings")}});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  std::string dummy;
  check_.open(address_, db_, dummy);
  EXPECT_EQ(check_.scalar("SELECT default_character_set_name FROM information_schema.schemata WHERE schema_name='" +
                          db_ + "'"),
            "utf8mb4");
  EXPECT_EQ(check_.scalar("SELECT engine FROM information_schema.tables WHERE table_schema='" + db_ +
                          "' AND table_name='e'"),
            "MyISAM");
  EXPECT_EQ(check_.scalar("SELECT a FROM e"), "\xF0\x9F\x98\x80");
}
