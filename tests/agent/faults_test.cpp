// Faults while converting, end to end with the real binary: a destination
// that is the source, a server that dies (a small packet limit is in the
// load-path test), worksheets whose names differ only in case, a sheet too
// wide for a table, accounts short of rights, two runs creating one
// database, and a batch retried row by row. After each: the exit status,
// the exact report, and what the user's tables hold.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <future>
#include <thread>

#include "workbook_support.h"

using testsupport::run_result;
using testsupport::write_file;
using wbtest::table_rows;

namespace {

class Faults : public wbtest::workbook_run {
 protected:
  // "n,v" and `n` rows of `width` characters.
  std::string csv(int n, size_t width) {
    std::string text = "n,v\n";
    for (int i = 1; i <= n; ++i)
      text += std::to_string(i) + "," + std::string(width, static_cast<char>('a' + i % 26)) + "\n";
    return text;
  }
};

}  // namespace

// The dump replaces its destination at the end of the run: a destination
// that is the source, by any path to it, is refused before anything is
// written, and the source is as it was.
TEST_F(Faults, ADumpIntoItsOwnSourceIsRefused) {
  write_file(dir_.file("s.csv"), "a\n1\n");
  wbtest::write_xlsx(dir_.file("s.xlsx"), {{"S", {{"a"}}}});
  const std::string xlsx = testsupport::read_file(dir_.file("s.xlsx"));
  ASSERT_EQ(std::system(("mkdir -p " + dir_.file("sub") + " && ln -s ../s.csv " + dir_.file("sub/link.csv")).c_str()),
            0);
  const struct {
    std::string source, dest;
    bool csv;
  } cases[] = {{"s.xlsx", "s.xlsx", false}, {"s.csv", "./sub/../s.csv", true}, {"s.csv", "sub/link.csv", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dest);
    const run_result r = dump(c.source, c.dest, c.csv ? csv_args("t") : std::vector<std::string>{"--extr_fn"});
    EXPECT_EQ(std::tuple(r.status, r.out),
              std::tuple(255, "Error:\nThe destination file is the source file: '" + c.dest + "'\n"));
  }
  EXPECT_EQ(testsupport::read_file(dir_.file("s.csv")), "a\n1\n");
  EXPECT_EQ(testsupport::read_file(dir_.file("s.xlsx")), xlsx);
}

// A server killed in the middle of a load: one report naming the table and
// the record, status 255, and nothing sent after it.
TEST_F(Faults, AServerKilledMidLoadEndsTheRunOnce) {
  testsupport::throwaway_mariadb server;
  std::string why;
  ASSERT_TRUE(server.start("", why)) << why;
  use_server(server.address());
  write_file(dir_.file("big.csv"), csv(400000, 40));
  // In a thread of its own: convert() would reconnect the test's connection.
  const std::vector<std::string> args = live_args("big.csv", csv_args("big"));
  std::future<run_result> run = std::async(std::launch::async, [&] { return this->run(args); });
  // Killed once some batches are in.
  for (int i = 0; i < 600 && run.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready; ++i) {
    testsupport::mysql_connection probe;
    if (probe.open(address_, db_, why) && probe.scalar("SELECT COUNT(*) FROM information_schema.tables WHERE "
                                                       "table_schema='" +
                                                       db_ + "' AND table_rows > 0") == "1")
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  server.kill();
  const run_result r = run.get();
  EXPECT_EQ(r.status, 255) << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
  EXPECT_EQ(r.out.rfind("Converting CSV file big.csv\nError:\nbig, record #", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("Lost connection"), std::string::npos) << r.out;
}

// A trace log that the system stops taking (a file size limit) ends the run
// where it is: the sheets after it are not converted, so that status 255
// does not stand for a run that went on to the end.
TEST_F(Faults, ALogThatStopsTakingLinesEndsTheRunThere) {
  std::vector<wbtest::xlsx_sheet> sheets;
  for (char i = '1'; i <= '6'; ++i) sheets.push_back({std::string{'S', i}, {{"name", "amount"}, {"x", 1.5}}});
  wbtest::write_xlsx(dir_.file("many.xlsx"), sheets);
  const run_result r = shell("ulimit -f 1; trap '' XFSZ; exec \"$0\" \"$@\"",
                             live_args("many.xlsx", {"--extr_fn", "--logfile=run.log"}));
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.out.find("Cannot write log file 'run.log': File too large"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Converting table S6"), std::string::npos) << r.out;
  EXPECT_LT(tables().size(), 6u);
}

// "DATA" and "Data" are two worksheets: two tables, live and in a dump
// (tests/golden/faults/worksheet_names_in_case.txt).
TEST_F(Faults, WorksheetsWhoseNamesDifferInCaseKeepTheirRows) {
  wbtest::write_xlsx(dir_.file("case.xlsx"), {{"DATA", {{"v"}, {"upper"}}}, {"Other", {{"v"}, {"mixed"}}}});
  // The writer refuses such a pair; the workbook itself may hold it.
  wbtest::patch_part(dir_.file("case.xlsx"), "xl/workbook.xml", "name=\"Other\"", "name=\"Data\"");
  both_ways("case.xlsx", {"--extr_fn"}, "faults/worksheet_names_in_case.txt");
}

// One cell at A1 and one at XFD1048576: more columns than a table may have.
// Live and in a dump the worksheet is reported the same way, at once, and
// the dump holds nothing of it.
TEST_F(Faults, ASheetTooWideForATableIsRefusedAtOnce) {
  {
    wbtest::xlsx_book book(dir_.file("sparse.xlsx"));
    lxw_worksheet* sheet = book.sheet("Wide");
    worksheet_write_string(sheet, 0, 0, "first", nullptr);
    worksheet_write_string(sheet, 1048575, 16383, "last", nullptr);
  }
  for (bool direct : {true, false}) {
    SCOPED_TRACE(direct ? "into the server" : "into a dump file");
    const auto start = std::chrono::steady_clock::now();
    // A dump that went on would fill the disk: 10 MB and a minute at most.
    const run_result r = direct ? convert("sparse.xlsx", {"--extr_fn"})
                                : shell("ulimit -f 20000; trap '' XFSZ; exec timeout 60 \"$0\" \"$@\"",
                                        {"--src=sparse.xlsx", "--dump", "--dest=out.sql", "--extr_fn"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    // Nothing converted: the run fails, the database is left as it was
    // (mode 0 tries the table before emptying it), no dump file is written.
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out,
              std::string("Converting spreadsheet sparse.xlsx(1 worksheets)\nError:\nWide: Too many "
                          "columns\nError:\n") +
                  (direct ? "No worksheet of 'sparse.xlsx' could be converted: the destination is left as it was\n"
                          : "Nothing of 'sparse.xlsx' could be converted: the dump file is not written\n"));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("out.sql")));
  }
}

// Runs by accounts short of rights: one that may not open the existing
// database (mode 0 must not take it for a database to create, nor drop it)
// ends the run; one that may drop but not create tables (mode 1 cannot make
// the replacement) fails that table, and with it the run, which converted
// nothing. The old table keeps its rows.
TEST_F(Faults, AnAccountShortOfRightsLeavesTheTablesAsTheyWere) {
  sql({"CREATE TABLE t (n VARCHAR(20), v VARCHAR(20))", "INSERT INTO t VALUES ('1', 'old'), ('2', 'old')"});
  write_file(dir_.file("t.csv"), "n,v\n1,new\n");
  const struct {
    std::string mode, grant, out;
    int status;
  } cases[] = {
      {"0", "USAGE ON *.*", "Error:\nAccess denied", 255},
      {"1", "SELECT, INSERT, DROP, ALTER ON `" + db_ + "`.*", "Error:\nt: CREATE command denied", 255},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    sql({"DROP USER IF EXISTS 'gl_short'@'%'", "CREATE USER 'gl_short'@'%' IDENTIFIED BY 'pw'",
         "GRANT " + c.grant + " TO 'gl_short'@'%'"});
    const run_result r = run(live_args("t.csv", csv_args("t", {"--mode=" + c.mode, "--user=gl_short", "--pswd=pw"})));
    check_.exec("DROP USER 'gl_short'@'%'");
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
    EXPECT_EQ(tables(), std::vector<std::string>{"t"});
    EXPECT_EQ(rows("SELECT n, v FROM t ORDER BY n"), (table_rows{{"1", "old"}, {"2", "old"}}));
  }
}

// Two runs that create the same new database at the same moment both load.
TEST_F(Faults, TwoRunsCreatingOneDatabaseBothLoad) {
  write_file(dir_.file("a.csv"), "v\na\n");
  write_file(dir_.file("b.csv"), "v\nb\n");
  for (int attempt = 0; attempt < 4; ++attempt) {
    SCOPED_TRACE(attempt);
    check_.exec("DROP DATABASE `" + db_ + "`");
    auto start = [&](const char* file, const char* table) {
      return std::async(std::launch::async, [this, args = live_args(file, csv_args(table))] { return run(args); });
    };
    std::future<run_result> a = start("a.csv", "a");
    std::future<run_result> b = start("b.csv", "b");
    const run_result ra = a.get(), rb = b.get();
    EXPECT_EQ(std::pair(ra.status, ra.out), std::pair(0, std::string("Converting CSV file a.csv\n")));
    EXPECT_EQ(std::pair(rb.status, rb.out), std::pair(0, std::string("Converting CSV file b.csv\n")));
    reconnect();
    EXPECT_EQ(tables(), (std::vector<std::string>{"a", "b"}));
  }
}

// A batch the server takes with a warning is sent again row by row: when
// the batch was full, the row that did not fit waits in its own buffer, and
// the statements of the retry are built afresh. The refused row is
// reported; every other row, before and after it, is stored.
TEST_F(Faults, ABatchRetriedRowByRowLosesNothing) {
  check_.exec("CREATE TABLE r (n INT NOT NULL, v VARCHAR(300))");
  std::string text = csv(5000, 250);
  const size_t at = text.find("\n3,");
  text.replace(at + 1, text.find(',', at + 1) - at - 1, "three");
  write_file(dir_.file("r.csv"), text);
  const run_result r = convert("r.csv", csv_args("r", {"--mode=3"}));
  EXPECT_EQ(
      std::tuple(r.status, r.out),
      std::tuple(0, "Converting CSV file r.csv\nError:\nr, record #3: Incorrect integer value: 'three' for column `" +
                        db_ + "`.`r`.`n` at row 1\n"));
  EXPECT_EQ(check_.scalar("SELECT CONCAT(COUNT(*), ' ', SUM(n), ' ', SUM(LENGTH(v))) FROM r"),
            std::to_string(4999) + " " + std::to_string(5000 * 5001 / 2 - 3) + " " + std::to_string(4999 * 250));
}

// Interrupted (SIGTERM, as Ctrl-C or `timeout` would) once the run has made
// its temporary object: a dump's temporary file beside its destination, the
// table that replaces an existing one (mode 1), or a new table before any
// row of it is stored. The run reports the
// interruption, removes the object, leaves the user's file or table as it
// was, and ends by the signal, so the shell sees it interrupted.
TEST_F(Faults, AnInterruptedRunLeavesNothingBehind) {
  write_file(dir_.file("big.csv"), csv(400000, 40));
  std::string many = "c0";
  for (int c = 1; c < 40; ++c) many += ",c" + std::to_string(c);
  for (int i = 0; i < 200000; ++i) {
    many += '\n' + std::to_string(i);
    for (int c = 1; c < 40; ++c) many += ',' + std::to_string((i * 7 + c) % 1000);
  }
  write_file(dir_.file("many.csv"), many + '\n');
  const std::string client = "mariadb --no-defaults -N -h" + address_.host + " -P" + std::to_string(address_.port) +
                             " -u" + address_.user + " -p" + address_.password;
  const struct {
    const char* name;
    std::string feed;  // what runs before gridload in its pipeline
    std::vector<std::string> args;
    std::string made;  // the shell test that tells the object is there
    const char* table = "t";
  } cases[] = {
      {"dump",
       "",
       {"--from_csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--src=big.csv", "--dump", "--dest=out.sql"},
       "ls out.sql.tmp-* >/dev/null 2>&1"},
      {"mode 1", "", live_args("big.csv", csv_args("t", {"--mode=1"})),
       "[ -n \"$(" + client + " -e \"SHOW TABLES FROM " + db_ + " LIKE 'gridload_tmp%'\")\" ]"},
      // A pipe's rows are stored as they come and their types changed after:
      // the signal comes during that ALTER TABLE, after the last record. The
      // table used to be replaced all the same, status 0.
      {"mode 1, after the last record", "cat big.csv | ", live_args("/dev/stdin", csv_args("t", {"--mode=1"})),
       client + " -e 'SHOW PROCESSLIST' | grep -q 'ALTER TABLE'"},
      // A new table, made before the file is read for its types: the signal
      // comes during that reading. The table was left, empty and of text
      // columns, for a later run to add rows to without refining them.
      // (Forty columns of numbers: reading them for their types takes long
      // enough for the signal to come during it.)
      {"a new table, before its rows", "", live_args("many.csv", csv_args("n")),
       "[ -n \"$(" + client + " -e \"SHOW TABLES FROM " + db_ + " LIKE 'n'\")\" ]", "n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir_.file("out.sql"), "kept");
    sql({"DROP TABLE IF EXISTS t", "CREATE TABLE t (n INT)", "INSERT INTO t VALUES (1), (2)"});
    const run_result r = shell(c.feed + "\"$0\" \"$@\" & pid=$!; for i in $(seq 600); do " + c.made +
                                   " && break; sleep 0.05; done; kill -TERM $pid; wait $pid",
                               c.args);
    EXPECT_EQ(r.status, 128 + SIGTERM) << r.out << r.err;
    EXPECT_NE(r.out.find("Error:\n" + std::string(c.table) + ": The conversion was interrupted (SIGTERM)\n"),
              std::string::npos)
        << r.out;
    reconnect();
    EXPECT_EQ(tables(), std::vector<std::string>{"t"});
    EXPECT_EQ(column("t", "n"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(testsupport::read_file(dir_.file("out.sql")), "kept");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
      left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"big.csv", "many.csv", "out.sql"}));
  }
}

// A server that takes the connection and never answers (a hung server,
// a port some other program holds): a signal ends the wait for its greeting
// at once, and the run says it was interrupted. It used to wait out the
// ten seconds of the connect timeout and then blame the server.
TEST_F(Faults, ASignalEndsTheWaitForAServerThatDoesNotAnswer) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof at;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&at), size), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &size), 0);
  write_file(dir_.file("one.csv"), "a\n1\n");
  const auto start = std::chrono::steady_clock::now();
  const run_result r = shell("\"$0\" \"$@\" & pid=$!; sleep 1; kill -TERM $pid; wait $pid",
                             csv_args("t", {"--src=one.csv", "--dest=d", "--host=127.0.0.1",
                                            "--port=" + std::to_string(ntohs(at.sin_port)), "--user=u", "--pswd=p"}));
  const auto waited = std::chrono::steady_clock::now() - start;
  ::close(listener);
  EXPECT_EQ(std::tuple(r.status, r.out),
            std::tuple(128 + SIGTERM, std::string("Error:\nThe conversion was interrupted (SIGTERM)\n")));
  EXPECT_LT(waited, std::chrono::seconds(4));
}

// A statement of rows the server refuses as a whole (here a MEMORY table
// at its size limit; a full disk or a denied right alike) refuses every row
// after it too: the run ends there, through LOAD DATA or INSERT statements,
// reported once at the first row of that statement, with status 255. It
// used to go on, report one record, count every row as stored and end
// with status 0.
TEST_F(Faults, AStatementRefusedAsAWholeEndsTheRun) {
  write_file(dir_.file("f.csv"), csv(200000, 20));
  for (const char* lines : {"", "load_data=0\n"}) {
    SCOPED_TRACE(*lines ? "insert" : "load data");
    sql({"DROP TABLE IF EXISTS full", "CREATE TABLE full (n INT, v VARCHAR(20)) ENGINE=MEMORY MAX_ROWS=50000"});
    const run_result r = convert("f.csv", csv_args("full", {"--mode=3"}), settings(lines));
    EXPECT_EQ(r.status, 255) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
    EXPECT_EQ(r.out.rfind("Converting CSV file f.csv\nError:\nfull, record #", 0), 0u) << r.out;
    const std::string tail = ": The table 'full' is full\n";
    EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), tail.size())), tail) << r.out;
    const long reported = std::atol(r.out.c_str() + r.out.find('#') + 1);
    EXPECT_GT(reported, 1);
    // A table without transactions takes its rows one statement each: every
    // row before the refused one is stored, and no other.
    EXPECT_EQ(std::stol(check_.scalar("SELECT COUNT(*) FROM full")), reported - 1) << "rows before it are stored";
  }
}
