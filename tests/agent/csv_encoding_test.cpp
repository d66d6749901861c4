// CSV files as users have them, end to end with the real binary into the
// private server and through dump files loaded back: one table in every
// encoding, a file that is not UTF-8, lines that the chosen encoding cannot
// read, a code page that does not exist, and cells of every size. Encoded
// files are written by iconv.

#include <gtest/gtest.h>

#include "workbook_support.h"

using testsupport::run_result;
using testsupport::write_file;
using wbtest::table_rows;

namespace {

class CsvEncoding : public wbtest::workbook_run {
 protected:
  // UTF-8 text in the encoding `to` (an iconv name; empty: as it is).
  std::string encoded(const std::string& utf8, const std::string& to) {
    if (to.empty()) return utf8;
    write_file(dir_.file("utf8.txt"), utf8);
    const run_result r = testsupport::run("/usr/bin/iconv", {"iconv", "-f", "UTF-8", "-t", to, dir_.file("utf8.txt")});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }
};

}  // namespace

// One table written in six encodings, each with a row of its own letters,
// arrives with the same values: UTF-8 without and with its mark, UTF-16 in
// both byte orders with theirs, Windows-1252 named in the settings file and
// Windows-1251 in a profile (which the file alone would not tell). Each run,
// into the server and through a dump, against
// tests/golden/csv/every_encoding.txt.
TEST_F(CsvEncoding, OneTableInEveryEncodingArrivesTheSame) {
  const std::string common =
      "id,name,note\n1,O'Brien,\"\xE2\x80\x9Cquoted\xE2\x80\x9D, \xE2\x80\x93 dash\"\n"
      "2,\"\xE2\x82\xAC 12,50\",\"line one\nline \xC2\xABtwo\xC2\xBB\"\n3,\xC2\xA9\xC2\xB0\xC2\xB1\xC2\xA7,"
      "\xE2\x80\xA6\xE2\x84\xA2\xE2\x80\xA0\n";
  const std::string latin = "M\xC3\xBCller caf\xC3\xA9", cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
                    astral = "\xF0\x9F\x98\x80 \xE6\x97\xA5\xE6\x9C\xAC";
  write_file(dir_.file("p.profile"), "[Generic settings]\ncsv code page=windows-1251\n[MySQL settings]\nhost=" +
                                         address_.host + "\nport=" + std::to_string(address_.port) +
                                         "\nuser=" + address_.user + "\npassword=" + address_.password + "\n");
  const struct {
    const char* name;
    std::string mark, to, own_name, own_note, settings, option;
  } cases[] = {
      {"UTF-8", "", "", latin, astral, "", ""},
      {"UTF-8 with its mark", "\xEF\xBB\xBF", "", cyrillic, astral, "", ""},
      {"UTF-16LE", "\xFF\xFE", "UTF-16LE", latin, astral, "", ""},
      {"UTF-16BE", "\xFE\xFF", "UTF-16BE", cyrillic, astral, "", ""},
      {"Windows-1252 in the settings file", "", "CP1252", latin, latin, "csv_code_page=1252\n", ""},
      {"Windows-1251 in a profile", "", "CP1251", cyrillic, cyrillic, "", "--profile=p.profile"},
  };
  std::string text;
  for (const auto& c : cases) {
    write_file(dir_.file("t.csv"), c.mark + encoded(common + "4," + c.own_name + "," + c.own_note + "\n", c.to));
    each_way(
        "t.csv", csv_args("t", {"--charset=utf8mb4", c.option}),
        [&](const run_result& r) { text += testsupport::transcript(c.name, r) + listing(); }, settings(c.settings));
  }
  testsupport::expect_golden("csv/every_encoding.txt", text);
}

// One byte that is not UTF-8, on line 3 of a file of 1,000 rows: the file is
// read as Windows-1252, said so, and every row arrives, the UTF-8 pair of
// line 500 as the two Windows-1252 characters it then is
// (tests/golden/csv/not_utf8.txt).
TEST_F(CsvEncoding, AFileThatIsNotUtf8IsReadAsWindows1252) {
  std::string text = "n,v\n";
  for (int i = 1; i <= 1000; ++i)
    text += std::to_string(i) + "," +
            (i == 2     ? "caf\xE9"
             : i == 499 ? "caf\xC3\xA9"
                        : "row " + std::to_string(i)) +
            "\n";
  write_file(dir_.file("g.csv"), text);
  both_ways("g.csv", csv_args("g"), "csv/not_utf8.txt");
}

// A line that the chosen encoding cannot read is reported with its number
// as a refused record is, and every other line is stored (what each
// encoding cannot read is the reader's test, csv_file_encoding). A code
// page that does not exist stops the run before anything is made. Against
// tests/golden/csv/unreadable_line.txt.
TEST_F(CsvEncoding, ALineThatCannotBeReadIsReportedAndTheOthersStored) {
  write_file(dir_.file("b.csv"), "n,v\n1,\xE1\n2,\xD2\n3,\xE3\n");  // Windows-1253 does not define D2
  both_ways("b.csv", csv_args("b"), "csv/unreadable_line.txt", settings("csv_code_page=1253\n"));
  check_.exec("DROP TABLE b");
  const auto unknown = settings("csv_code_page=klingon\n");
  for (bool direct : {true, false}) {
    const run_result r =
        direct ? convert("b.csv", csv_args("b"), unknown) : dump("b.csv", "u.sql", csv_args("b"), unknown);
    EXPECT_EQ(std::tuple(r.status, r.out, r.err),
              std::tuple(255, std::string(),
                         std::string("Unknown CSV code page 'klingon': name a Windows code page such as 1252 or a "
                                     "converter such as ISO-8859-15\n")));
  }
  EXPECT_EQ(std::pair(tables(), testsupport::file_exists(dir_.file("u.sql"))),
            std::pair(std::vector<std::string>{}, false));
}

// Cells at each limit of the text types and one past it, in bytes, around
// the limits of a batch statement and of a value written inline (rows that
// used to be refused as over max_allowed_packet, though the server takes
// 64 MiB), and two million 4-byte characters: each column becomes the
// smallest type that holds its value, and every value arrives whole, live
// and through a dump.
TEST_F(CsvEncoding, CellsOfEverySizeArriveWhole) {
  const struct {
    size_t bytes;
    const char* type;
  } sizes[] = {{255, "varchar(255)"},    {256, "text"},          {65535, "text"},         {65536, "mediumtext"},
               {16777215, "mediumtext"}, {16777216, "longtext"}, {1000500, "mediumtext"}, {1048576, "mediumtext"},
               {8000000, "mediumtext"}};
  std::string header = "n", text;
  std::vector<std::string> values, types{"n int(11)"};
  for (size_t i = 0; i < std::size(sizes); ++i) {
    std::string v;
    v.reserve(sizes[i].bytes);
    const bool astral = i + 1 == std::size(sizes);
    for (size_t k = 0; k < sizes[i].bytes; k += astral ? 4 : 1)
      v.append(astral ? "\xF0\x9F\x98" : "").push_back(static_cast<char>(astral ? 0x80 + k / 4 % 64 : 'a' + k % 26));
    const std::string name = std::string("c").append(std::to_string(sizes[i].bytes));
    header.append(",").append(name);
    types.push_back(name + " " + sizes[i].type);
    values.push_back(std::move(v));
  }
  // Row i holds column i's value; its other cells are short.
  text = header + "\n";
  for (size_t i = 0; i < values.size(); ++i) {
    text += std::to_string(i + 1);
    for (size_t k = 0; k < values.size(); ++k) text.append(",").append(k == i ? std::string_view(values[k]) : "x");
    text += "\n";
  }
  write_file(dir_.file("big.csv"), text);
  text.clear();
  both_ways("big.csv", csv_args("big", {"--charset=utf8mb4"}), "Converting CSV file big.csv\n", [&] {
    EXPECT_EQ(columns("big"), types);
    for (size_t i = 0; i < values.size(); ++i) {
      SCOPED_TRACE(types[i + 1]);
      EXPECT_TRUE(check_.scalar("SELECT " + types[i + 1].substr(0, types[i + 1].find(' ')) +
                                " FROM big WHERE n=" + std::to_string(i + 1)) == values[i])
          << "the value did not arrive whole";
    }
  });
}
