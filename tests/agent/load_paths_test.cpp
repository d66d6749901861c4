// Rows reach the server through LOAD DATA LOCAL, through INSERT statements
// (load_data=0), or through INSERT statements because the server refuses
// local infile: the three runs of the same inputs leave the same tables and
// print the same reports with the same exit statuses.

#include <gtest/gtest.h>

#include "mysql_test_server.h"
#include "workbook_support.h"

using testsupport::run_result;
using testsupport::write_file;

namespace {

class LoadPaths : public wbtest::workbook_run {
 protected:
  // Every kind of column the refinement makes, the strict mode's refusals (a
  // 4-byte character in a three-byte database), texts the LOAD text must
  // escape, a cell above the server's packet limit and one just below it.
  static std::string kinds_csv() {
    std::string text =
        "int,big,real,us,iso,moment,clock,txt,code\n"
        "1,3000000000,5.5,12/31/2024,2024-02-29,2024-01-02 10:20:30,100:00:00,plain,007\n"
        "-7,-3000000000,1e3,1/2/2023,1999-12-31,1999-12-31 23:59:59,-1:00:00,\"tab\there, \\back\\ 'q' "
        "\"\"dq\"\"\",12\n"
        ",,,,,,,\xF0\x9F\x98\x80 refused,\n"
        ",,,,,,,,\n"
        "5,6,7,1/3/2023,2000-01-01,2000-01-01 00:00:00,0:00:00,\"two\nlines\",NULL\n"
        "8,9,10,1/4/2023,2000-01-02,2000-01-02 00:00:00,1:00:00,\\N,x\n";
    text += "11,12,13,1/5/2023,2000-01-03,2000-01-03 00:00:00,2:00:00," + std::string(70000, 'o') + ",over\n";
    text += "14,15,16,1/6/2023,2000-01-04,2000-01-04 00:00:00,3:00:00," + std::string(30000, 'u') + ",under\n";
    return text;
  }

  // The runs of one path against `server`: their transcripts, the tables
  // they leave, and each trace log.
  std::string runs(const testsupport::mysql_address& server, bool load_data, std::vector<std::string>& logs) {
    address_ = server;
    std::string why;
    EXPECT_TRUE(check_.open(address_, "", why)) << why;
    check_.exec("DROP DATABASE IF EXISTS `" + db_ + "`");
    write_file(dir_.file("settings"), load_data ? "" : "load_data=0\n");
    const std::map<std::string, std::string> env{{"GRIDLOAD_SETTINGS", dir_.file("settings")}};
    const std::string xls = testsupport::source_dir() + "/tests/data/xls/cell_kinds.xls";
    const std::vector<std::pair<std::string, std::vector<std::string>>> steps = {
        {"kinds.csv", csv_args("csv", {"--mode=0"})},
        {"kinds.csv", csv_args("csv", {"--mode=1"})},
        {"kinds.csv", csv_args("csv", {"--mode=3"})},
        {"kinds.csv", csv_args("more_csv", {"--mode=2"})},
        {xls, {"--extr_fn", "--mode=2"}},
    };
    std::string text;
    logs.clear();
    for (const auto& [source, args] : steps) {
      std::vector<std::string> extra = args;
      extra.push_back("--logfile=run.log");
      const run_result r = convert(source, extra, env);
      text += testsupport::transcript(source, r);
      logs.push_back(testsupport::read_file(dir_.file("run.log")));
    }
    return text + listing();
  }
};

TEST_F(LoadPaths, SameTablesReportsAndStatuses) {
  write_file(dir_.file("kinds.csv"), kinds_csv());
  testsupport::throwaway_mariadb on, off;
  std::string why;
  ASSERT_TRUE(on.start("--max-allowed-packet=65536 --local-infile=1", why)) << why;
  ASSERT_TRUE(off.start("--max-allowed-packet=65536 --local-infile=0", why)) << why;
  std::vector<std::string> logs;
  const std::string loaded = runs(on.address(), true, logs);
  // A record refused by the server (a 4-byte character, a packet past the
  // limit) is left out alone: every other is stored, in file order.
  EXPECT_EQ(column("more_csv", "code"), (std::vector<std::string>{"007", "12", "", "NULL", "x", "under"}));
  // The merge's slash dates into DATE columns are refused: its blocks are
  // rolled back and sent as INSERT statements.
  for (size_t i : {0u, 1u, 3u, 4u})
    EXPECT_NE(logs[i].find("go through LOAD DATA LOCAL"), std::string::npos) << "run " << i;
  const std::string inserted = runs(on.address(), false, logs);
  for (const std::string& log : logs) EXPECT_EQ(log.find("LOAD DATA"), std::string::npos);
  EXPECT_EQ(inserted, loaded);
  const std::string refused = runs(off.address(), true, logs);
  EXPECT_NE(logs[0].find("LOAD DATA LOCAL refused"), std::string::npos);
  EXPECT_EQ(refused, loaded);
  // The refusals themselves.
  EXPECT_NE(loaded.find("csv, record #3: Incorrect string value"), std::string::npos) << loaded;
  EXPECT_NE(loaded.find("csv, record #7: Got a packet bigger than 'max_allowed_packet' bytes"), std::string::npos);
}

}  // namespace
