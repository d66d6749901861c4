// CSV files into a live server, end to end: the real gridload binary against
// the private MariaDB server, checked through a connection of the test's own.
// (Every column kind, value by value, is in the live-versus-dump round trip.)

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <tuple>

#include "workbook_support.h"

using testsupport::run_result;
using testsupport::write_file;
using wbtest::table_rows;

using CsvToMysql = wbtest::workbook_run;

// The processing modes with a database that already holds the CSV file's
// table (two rows "old") and a table of its own, against
// tests/golden/csv/processing_modes.txt: 0 drops the database, 1 the table;
// 2 and 3 add the rows to the table and leave its columns as they are, so
// the '01' it held stays text, and a value longer than its column is
// refused instead of widening the column (which would lose its definition).
TEST_F(CsvToMysql, ProcessingModesWithAnExistingTable) {
  write_file(dir_.file("t.csv"), "k,v\n1,one\n2,two\n3," + std::string(300, 'x') + "\n");
  testsupport::expect_golden(
      "csv/processing_modes.txt",
      each_mode(
          "t.csv", csv_args("t"),
          {"DROP TABLE IF EXISTS t", "DROP TABLE IF EXISTS other", "CREATE TABLE t (k VARCHAR(20), v VARCHAR(20))",
           "INSERT INTO t VALUES ('01', 'old'), ('2', 'old')", "CREATE TABLE other (x INT)"}));
}

// A database the run makes in the character set of the settings file,
// which cannot hold every character: live, a row with one it cannot hold is
// reported and left out; a dump that makes its database does the same, so
// that it loads and gives the table the live run gives (it used to stop at
// that row's statement for the multi-byte sets and for a character beyond
// the Basic Multilingual Plane, which the session's three-byte UTF-8 cannot
// carry). The C1 controls latin1 leaves undefined are held. So it goes in a
// table without transactions (the settings file's engine) too. Against
// tests/golden/csv/character_sets.txt, with each table's engine and its
// database's character set.
TEST_F(CsvToMysql, ACharacterSetRefusesWhatItCannotHoldLiveAndInADump) {
  write_file(dir_.file("l1.csv"),
             "id,v\n1,ok\n2,\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n3,\xE2\x82\xACuro\n4,\xC3\xBC\n"
             "5,\xC2\x81x\n6,\xE3\x80\x9C\n7,\xF0\x9F\x98\x80\n");  // Cyrillic, a wave dash, an emoji
  const auto shown = [&](const std::string& title, const run_result& r) {
    std::string text = testsupport::transcript(title, r) + listing();
    for (const auto& t : rows("SELECT t.engine, s.default_character_set_name FROM information_schema.tables t JOIN "
                              "information_schema.schemata s ON s.schema_name = t.table_schema WHERE s.schema_name='" +
                              db_ + "'"))
      text += t[0] + " " + t[1] + "\n";
    return text;
  };
  std::string text;
  for (const std::string set : {"latin1", "sjis", "gbk", "utf16", "utf8mb4"}) {
    SCOPED_TRACE(set);
    const auto env = settings("char_set=" + set + "\ndmp_ins_db=1\n");
    const std::string live = shown(set, convert("l1.csv", csv_args("l1", {"--mode=0"}), env));
    text += live;
    const run_result r = dump("l1.csv", db_ + ".sql", csv_args("l1"), env);
    if (load_dump(db_ + ".sql")) {
      EXPECT_EQ(shown(set, r), live) << "the dump gives what the live run gives";
    }
  }
  // A table without transactions cannot take a batch back: the row used to
  // be stored as '??????' and the run ended with 255.
  text += shown("latin1, MyISAM",
                convert("l1.csv", csv_args("l1", {"--mode=0"}), settings("char_set=latin1\ntab_type=MyISAM\n")));
  testsupport::expect_golden("csv/character_sets.txt", text);
}

// Values past the inline limit go to the server as long data: as text of
// the session's character set, which the server turns into the column's
// ('\xC3\xA9' used to be stored as the two latin1 characters of its
// bytes), and a value the column cannot hold is that row's refusal (it
// ended the table, every later row lost, status 255).
TEST_F(CsvToMysql, LongValuesArriveAsText) {
  const std::string long_text(1200000, 'a');
  write_file(dir_.file("long.csv"),
             "id,v\n1,\xC3\xA9\n2," + long_text + "\xC3\xA9\n3," + long_text + "\xF0\x9F\x98\x80\n4,\xC3\xBC\n");
  const run_result r = convert("long.csv", csv_args("t", {"--charset=latin1", "--mode=0"}));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Error:\nt, record #3: Incorrect string value: '\\xF0\\x9F\\x98\\x80'"), std::string::npos)
      << r.out;
  EXPECT_EQ(rows("SELECT id, LENGTH(v), HEX(RIGHT(v, 1)) FROM t ORDER BY id"),
            (table_rows{{"1", "1", "E9"}, {"2", "1200001", "E9"}, {"4", "1", "FC"}}));
}

// The port's text is read up to its first non-digit, and the later --port
// and --user win. A port nobody listens on gives the error handler's text,
// status 255, within the 10-second connect time-out. (A wrong password's
// text is in the credentials tests.)
TEST_F(CsvToMysql, PortTextAndAPortWithoutAServer) {
  write_file(dir_.file("p.csv"), "a\n1\n");
  run_result r =
      run(live_args("p.csv", {"--from_csv", "--csv_delim=2", "--tab_name=p",
                              "--port=" + std::to_string(address_.port) + "abc", "--user=  " + address_.user + " "}));
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM p"), "2") << "no header: both lines are rows";
  const auto start = std::chrono::steady_clock::now();
  r = run(live_args("p.csv", csv_args("p", {"--port=" + std::to_string(testsupport::free_port())})));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(11));
  EXPECT_EQ(std::tuple(r.status, r.out, r.err),
            std::tuple(255,
                       "Error:\nCannot connect to the MySQL server. Check to verify that MySQL server is launched "
                       "and the correct host/port values were given.\n",
                       ""));
}

// On a terminal (a pseudo-terminal made by script(1)) the standard error
// shows the progress line, erased before the next output, and each table's
// account with the run's total; redirected, it shows nothing at all and the
// standard output is the same.
TEST_F(CsvToMysql, ProgressAndAccountOnlyOnATerminal) {
  std::string csv = "n,v\n";
  for (int i = 1; i <= 3000; ++i) csv += std::to_string(i) + "," + (i == 7 ? "\xF0\x9F\x98\x80" : "x") + "\n";
  write_file(dir_.file("p.csv"), csv);
  const std::vector<std::string> args = live_args("p.csv", csv_args("p"));
  const run_result redirected = testsupport::run_gridload(args, dir_.path());
  const std::string expected_out =
      "Converting CSV file p.csv\nError:\np, record #7: Incorrect string value: '\\xF0\\x9F\\x98\\x80' for column `" +
      db_ + "`.`p`.`v` at row 1\n";
  EXPECT_EQ(std::tuple(redirected.status, redirected.out, redirected.err), std::tuple(0, expected_out, ""));
  // gridload with `args` on a terminal, its standard output sent to `out`.
  const auto on_terminal = [&](const std::string& out, const std::vector<std::string>& words) {
    std::string command = "exec 1>" + out + " '" + testsupport::gridload_binary() + "'";
    for (const std::string& a : words) command += " '" + a + "'";
    return testsupport::run("/usr/bin/script", {"script", "-q", "-e", "-c", command, "/dev/null"}, dir_.path());
  };
  const run_result pty = on_terminal("out.txt", args);
  ASSERT_EQ(pty.status, 0) << pty.out;
  EXPECT_EQ(testsupport::read_file(dir_.file("out.txt")), expected_out);
  // The terminal's own line ends are CR LF.
  for (const char* shown : {"\r\x1b[Kp  reading  1,024 rows  30% of 19 KB",
                            "\r\x1b[Kp: 3,000 rows read, 2,999 stored, 1 refused; n VARCHAR(255) \xE2\x86\x92 INT; ",
                            "Total: 1 table, 3,000 rows read, 2,999 stored, 1 refused; "})
    EXPECT_NE(pty.out.find(shown), std::string::npos) << shown << "\n" << pty.out;

  // A worksheet shows its reading for types before its rows.
  const run_result book = on_terminal("/dev/null", {"--src=" + testsupport::source_dir() + "/samples/sales.xlsx",
                                                    "--extr_fn", "--dump", "--dest=s.sql", "--logfile=s.log"});
  ASSERT_EQ(book.status, 0) << book.out;
  EXPECT_NE(book.out.find("\r\x1b[KOrders  reading"), std::string::npos) << book.out;
  // A dump's account names the changes of type only, not a type repeated.
  EXPECT_NE(testsupport::read_file(dir_.file("s.log"))
                .find("Orders: 5 rows read, 5 stored, 0 refused; order id DOUBLE \xE2\x86\x92 INT, quantity DOUBLE "
                      "\xE2\x86\x92 INT, paid TINYINT(1) \xE2\x86\x92 INT; "),
            std::string::npos);
  // A table that failed says so in its account and claims no row stored (a
  // merge refused as a whole said "1 rows read, 1 stored"); rows added to a
  // table that was there stay in it, and the account says how many (a
  // merge stopped by a full table said nothing of the rows it had stored,
  // which a second run would add again).
  sql({"DROP TABLE IF EXISTS q", "CREATE TABLE q (zz INT)"});
  write_file(dir_.file("q.csv"), "a,b\n1,2\n");
  testsupport::run_gridload(live_args("q.csv", csv_args("q", {"--mode=3", "--logfile=q.log"})), dir_.path());
  const std::string log = testsupport::read_file(dir_.file("q.log"));
  EXPECT_NE(log.find("q: failed; 1 rows read, 0 stored; "), std::string::npos) << log;
  sql({"DROP TABLE IF EXISTS m", "CREATE TABLE m (id INT, t VARCHAR(200)) ENGINE=MEMORY MAX_ROWS=100"});
  std::string rows_csv = "id,t\n";
  for (int i = 0; i < 3000; ++i) rows_csv += std::to_string(i) + "," + std::string(150, 'x') + "\n";
  write_file(dir_.file("m.csv"), rows_csv);
  const run_result full =
      testsupport::run_gridload(live_args("m.csv", csv_args("m", {"--mode=3", "--logfile=m.log"})), dir_.path());
  EXPECT_EQ(full.status, 255);
  const std::string stored = check_.scalar("SELECT COUNT(*) FROM m");
  EXPECT_NE(stored, "0");
  EXPECT_NE(testsupport::read_file(dir_.file("m.log")).find("m: failed; 3,000 rows read, " + stored + " stored; "),
            std::string::npos);
}

// A pipe gives its rows once. Every row arrives, in the types the same file
// gets, and the run says nothing more than for the file (the first reading
// for types, before the copy, used to swallow all but the first buffer).
TEST_F(CsvToMysql, APipeLosesNoRow) {
  std::string csv = "n,v\n";
  for (int i = 1; i <= 100000; ++i) csv += std::to_string(i) + "," + std::to_string(2 * i) + "\n";
  write_file(dir_.file("n.csv"), csv);
  const run_result piped = shell("cat n.csv | exec \"$0\" \"$@\"", live_args("/dev/stdin", csv_args("piped")));
  const run_result file = convert("n.csv", csv_args("file"));
  EXPECT_EQ(piped.status, 0) << piped.out << piped.err;
  EXPECT_EQ(piped.out, testsupport::replace_all(file.out, "n.csv", "/dev/stdin"));
  reconnect();
  for (const std::string table : {"piped", "file"}) {
    EXPECT_EQ(check_.scalar("SELECT CONCAT(COUNT(*), ' ', SUM(n), ' ', SUM(v)) FROM " + table),
              "100000 5000050000 10000100000")
        << table;
    EXPECT_EQ(columns(table), (std::vector<std::string>{"n int(11)", "v int(11)"})) << table;
  }
}

// A table that another table's foreign key refers to is not replaced (mode
// 1, a CSV file or a worksheet read ahead), nor its database dropped (mode
// 0, a reference from another database): renamed away or dropped, the old
// table used to take the reference with it, leaving the other table unable
// to take a row.
TEST_F(CsvToMysql, ATableAnotherRefersToIsKept) {
  write_file(dir_.file("parent.csv"), "id,name\n1,Alice\n2,Bob\n3,Carol\n");
  wbtest::write_xlsx(dir_.file("parent.xlsx"), {{"parent", {{"id"}, {7.0}}}});
  // Each run's transcript and the tables after it, against
  // tests/golden/csv/referenced_tables.txt.
  std::string text;
  const auto step = [&](const std::string& title, const std::string& source, const std::vector<std::string>& args) {
    const run_result r = convert(source, args);
    text += testsupport::transcript(title, r) + listing() + "\n";
  };
  for (const auto& [source, args] : {std::pair{"parent.csv", csv_args("parent")},
                                     std::pair{"parent.xlsx", std::vector<std::string>{"--extr_fn", "--mode=1"}}}) {
    sql({"DROP TABLE IF EXISTS child", "DROP TABLE IF EXISTS parent",
         "CREATE TABLE parent (id INT PRIMARY KEY, name VARCHAR(20))",
         "CREATE TABLE child (cid INT PRIMARY KEY, pid INT, FOREIGN KEY (pid) REFERENCES parent(id))",
         "INSERT INTO parent VALUES (1, 'a'), (2, 'b')", "INSERT INTO child VALUES (10, 1)"});
    step(source, source, args);
    EXPECT_TRUE(check_.exec("INSERT INTO child VALUES (11, 2)")) << source;
  }
  // Mode 0 drops the whole database: not when a table of another database
  // refers to one of its tables.
  const std::string other = db_ + "_other";
  sql({"DROP TABLE child", "DROP DATABASE IF EXISTS `" + other + "`", "CREATE DATABASE `" + other + "`",
       "CREATE TABLE `" + other + "`.child (cid INT PRIMARY KEY, pid INT, FOREIGN KEY (pid) REFERENCES `" + db_ +
           "`.parent(id))"});
  step("parent.xlsx in mode 0", "parent.xlsx", {"--extr_fn", "--mode=0"});
  // An account that sees only its own database does not see the reference:
  // the server's refusal to drop the old table tells, and the tables go
  // back to their names.
  sql({"DROP USER IF EXISTS 'gl_narrow'@'%'", "CREATE USER 'gl_narrow'@'%' IDENTIFIED BY 'narrow-pw'",
       "GRANT ALL ON `" + db_ + "`.* TO 'gl_narrow'@'%'"});
  step("parent.csv by an account of this database alone", "parent.csv",
       csv_args("parent", {"--user=gl_narrow", "--pswd=narrow-pw"}));
  EXPECT_TRUE(check_.exec("INSERT INTO `" + other + "`.child VALUES (11, 2)"));
  testsupport::expect_golden("csv/referenced_tables.txt", text);
  // Without the right to drop tables the replacement can be neither put in
  // place nor undone: the table left behind is named (it was left without
  // a word).
  sql({"REVOKE DROP ON `" + db_ + "`.* FROM 'gl_narrow'@'%'"});
  const run_result no_drop = convert("parent.csv", csv_args("parent", {"--user=gl_narrow", "--pswd=narrow-pw"}));
  EXPECT_NE(no_drop.out.find("Error:\nparent: The unfinished table 'gridload_tmp_"), std::string::npos) << no_drop.out;
  EXPECT_EQ(column("parent", "name", "id"), (std::vector<std::string>{"a", "b"}));
  for (const std::string& t : tables())
    if (t != "parent") check_.exec("DROP TABLE `" + t + "`");
  sql({"DROP USER 'gl_narrow'@'%'", "DROP DATABASE `" + other + "`"});
}

// Mode 1 replaces the table the server holds in another letter case (the
// one modes 2 and 3 add rows to), under its name: the rename used to name
// the table as given, which the server did not know, and the new rows were
// thrown away with status 0. Against
// tests/golden/csv/table_in_another_letter_case.txt.
TEST_F(CsvToMysql, ATableInAnotherLetterCaseIsReplaced) {
  std::string text;
  write_file(dir_.file("orders.csv"), "id,name\n1,Alice\n2,Bob\n");
  wbtest::write_xlsx(dir_.file("orders.xlsx"), {{"orders", {{"id", "name"}, {1.0, "Alice"}, {2.0, "Bob"}}}});
  for (const auto& [source, args] : {std::pair{"orders.csv", csv_args("orders")},
                                     std::pair{"orders.xlsx", std::vector<std::string>{"--extr_fn", "--mode=1"}}}) {
    sql({"DROP TABLE IF EXISTS Orders", "CREATE TABLE Orders (id INT, name VARCHAR(20))",
         "INSERT INTO Orders VALUES (0, 'old')"});
    const run_result r = convert(source, args);
    text += testsupport::transcript(source, r) + listing();
  }
  testsupport::expect_golden("csv/table_in_another_letter_case.txt", text);
}

// A source that cannot be read costs the database nothing, in mode 0 (which
// used to empty the database before opening the file) and in mode 1. An
// empty file (an export that failed) is such a source, and so is a file
// whose lines end with CR alone (read as one line, it became a table of its
// rows as column names); both replaced the user's table, status 0. Nor does
// a file whose table the server refuses (600 text columns make a row too
// large): mode 0 emptied the database before, status 255. Against
// tests/golden/csv/unreadable_sources.txt.
TEST_F(CsvToMysql, ASourceThatCannotBeReadCostsNothing) {
  write_file(dir_.file("mac.csv"), "id,name\r1,Alice\r2,Bob\r");
  write_file(dir_.file("empty.csv"), "");
  std::string wide = "c0";
  for (int i = 1; i < 600; ++i) wide.append(",c").append(std::to_string(i));
  write_file(dir_.file("wide.csv"), wide + "\n");
  std::string text;
  for (const std::string file : {"none.csv", "empty.csv", "mac.csv", "wide.csv"})
    for (const char* mode : {"--mode=0", "--mode=1"}) {
      sql({"DROP TABLE IF EXISTS t", "DROP TABLE IF EXISTS other", "CREATE TABLE t (keep INT)",
           "CREATE TABLE other (x INT)", "INSERT INTO t VALUES (42)"});
      const run_result r = convert(file, csv_args("t", {mode}));
      text += testsupport::transcript(file + " " + mode, r) + listing() + "\n";
    }
  // Mode 0 tries the table before it empties the database: also with an
  // engine that has no temporary tables, and under the table's own name (one
  // of 60 CJK characters is longer than a file name may be). Both passed a
  // trial as a temporary table, and the database was dropped. A view of
  // the table's name is no refusal: it goes with the database.
  write_file(dir_.file("s.csv"), "id\n1\n");
  std::string cjk;
  for (int i = 0; i < 60; ++i) cjk += "\xE8\xA1\xA8";
  for (const auto& [table, engine] :
       {std::pair<std::string, std::string>{"t", "PERFORMANCE_SCHEMA"}, {cjk, "InnoDB"}, {"v", "InnoDB"}}) {
    sql({"DROP TABLE IF EXISTS t", "DROP TABLE IF EXISTS other", "CREATE TABLE t (keep INT)",
         "CREATE TABLE other (x INT)", "INSERT INTO t VALUES (42)", "CREATE OR REPLACE VIEW v AS SELECT * FROM t"});
    const run_result r = convert("s.csv", csv_args(table, {"--mode=0", "--engine=" + engine}));
    text += testsupport::transcript("s.csv " + table + " --mode=0 --engine=" + engine, r) + listing() + "\n";
  }
  testsupport::expect_golden("csv/unreadable_sources.txt", text);
}

// Fields past the columns of the first line are left out, as before, but
// no longer without a word: a record of more fields (a stray delimiter, or
// data lines ending in CR alone, read as one line) lost its values with
// status 0. Blanks, quotes and delimiters alone past the columns are no
// loss. Against tests/golden/csv/fields_past_the_columns.txt.
TEST_F(CsvToMysql, FieldsPastTheColumnsAreReported) {
  const std::pair<std::string, std::string> files[] = {{"more.csv", "a,b\n1,2,3\n4,5\n6,7,8,9\n"},
                                                       {"cr.csv", "a,b\n1,2\r3,4\r5,6\r"},
                                                       {"blank.csv", "a,b\n1,2,\n3,4, ,\"\"\n"}};
  std::string text;
  for (const auto& [file, csv] : files) {
    write_file(dir_.file(file), csv);
    const run_result r = convert(file, csv_args("t", {"--mode=1"}));
    text += testsupport::transcript(file, r) + listing() + "\n";
  }
  testsupport::expect_golden("csv/fields_past_the_columns.txt", text);
}

// Replacing a table (mode 1) or emptying the database (mode 0) waits for an
// open transaction that has read the table; adding rows to it (modes 2 and
// 3) waits for a session that locked it. A signal ends the wait: the old
// table is kept as it was and the run ends by the signal. The wait used to
// outlast the signal (up to the server's lock time-out of a day); a
// replaced table then went all the same, with status 0.
TEST_F(CsvToMysql, ASignalEndsTheWaitForAnotherSessionsLock) {
  write_file(dir_.file("t.csv"), "keep\n7\n");
  const struct {
    const char* mode;
    const char* hold;
  } cases[] = {{"--mode=1", "START TRANSACTION"},
               {"--mode=0", "START TRANSACTION"},
               {"--mode=2", "LOCK TABLES t READ"},
               {"--mode=3", "LOCK TABLES t READ"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    sql({"DROP TABLE IF EXISTS t", "CREATE TABLE t (keep INT)", "INSERT INTO t VALUES (42)"});
    std::string error;
    {
      // The session of an application: its transaction and locks end when
      // it goes.
      testsupport::mysql_connection other;
      ASSERT_TRUE(other.open(address_, db_, error)) << error;
      other.exec(c.hold);
      EXPECT_EQ(other.scalar("SELECT keep FROM t"), "42");
      const run_result r = shell("exec timeout --preserve-status -k 10 -s TERM 2 \"$0\" \"$@\"",
                                 live_args("t.csv", csv_args("t", {c.mode})));
      EXPECT_EQ(r.status, 128 + SIGTERM);
      EXPECT_NE(r.out.find("The conversion was interrupted (SIGTERM)"), std::string::npos) << r.out;
    }
    EXPECT_EQ(tables(), (std::vector<std::string>{"t"}));
    EXPECT_EQ(check_.scalar("SELECT GROUP_CONCAT(keep) FROM t"), "42");
  }
}

// Rows the server refuses are found by statements of fewer and fewer rows,
// thousands for a batch where every other row is refused: a signal used to
// wait for the batch's last statement (several seconds), and now ends the
// run between two of them.
TEST_F(CsvToMysql, ASignalEndsTheSearchForRefusedRows) {
  std::string csv = "id,v\n";
  for (int i = 0; i < 40000; ++i) csv.append(std::to_string(i)).append(i % 2 ? ",toolong\n" : ",ok\n");
  write_file(dir_.file("t.csv"), csv);
  sql({"DROP TABLE IF EXISTS t", "CREATE TABLE t (id INT, v VARCHAR(5))"});
  const auto start = std::chrono::steady_clock::now();
  const run_result r = shell("exec timeout --preserve-status -k 20 -s TERM 2 \"$0\" \"$@\" --silent",
                             live_args("t.csv", csv_args("t", {"--mode=3", "--logfile=t.log"})));
  EXPECT_EQ(r.status, 128 + SIGTERM);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4500));
  // The rows stored before the signal stay, and the account counts them
  // (the rows in flight included: they were told after the account).
  const std::string count = check_.scalar("SELECT COUNT(*) FROM t");
  std::string stored;  // grouped as the account groups it
  for (size_t i = 0; i < count.size(); ++i) {
    if (i > 0 && (count.size() - i) % 3 == 0) stored += ',';
    stored += count[i];
  }
  const std::string log = testsupport::read_file(dir_.file("t.log"));
  EXPECT_NE(log.find(" rows read, " + stored + " stored; "), std::string::npos) << log;
}

// The server's own databases are never dropped and made anew: not by mode 0
// on a live server, nor by a dump that makes its database (named after the
// file, so /backup/mysql.sql would drop `mysql` when loaded). A name the
// server would refuse stops the dump before it is written, as it stops a
// live run; so does one that could end its statement.
TEST_F(CsvToMysql, TheServersOwnDatabasesAreNeverDropped) {
  write_file(dir_.file("a.csv"), "id\n1\n");
  write_file(dir_.file("settings"), "dmp_ins_db=1\n");
  const std::string own =
      "Error:\nDatabase 'sys' is the server's own: it is not dropped and made anew; choose another "
      "destination\n";
  run_result r = convert("a.csv", csv_args("t", {"--mode=0", "--dest=sys"}));
  EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(255, own));
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = 'sys'"), "1");
  // For the old servers the name is written bare: a ';' in it would end
  // the statement, and what follows would run when the dump is loaded.
  write_file(dir_.file("old"), "dmp_ins_db=1\ndmp_new_ver=0\n");
  const struct {
    std::string file, settings, out;
  } cases[] = {{"sys.sql", "settings", own},
               {"q1 .sql", "settings", "Error:\nIncorrect database name 'q1 '\n"},
               {"x;drop database v;.sql", "old", "Error:\nIncorrect database name 'x;drop database v;'\n"},
               {"1e5.sql", "old", "Error:\nIncorrect database name '1e5'\n"},
               {"select.sql", "old", "Error:\nIncorrect database name 'select'\n"},
               {"\xF0\x9F\x98\x80.sql", "settings", "Error:\nIncorrect database name '\xF0\x9F\x98\x80'\n"}};
  for (const auto& c : cases) {
    r = dump("a.csv", c.file, csv_args("t"), {{"GRIDLOAD_SETTINGS", dir_.file(c.settings)}});
    EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(255, c.out));
    EXPECT_FALSE(std::filesystem::exists(dir_.file(c.file)));
  }
}

// A server that is not strict stores a value it cannot hold altered, with
// a warning. Past a record too large for a batch the rows went one by one
// without a look at the warnings: 'abc' became 0 and 'toolong' 'too', with
// status 0. The session is made strict for every table.
TEST_F(CsvToMysql, AServerThatIsNotStrictAltersNoValue) {
  write_file(dir_.file("big.csv"), "id,n,s,big\n1,1,ok," + std::string(1100000, 'y') + "\n2,abc,toolong,x\n3,3,ok,x\n");
  write_file(dir_.file(".my.cnf"), "[client]\ninit-command=SET SESSION sql_mode=''\n");
  sql({"DROP TABLE IF EXISTS t", "CREATE TABLE t (id INT, n INT, s VARCHAR(3), big LONGTEXT)"});
  const run_result r = convert("big.csv", csv_args("t", {"--mode=3"}), {{"HOME", dir_.path()}});
  EXPECT_EQ(
      std::tuple(r.status, r.out),
      std::tuple(0, "Converting CSV file big.csv\nError:\nt, record #2: Incorrect integer value: 'abc' for column `" +
                        db_ + "`.`t`.`n` at row 1\n"));
  EXPECT_EQ(rows("SELECT id, n, s FROM t ORDER BY id"), (table_rows{{"1", "1", "ok"}, {"3", "3", "ok"}}));
}

// The reports of refused rows are the user's list of what was left out: an
// output that cannot take them (a full disk, a closed descriptor) fails the
// run, said on the standard error. It used to end with status 0.
TEST_F(CsvToMysql, ReportsThatCannotBeWrittenFailTheRun) {
  write_file(dir_.file("e.csv"), "id,v\n1,ok\n2,\xF0\x9F\x98\x80\n3,x\n");
  for (const auto& [redirect, reason] :
       {std::pair<std::string, std::string>{">/dev/full", "No space left on device"}, {">&-", "Bad file descriptor"}}) {
    SCOPED_TRACE(redirect);
    const run_result r = shell("exec \"$0\" \"$@\" " + redirect, live_args("e.csv", csv_args("e", {"--charset=utf8"})));
    EXPECT_EQ(std::tuple(r.status, r.err), std::tuple(255, "Cannot write the run's messages: " + reason + "\n"));
    reconnect();
    EXPECT_EQ(column("e", "v", "id"), (std::vector<std::string>{"ok", "x"}));
  }
}

// Rows added to tables that were there before, through LOAD DATA and INSERT
// statements alike, against tests/golden/csv/rows_added.txt:
// - a row a trigger refuses (its SIGNAL, as a CHECK or a value the server
//   cannot read) is that row's refusal, reported with its number; it used
//   to end the run with 255 at the statement's first record, the table
//   without a row; each row goes once, so that the triggers run once for
//   it (a block resent to find the refused row ran them again, and what
//   they wrote into a table without transactions stayed);
// - an empty field is no value in an auto-number column (the next number)
//   and in an ENUM column, as in a number column; both refused the row;
// - a generated column is the table's to compute: every row was refused.
TEST_F(CsvToMysql, RowsAddedToAnExistingTable) {
  const struct {
    const char* name;
    std::vector<std::string> setup;
    std::string csv;
  } cases[] = {
      {"trigger",
       {"CREATE TABLE t (id INT, v INT)", "CREATE TABLE audit (id INT) ENGINE=MyISAM",
        "CREATE TRIGGER refuse BEFORE INSERT ON t FOR EACH ROW IF NEW.v < 0 THEN SIGNAL SQLSTATE '45000' SET "
        "MESSAGE_TEXT = 'negative'; END IF",
        "CREATE TRIGGER note AFTER INSERT ON t FOR EACH ROW INSERT INTO audit VALUES (NEW.id)"},
       "id,v\n1,5\n2,-1\n3,7\n"},
      {"auto-number and enum",
       {"CREATE TABLE t (id INT AUTO_INCREMENT PRIMARY KEY, v VARCHAR(5), e ENUM('a', 'b'), n INT)"},
       "id,v,e,n\n,a,a,\n,b,,5\n7,c,b,\n"},
      {"generated columns",
       {"CREATE TABLE t (a INT, b INT AS (a * 2) VIRTUAL, c VARCHAR(5), d INT AS (a + 1) PERSISTENT)"},
       "a,b,c\n1,99,x\n2,,y\n"},
  };
  std::string text;
  for (const auto& c : cases)
    for (const char* lines : {"", "load_data=0\n"}) {
      check_.exec("DROP TABLE IF EXISTS t, audit");
      sql(c.setup);
      write_file(dir_.file("t.csv"), c.csv);
      const run_result r = convert("t.csv", csv_args("t", {"--mode=3"}), settings(lines));
      text += testsupport::transcript(std::string(c.name) + (*lines ? ", insert" : ", load data"), r) + listing();
    }
  testsupport::expect_golden("csv/rows_added.txt", text);
}

// A merge passes over the rows whose key the table holds (or a row before
// them held), through each way of sending rows, and its account says how
// many (it counted them as stored); so does a dump of rows alone loaded into
// the table. The dump used to stop at the first such row (nothing of its
// statement stored in InnoDB, the rows before it in MyISAM).
TEST_F(CsvToMysql, AMergePassesOverTheKeysTheTableHolds) {
  write_file(dir_.file("k.csv"), "id,name\n10,new10\n11,new11\n1,new1\n12,new12\n12,again12\n");
  const table_rows merged{{"1", "OLD"}, {"2", "OLD"}, {"10", "new10"}, {"11", "new11"}, {"12", "new12"}};
  const auto existing = [&](const std::string& engine) {
    sql({"DROP TABLE IF EXISTS k", "CREATE TABLE k (id INT PRIMARY KEY, name VARCHAR(20)) ENGINE=" + engine,
         "INSERT INTO k VALUES (1, 'OLD'), (2, 'OLD')"});
  };
  for (const std::string engine : {"InnoDB", "MyISAM"})
    for (const char* lines : {"", "load_data=0\n"}) {
      SCOPED_TRACE(engine + " " + lines);
      existing(engine);
      const run_result live = convert("k.csv", csv_args("k", {"--mode=3", "--logfile=merge.log"}), settings(lines));
      EXPECT_EQ(live.status, 0) << live.out << live.err;
      EXPECT_EQ(rows("SELECT id, name FROM k ORDER BY id"), merged);
      const std::string log = testsupport::read_file(dir_.file("merge.log"));
      EXPECT_NE(log.find("k: 5 rows read, 3 stored, 2 passed over (key held), 0 refused;"), std::string::npos);
      EXPECT_NE(log.find("Total: 1 table, 5 rows read, 3 stored, 2 passed over (key held), 0 refused;"),
                std::string::npos);
    }
  const run_result d = dump("k.csv", "k.sql", csv_args("k", {"--mode=3"}), settings("dmp_ins_tab=0\n"));
  ASSERT_EQ(d.status, 0) << d.out << d.err;
  existing("InnoDB");
  const run_result load = client("k.sql", db_);
  EXPECT_EQ(std::pair(load.status, load.err), std::pair(0, std::string()));
  EXPECT_EQ(rows("SELECT id, name FROM k ORDER BY id"), merged);
}

// Rows added to a table made elsewhere, whose column names hold characters
// a table made by the run would not (a backtick, a semicolon), fill the
// columns the header names, all of them or some in another order, and so
// do those of columns whose names differ only as case folding goes. The
// header used to be matched only as the names the run would have made of it
// ("semi_c"): "does not conform", nothing stored, status 255.
TEST_F(CsvToMysql, RowsAddedToColumnsOfAnyNameFindThem) {
  sql({"DROP TABLE IF EXISTS odd", "CREATE TABLE odd (id INT PRIMARY KEY, `semi;c` VARCHAR(20), `x``y` INT)"});
  write_file(dir_.file("all.csv"), "id,semi;c,x`y\n1,v1,5\n");
  write_file(dir_.file("some.csv"), "SEMI;C,id\nv2,2\n");
  for (const char* source : {"all.csv", "some.csv"}) {
    const run_result r = convert(source, csv_args("odd", {"--mode=2"}));
    EXPECT_EQ(r.status, 0) << source << r.out << r.err;
  }
  EXPECT_EQ(rows("SELECT id, `semi;c`, COALESCE(`x``y`, '-') FROM odd ORDER BY id"),
            (table_rows{{"1", "v1", "5"}, {"2", "v2", "-"}}));
  // Names the server tells apart, as it compares them character by
  // character: "ß" is not "ss", nor the ligature "ﬁ" "fi". One source
  // column's values used to go to both, the other's were dropped.
  sql({"DROP TABLE IF EXISTS twins",
       "CREATE TABLE twins (id INT, `\xC3\x9F` VARCHAR(5), ss VARCHAR(5), `\xEF\xAC\x81le` VARCHAR(5), file "
       "VARCHAR(5))"});
  write_file(dir_.file("twins.csv"), "id,\xC3\x9F,ss,\xEF\xAC\x81le,file\n1,a,b,c,d\n");
  const run_result r = convert("twins.csv", csv_args("twins", {"--mode=2"}));
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(rows("SELECT * FROM twins"), (table_rows{{"1", "a", "b", "c", "d"}}));
}

// A dump loaded by a session that does not commit on its own (autocommit
// off) keeps its rows: it commits them at its end. A rows-only dump without
// LOCK TABLES (whose UNLOCK commits) lost every row when such a session
// ended, after a load that ended with status 0.
TEST_F(CsvToMysql, ADumpCommitsItsRows) {
  write_file(dir_.file("c.csv"), "id,v\n1,a\n2,b\n");
  const run_result d = dump("c.csv", "c.sql", csv_args("c", {"--mode=3"}), settings("dmp_ins_tab=0\ndmp_loc_wri=0\n"));
  ASSERT_EQ(d.status, 0) << d.out << d.err;
  write_file(dir_.file("off.sql"), "SET autocommit=0;\n" + testsupport::read_file(dir_.file("c.sql")));
  sql({"DROP TABLE IF EXISTS c", "CREATE TABLE c (id INT PRIMARY KEY, v VARCHAR(5)) ENGINE=InnoDB"});
  const run_result load = client("off.sql", db_);
  EXPECT_EQ(std::pair(load.status, load.err), std::pair(0, std::string()));
  EXPECT_EQ(rows("SELECT id, v FROM c ORDER BY id"), (table_rows{{"1", "a"}, {"2", "b"}}));
}

// A dump's tables are made in its character set, whatever the database it
// is loaded into: into one of latin1 (many servers' default), a text latin1
// cannot hold is stored. The load stopped there, leaving the table empty.
TEST_F(CsvToMysql, ADumpsTablesAreMadeInItsCharacterSet) {
  write_file(dir_.file("cy.csv"), "id,v\n1,\xD0\x9F\xD1\x80\xD0\xB8\n2,caf\xC3\xA9\n");
  ASSERT_EQ(dump("cy.csv", "cy.sql", csv_args("cy")).status, 0);
  const std::string latin1 = db_ + "_latin1";
  sql({"DROP DATABASE IF EXISTS `" + latin1 + "`", "CREATE DATABASE `" + latin1 + "` CHARACTER SET latin1"});
  const run_result load = client("cy.sql", latin1);
  const table_rows stored = rows("SELECT id, v FROM `" + latin1 + "`.cy ORDER BY id");
  sql({"DROP DATABASE `" + latin1 + "`"});
  EXPECT_EQ(std::pair(load.status, load.err), std::pair(0, std::string()));
  EXPECT_EQ(stored, (table_rows{{"1", "\xD0\x9F\xD1\x80\xD0\xB8"}, {"2", "caf\xC3\xA9"}}));
}

// A long text widens its column by the bytes it takes in the dump's
// character set: four a character in utf32, two in utf16 and ucs2. A text
// read as UTF-8 was measured by its UTF-8 bytes (40,000 of them: TEXT),
// and the dump did not load (Data too long), losing the table's rows.
TEST_F(CsvToMysql, ADumpWidensAColumnByItsCharacterSet) {
  write_file(dir_.file("t.csv"), "id,v\n1,x\n2," + std::string(40000, 'a') + "\n3,y\n");
  for (const auto& [char_set, type] : {std::pair{"utf32", "MEDIUMTEXT"},
                                       {"utf16", "MEDIUMTEXT"},
                                       {"ucs2", "MEDIUMTEXT"},
                                       {"utf8mb4", "TEXT"},
                                       {"latin1", "TEXT"}}) {
    SCOPED_TRACE(char_set);
    const run_result d = dump("t.csv", "t.sql", csv_args("t"), settings(std::string("char_set=") + char_set + "\n"));
    ASSERT_EQ(d.status, 0) << d.out << d.err;
    EXPECT_NE(testsupport::read_file(dir_.file("t.sql")).find(std::string("CHANGE `v` `v` ") + type + ";"),
              std::string::npos);
  }
}

// A dump of rows alone, loaded into an existing table without transactions
// that cannot hold some values: the load stops at the first such row with
// the server's error. It used to load with status 0, storing 'x' as 0, a
// number over the range as the largest and a long text cut short.
TEST_F(CsvToMysql, ARowsOnlyDumpStopsWhereATableWouldAlterAValue) {
  write_file(dir_.file("t.csv"), "id,v,s\n1,10,ab\n2,x,cd\n3,99999999999,ef\n4,40,toolongvalue\n");
  const run_result r = dump("t.csv", "t.sql", csv_args("t"), settings("dmp_ins_tab=0\n"));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  sql({"DROP TABLE IF EXISTS t", "CREATE TABLE t (id INT, v INT, s VARCHAR(5)) ENGINE=MyISAM"});
  const run_result load = client("t.sql", db_);
  EXPECT_EQ(load.status, 1);
  EXPECT_NE(load.err.find("Incorrect integer value: 'x' for column"), std::string::npos) << load.err;
  EXPECT_EQ(rows("SELECT id, v, s FROM t"), (table_rows{{"1", "10", "ab"}}));
  // A text longer than the file's columns start with goes: the table it is
  // loaded into holds it (it was left out, as too long for a VARCHAR(255)
  // that no table of the dump has).
  const std::string long_text(300, 'x');
  write_file(dir_.file("u.csv"), "id,v\n1," + long_text + "\n");
  ASSERT_EQ(dump("u.csv", "u.sql", csv_args("u"), settings("dmp_ins_tab=0\n")).status, 0);
  sql({"DROP TABLE IF EXISTS u", "CREATE TABLE u (id INT, v TEXT)"});
  EXPECT_EQ(client("u.sql", db_).status, 0);
  EXPECT_EQ(rows("SELECT id, v FROM u"), (table_rows{{"1", long_text}}));
}
