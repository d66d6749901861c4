// Rows reach the server through LOAD DATA LOCAL, through INSERT statements
// (load_data=0), or through INSERT statements because the server refuses
// local infile: the three runs of the same inputs leave the same tables and
// print the same reports with the same exit statuses. And a worksheet's
// rows copied while its types are still being read give what reading it
// whole first gives.

#include <gtest/gtest.h>

#include "mysql_test_server.h"
#include "workbook_support.h"

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

  // A run of `source` with `args` and a trace log: its transcript; the log
  // is added to `logs`.
  std::string logged(const std::string& source, std::vector<std::string> args,
                     const std::map<std::string, std::string>& env, std::string& logs) {
    args.push_back("--logfile=run.log");
    const std::string text = testsupport::transcript(source, convert(source, args, env));
    logs += testsupport::read_file(dir_.file("run.log"));
    return text;
  }

  // The runs of one path against `server`: their transcripts, the tables
  // they leave, and each trace log.
  std::string runs(const testsupport::mysql_address& server, bool load_data, std::vector<std::string>& logs) {
    address_ = server;
    std::string why;
    EXPECT_TRUE(check_.open(address_, "", why)) << why;
    check_.exec("DROP DATABASE IF EXISTS `" + db_ + "`");
    const auto env = settings(load_data ? "" : "load_data=0\n");
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
    for (const auto& [source, args] : steps) text += logged(source, args, env, logs.emplace_back());
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

// A worksheet may be copied in the types of its first rows while the rest
// of it is read (read_ahead_rows); the copy stands only when the whole sheet
// ends with those types, and is made again otherwise. Either way the runs
// leave the tables, print the reports and end with the statuses of reading
// each sheet whole first (read_ahead_rows=0): sheets whose types change
// past their first rows, found at the end (a number column taking a text,
// integers taking a fraction or a value past INT, an empty column taking
// numbers, a column appearing on the right, dates taking a time of day) or
// while copying (a text early in a long column of numbers, a long text among
// short ones), a sheet that
// keeps its types with a row the server refuses, each processing mode over
// an existing table, the .xls fixtures, and a package whose sheet turns out
// broken past its first rows.
TEST_F(LoadPaths, ReadingAheadGivesWhatReadingFirstGives) {
  {
    testsupport::xlsx_book b(dir_.file("book.xlsx"));
    lxw_format* day = b.format("yyyy-mm-dd");
    lxw_format* moment = b.format("yyyy-mm-dd hh:mm");
    lxw_worksheet* steady = b.sheet("steady");
    lxw_worksheet* late = b.sheet("late");
    // Long sheets whose types changed early, seen by the statistics of the
    // copy (a text among numbers) or by the first pass (a long text in a
    // column of short ones): the copy is given up on the way.
    lxw_worksheet* early = b.sheet("early");
    lxw_worksheet* wide = b.sheet("wide");
    wbtest::write_row(early, 0, {"n"});
    for (lxw_row_t r = 1; r <= 5000; ++r)
      wbtest::write_row(early, r, {r == 3 ? wbtest::xlsx_cell("three") : double(r)});
    const std::string long_text(300, 'w');
    for (lxw_row_t r = 0; r <= 10000; ++r)
      for (lxw_col_t c = 0; c < 14; ++c) {
        std::string text(1, 't');
        text += std::to_string(r + c);
        worksheet_write_string(wide, r, c, r == 3 && c == 5 ? long_text.c_str() : text.c_str(), nullptr);
      }
    wbtest::write_row(steady, 0, {"id", "name", "amount", "day"});
    wbtest::write_row(late, 0, {"num", "int", "big", "empty", "day"});
    for (lxw_row_t r = 1; r <= 40; ++r) {
      const double d = wbtest::serial(wbtest::epoch_1900, 2024, 1, 1) + r;
      wbtest::write_row(steady, r,
                        {double(r), r == 25 ? "four bytes \xF0\x9F\x98\x80" : "name " + std::to_string(r), r * 0.5});
      worksheet_write_number(steady, r, 3, d, day);
      wbtest::write_row(late, r,
                        {r == 30 ? wbtest::xlsx_cell("n/a") : double(r), r == 31 ? 2.5 : r, r == 32 ? 3e9 : r});
      if (r == 33) worksheet_write_number(late, r, 3, 7, nullptr);
      worksheet_write_number(late, r, 4, r == 34 ? d + 0.5 : d, r == 34 ? moment : day);
      if (r == 35) worksheet_write_string(late, r, 6, "right", nullptr);
    }
  }
  std::map<std::string, std::string> parts = testsupport::read_zip(dir_.file("book.xlsx"));
  parts["xl/worksheets/sheet1.xml"].replace(parts["xl/worksheets/sheet1.xml"].find("</sheetData>"), 12, "</sheetDat>");
  testsupport::write_zip(dir_.file("broken.xlsx"), parts);
  // Rows out of order, a row given twice (its first cell again after its
  // second) and values that are none of their cells' kinds, as some
  // generators write them.
  for (const char* sheet : {"sheet1", "sheet2", "sheet3", "sheet4"})
    parts[std::string("xl/worksheets/") + sheet + ".xml"] =
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
        "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a</t></is></c><c r=\"B1\" "
        "t=\"inlineStr\"><is><t>b</t></is></c>"
        "</row><row r=\"3\"><c r=\"A3\"><v>1</v></c><c r=\"B3\"><v>5</v></c></row><row r=\"3\"><c "
        "r=\"A3\"><v>6</v></c></row>"
        "<row r=\"2\"><c r=\"A2\"><v>9</v></c></row><row r=\"4\"><c "
        "r=\"A4\"><v>4</v></c></row><row r=\"5\"><c r=\"A5\"><v>0x1A</v></c><c r=\"B5\" t=\"b\"><v>maybe</v></c>"
        "<c r=\"C5\"><v>7</v></c><c r=\"D5\"><f>C5+1</f></c><c "
        "r=\"E5\"><f>C5</f><v></v></c><c r=\"F5\" t=\"str\"><f>C5</f></c></row></sheetData></worksheet>";
  testsupport::write_zip(dir_.file("shuffled.xlsx"), parts);
  const std::string xls = testsupport::source_dir() + "/tests/data/xls/";
  const auto runs = [&](const std::string& lines, std::string& logs) {
    const auto env = settings(lines);
    check_.exec("DROP DATABASE IF EXISTS `" + db_ + "`");
    std::string text;
    logs.clear();
    const auto step = [&](const std::string& source, const std::vector<std::string>& args) {
      text += logged(source, args, env, logs) + listing();
    };
    step("book.xlsx", {"--extr_fn", "--charset=utf8"});
    for (const std::string mode : {"1", "2", "3"}) {
      sql({"DROP TABLE IF EXISTS steady", "CREATE TABLE steady (id INT, name TEXT)",
           "INSERT INTO steady VALUES (1, 'kept')"});
      step("book.xlsx", {"--extr_fn", "--charset=utf8", "--mode=" + mode});
    }
    step("broken.xlsx", {"--extr_fn", "--mode=1"});
    step("shuffled.xlsx", {"--extr_fn", "--mode=1"});
    for (const char* fixture : {"cell_kinds.xls", "dates_1904.xls", "meanings.xls", "sheets.xls"})
      step(xls + fixture, {"--extr_fn", "--mode=1"});
    return text;
  };
  std::string whole_logs, logs;
  const std::string whole = runs("read_ahead_rows=0\n", whole_logs);
  EXPECT_EQ(whole_logs.find("read ahead"), std::string::npos);
  const std::string ahead = runs("read_ahead_rows=2\n", logs);
  EXPECT_EQ(ahead, whole);
  // The tables' accounts too: a sheet made again told the column changes of
  // its first copy ("num DOUBLE → INT" for a column that ends text).
  const auto accounts = [](const std::string& log) {
    std::string out;
    for (size_t at = log.find(" rows read, "); at != std::string::npos; at = log.find(" rows read, ", at + 1)) {
      const size_t begin = log.rfind('\n', at) + 1;
      out += log.substr(begin, log.rfind("; ", log.find('\n', at)) - begin) + "\n";  // without the time
    }
    return out;
  };
  EXPECT_EQ(accounts(logs), accounts(whole_logs));
  // Each change of a sheet read ahead in its final types is in the trace
  // once, as when the sheet is read whole first: the changes weighed again
  // at the end of the copy (and every 4,096 records) are not shown again.
  const auto steady_changes = [](const std::string& log) {
    size_t n = 0;
    for (size_t at = log.find("Store SQL query: ALTER TABLE `steady`"); at != std::string::npos;
         at = log.find("Store SQL query: ALTER TABLE `steady`", at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(steady_changes(logs), steady_changes(whole_logs));
  EXPECT_GT(steady_changes(whole_logs), 0u);
  // Both outcomes were met.
  for (const char* line :
       {"Worksheet steady: read ahead in its final types", "Worksheet late: types changed past the first rows",
        "Worksheet early: types changed at record 4096", "Worksheet wide: types changed at record"})
    EXPECT_NE(logs.find(line), std::string::npos) << line;
  // What the runs show.
  for (const char* line :
       {"steady, record #25: Incorrect string value",
        "Worksheet late: 2 values out of order (in a row above one already read, or given twice for one cell) are not "
        "converted",
        "Worksheet late: 2 values that are no value of their cell's kind (a number, date, boolean or shared text) are "
        "stored as NULL",
        "Worksheet late: 3 formula cells were saved without a calculated result: they are stored as the workbook holds "
        "them (NULL, or the 0 its writer put in their place)"})
    EXPECT_NE(whole.find(line), std::string::npos) << line;
}

}  // namespace
