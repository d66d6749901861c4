// Hostile text wherever a run puts user data into SQL text: worksheet, table
// and column names, the destination database and the dump file's name, cell
// values (also on a server where backslashes escape nothing), and the
// storage engine and character set settings. Each source goes into the
// server and into a dump file loaded back with the server's client. After
// every run no shell line of the dump has run, nothing outside the
// destination has changed, every name is the one the name rules make of it
// (control characters and forbidden characters become '_') and every value
// reads back byte for byte.

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "biff_test_writer.h"
#include "workbook_support.h"

using testsupport::run_result;
using wbtest::table_rows;

namespace {

enum class source_kind { xlsx, xls, csv };

// What a shell line that got out of its comment leaves in the test's folder
// (gridload and the client both run there), and the text that would run it
// from the start of a line of the dump.
const std::string planted = "pwned";
const std::string shell_line = "system touch " + planted + " #";

// Quotes and backslashes as an escape can get them wrong, the bytes a dump
// escapes (NUL, CR, LF, Ctrl-Z), a literal that ends early where
// backslashes escape nothing, and UTF-8 of two, three and four bytes.
const std::vector<std::string> hostile_values = {
    "\\",   "'",    "\\'",    "';DROP TABLE t;--",   std::string("a\0b", 3),
    "a\rb", "a\nb", "a\032b", "x', (SELECT 1)) -- ", "Gr\u00fc\u00dfe \u20ac \u4e2d\u6587 \U0001D11E"};

// First-row cells and the column names they become: control characters and
// the characters no column name may hold are made '_' (the name lower-cased);
// comment markers are ordinary characters inside a quoted name.
using name_pairs = std::vector<std::pair<std::string, std::string>>;
const name_pairs plain_column = {{"v", "v"}};
const name_pairs line_breaks = {{"c\n" + shell_line, "c_" + shell_line}, {"c\rr", "c_r"}};
const name_pairs nul = {{std::string("nul\0c", 5), "nul_c"}};
const name_pairs marks = {{"tick`c", "tick_c"}, {"sq'c", "sq_c"},
                          {"dq\"c", "dq_c"},    {"bs\\c", "bs_c"},
                          {"h # c", "h # c"},   {"d -- c", "d -- c"},
                          {"s /* c", "s /_ c"}, {"system touch " + planted, "system touch " + planted}};

// A header row, then one row per value with the value in every column.
table_rows sheet_cells(const std::vector<std::string>& header, const std::vector<std::string>& values) {
  table_rows cells{header};
  for (const std::string& v : values) cells.emplace_back(header.size(), v);
  return cells;
}

// UTF-8 as UTF-16, converted by iconv (NUL included).
std::u16string utf16(const std::string& s) {
  std::u16string out(s.size(), u'\0');
  char* in = const_cast<char*>(s.data());
  char* to = reinterpret_cast<char*>(out.data());
  std::size_t in_left = s.size(), out_left = 2 * out.size();
  const iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
  EXPECT_EQ(iconv(cd, &in, &in_left, &to, &out_left), std::size_t{0}) << s;
  iconv_close(cd);
  out.resize(out.size() - out_left / 2);
  return out;
}

// An attribute value of workbook.xml: markup characters and control
// characters as character references (a literal CR or LF would be
// normalised to a blank).
std::string xml_attribute(const std::string& s) {
  std::string out;
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == '&' || c == '<' || c == '>' || c == '"')
      out += "&#" + std::to_string(c) + ";";
    else
      out += ch;
  }
  return out;
}

// Writes `cells` as the source of `kind` into `dir`: a workbook whose only
// worksheet is `sheet`, or a CSV file with every field quoted. NUL, which
// XML cannot carry, goes into an .xlsx cell as the workbook escape _x0000_
// (the writer escapes the other control characters itself); a NUL in a
// worksheet name needs an .xls file.
std::string write_source(source_kind kind, const std::string& dir, const std::string& sheet, const table_rows& cells) {
  if (kind == source_kind::xlsx) {
    const std::string path = dir + "/in.xlsx";
    {
      wbtest::xlsx_book book(path);
      lxw_worksheet* ws = book.sheet("S1");
      for (std::size_t r = 0; r < cells.size(); ++r)
        for (std::size_t c = 0; c < cells[r].size(); ++c) {
          std::string text;
          for (char ch : cells[r][c]) text += ch ? std::string(1, ch) : "_x0000_";
          worksheet_write_string(ws, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c), text.c_str(), nullptr);
        }
    }
    wbtest::patch_part(path, "xl/workbook.xml", "name=\"S1\"", "name=\"" + xml_attribute(sheet) + "\"");
    return path;
  }
  if (kind == source_kind::xls) {
    biff_test::bytes sst;
    std::string records;
    std::uint32_t strings = 0;
    for (std::size_t r = 0; r < cells.size(); ++r)
      for (std::size_t c = 0; c < cells[r].size(); ++c) {
        records += biff_test::labelsst_cell(static_cast<unsigned>(r), static_cast<unsigned>(c), strings++);
        sst.raw(biff_test::unicode_string(utf16(cells[r][c]), true));
      }
    const std::string sst_record =
        biff_test::record(0x00FC, biff_test::bytes().u32(strings).u32(strings).str() + sst.str());
    const std::string path = dir + "/in.xls";
    testsupport::write_file(
        path, biff_test::compound_file(
                  {{u"Workbook", biff_test::workbook_stream(8, biff_test::xf_records(8, {}),
                                                            {{sheet, 0, 0, 0x10, records}}, sst_record)}}));
    return path;
  }
  std::string csv;
  for (const auto& row : cells) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      csv += c ? ",\"" : "\"";
      for (char ch : row[c]) csv += ch == '"' ? "\"\"" : std::string(1, ch);
      csv += '"';
    }
    csv += '\n';
  }
  const std::string path = dir + "/in.csv";
  testsupport::write_file(path, csv);
  return path;
}

// The options that read a source of `kind` into `table` (a CSV file's
// table; a worksheet names its own), column names from the first row,
// four-byte UTF-8 kept.
std::vector<std::string> source_args(source_kind kind, const std::string& table) {
  std::vector<std::string> args{"--extr_fn", "--charset=utf8mb4"};
  if (kind == source_kind::csv) args.insert(args.end(), {"--from_csv", "--csv_delim=2", "--tab_name=" + table});
  return args;
}

std::string ident(const std::string& name) {
  std::string out = "`";
  for (char c : name) out += c == '`' ? std::string("``") : std::string(1, c);
  return out + "`";
}

class Hostile : public wbtest::workbook_run {
 protected:
  void SetUp() override {
    workbook_run::SetUp();
    home_ = address_;
  }
  void TearDown() override {
    address_ = home_;
    std::string why;
    if (check_.open(address_, "", why))
      for (const std::string& db : {sentinel(), extra_db_})
        if (!db.empty()) check_.exec("DROP DATABASE IF EXISTS " + ident(db));
    workbook_run::TearDown();
  }

  std::string sentinel() const { return db_ + "_s"; }

  // Plants the sentinel table, then takes the server's state: every
  // database and table outside the destinations (other tests' databases
  // left out), the sentinel's checksum and the server's accounts (other
  // tests' own accounts left out).
  std::vector<std::string> snapshot() {
    EXPECT_TRUE(check_.exec("CREATE DATABASE IF NOT EXISTS " + ident(sentinel())));
    EXPECT_TRUE(check_.exec("CREATE OR REPLACE TABLE " + ident(sentinel()) + ".keep (v VARCHAR(20))"));
    EXPECT_TRUE(check_.exec("INSERT INTO " + ident(sentinel()) + ".keep VALUES ('kept')"));
    return server_state();
  }
  std::vector<std::string> server_state() {
    std::vector<std::string> out;
    for (const auto& r :
         rows("SELECT CONCAT(s.schema_name, '.', IFNULL(t.table_name, '')) FROM information_schema.schemata s LEFT "
              "JOIN information_schema.tables t ON t.table_schema = s.schema_name WHERE LEFT(s.schema_name, 3) <> "
              "'gl_' OR s.schema_name = '" +
              sentinel() + "' ORDER BY 1"))
      out.push_back(r[0]);
    for (const auto& r : rows("CHECKSUM TABLE " + ident(sentinel()) + ".keep")) out.push_back(r[0] + " " + r[1]);
    // Accounts other tests make for themselves are theirs.
    for (const auto& r : rows("SELECT CONCAT(User, '@', Host, ' ', Priv) FROM mysql.global_priv WHERE User NOT LIKE "
                              "'gl\\_%' ORDER BY 1"))
      out.push_back(r[0]);
    return out;
  }

  // What went (-) and came (+) between two server states.
  static std::string changes(const std::vector<std::string>& before, const std::vector<std::string>& after) {
    std::string out;
    for (const std::string& b : before)
      if (std::find(after.begin(), after.end(), b) == after.end()) out += "-" + b + "\n";
    for (const std::string& a : after)
      if (std::find(before.begin(), before.end(), a) == before.end()) out += "+" + a + "\n";
    return out;
  }

  // One run of `source` with `args`: into the server (the test's database
  // emptied first) or into `dump_file`, loaded with the client. Checks what
  // every run must leave; false when the run or the load failed.
  bool run_way(bool direct, const std::string& source, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env = {}, const std::string& dump_file = "out.sql") {
    if (direct) {
      check_.exec("DROP DATABASE IF EXISTS " + ident(db_));
      check_.exec("CREATE DATABASE " + ident(db_) + " CHARACTER SET utf8mb4");
    }
    const std::vector<std::string> before = snapshot();
    const run_result r = direct ? convert(source, args, env) : dump(source, dump_file, args, env);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
    const bool loaded = r.status == 0 && (direct || load_dump(dump_file));
    EXPECT_FALSE(testsupport::file_exists(dir_.file(planted))) << "a shell line of the dump ran";
    std::remove(dir_.file(planted).c_str());
    EXPECT_EQ(changes(before, server_state()), "");
    return loaded;
  }

  // `db` (a name without quotes) holds exactly the table `table` with
  // `columns` in order and `values` as rows, byte for byte.
  void expect_table(const std::string& db, const std::string& table, const std::vector<std::string>& columns,
                    const table_rows& values) {
    table_rows names;
    for (const std::string& c : columns) names.push_back({table, c});
    EXPECT_EQ(rows("SELECT table_name, column_name FROM information_schema.columns WHERE table_schema = BINARY '" + db +
                   "' ORDER BY table_name, ordinal_position"),
              names);
    EXPECT_EQ(rows("SELECT * FROM " + ident(db) + "." + ident(table)), values);
  }

  testsupport::mysql_address home_;
  std::string extra_db_;
};

// The source names (`first`) or the names they arrive as.
std::vector<std::string> side(const name_pairs& pairs, bool first) {
  std::vector<std::string> out;
  for (const auto& p : pairs) out.push_back(first ? p.first : p.second);
  return out;
}

}  // namespace

// Worksheet names, --tab_name and first-row cells that would close a dump
// comment, a quoted name or a statement. Table names lose control
// characters and every character no table name may hold ('/' and '*' among
// them), column names control characters and the first eight of those.
TEST_F(Hostile, Names) {
  const struct {
    const char* label;
    source_kind kind;
    std::string name, table;
    const name_pairs& columns;
  } cases[] = {
      {"worksheet: line feed before a shell line", source_kind::xlsx, "x\n" + shell_line, "x_" + shell_line,
       plain_column},
      {"worksheet: carriage return", source_kind::xlsx, "x\r" + shell_line, "x_" + shell_line, plain_column},
      {"worksheet: NUL", source_kind::xls, std::string("x\0", 2) + shell_line, "x_" + shell_line, plain_column},
      // The workbook engine gives a worksheet's apostrophe doubled, as in O''Brien.
      {"worksheet: quotes and a backslash", source_kind::xlsx, "tick` sq' dq\" bs\\", "tick_ sq__ dq_ bs_",
       plain_column},
      {"worksheet: comment markers", source_kind::xls, "hash # dash -- c /* x", "hash # dash -- c __ x", plain_column},
      {"worksheet: a shell command alone", source_kind::xlsx, "system touch " + planted, "system touch " + planted,
       plain_column},
      {"--tab_name: line feed before a shell line", source_kind::csv, "x\n" + shell_line, "x_" + shell_line,
       plain_column},
      {"--tab_name: closing its quotes", source_kind::csv, "t`; DROP TABLE x; -- '\"", "t__ drop table x_ -- __",
       plain_column},
      {"xlsx columns: line breaks", source_kind::xlsx, "t", "t", line_breaks},
      {"csv columns: line breaks", source_kind::csv, "t", "t", line_breaks},
      {"xls columns: NUL", source_kind::xls, "t", "t", nul},
      {"xlsx columns: NUL (escaped)", source_kind::xlsx, "t", "t", nul},
      {"csv columns: NUL", source_kind::csv, "t", "t", nul},
      {"xls columns: quotes, backslash, comment markers", source_kind::xls, "t", "t", marks},
      {"csv columns: quotes, backslash, comment markers", source_kind::csv, "t", "t", marks},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const table_rows cells = sheet_cells(side(c.columns, true), hostile_values);
    const std::string source = write_source(c.kind, dir_.path(), c.name, cells);
    for (bool direct : {true, false}) {
      SCOPED_TRACE(direct ? "into the server" : "through a dump file");
      if (run_way(direct, source, source_args(c.kind, c.name)))
        expect_table(db_, c.table, side(c.columns, false), table_rows(cells.begin() + 1, cells.end()));
    }
  }
}

// The destination's name: a database named with a backtick and a semicolon
// arrives under that very name, live and from a dump file whose base name
// it is (the dump creating its database); a line feed in the dump file's
// name stays inside the header comment.
TEST_F(Hostile, DestName) {
  extra_db_ = db_ + "`; DROP DATABASE " + sentinel() + "; -- x";
  const table_rows cells = sheet_cells({"v"}, hostile_values);
  const table_rows values(cells.begin() + 1, cells.end());
  const std::string source = write_source(source_kind::csv, dir_.path(), "", cells);
  const auto makes_db = settings("dmp_ins_db=1\n");
  const struct {
    const char* label;
    bool direct;
    std::string dest, db;
    std::map<std::string, std::string> env;
  } cases[] = {
      {"--dest", true, extra_db_, extra_db_, {}},
      {"dump file named after the database", false, extra_db_ + ".sql", extra_db_, makes_db},
      {"dump file name with a shell line", false, "d\n" + shell_line + ".sql", db_, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    check_.exec("DROP DATABASE IF EXISTS " + ident(extra_db_));
    std::vector<std::string> args = source_args(source_kind::csv, "t");
    if (c.direct) args.push_back("--dest=" + c.dest);
    if (run_way(c.direct, source, args, c.env, c.dest)) expect_table(c.db, "t", {"v"}, values);
  }
}

// Every value, from each kind of source, into a server whose sql_mode has
// NO_BACKSLASH_ESCAPES: the session and the dump must not rely on
// backslash escapes.
TEST_F(Hostile, NoBackslashEscapes) {
  testsupport::throwaway_mariadb server;
  std::string why;
  ASSERT_TRUE(server.start("--sql-mode=NO_BACKSLASH_ESCAPES,STRICT_TRANS_TABLES", why)) << why;
  use_server(server.address());
  ASSERT_NE(check_.scalar("SELECT @@GLOBAL.sql_mode").find("NO_BACKSLASH_ESCAPES"), std::string::npos);
  const table_rows cells = sheet_cells({"a", "b"}, hostile_values);
  const table_rows values(cells.begin() + 1, cells.end());
  for (source_kind kind : {source_kind::xlsx, source_kind::xls, source_kind::csv}) {
    SCOPED_TRACE(kind == source_kind::xlsx ? "xlsx" : kind == source_kind::xls ? "xls" : "csv");
    const std::string source = write_source(kind, dir_.path(), "t", cells);
    for (bool direct : {true, false}) {
      SCOPED_TRACE(direct ? "into the server" : "through a dump file");
      if (run_way(direct, source, source_args(kind, "t"))) expect_table(db_, "t", {"a", "b"}, values);
    }
  }
}

// Storage engine and character set names from the command line or the
// settings file are names, not SQL: anything else ends the run before
// anything is created (the destination is a new database, so the character
// set would reach CREATE DATABASE, in the dump too).
TEST_F(Hostile, EngineAndCharset) {
  extra_db_ = db_ + "_new";
  const std::string drop = "; DROP DATABASE " + sentinel();
  const std::string engine = "Invalid storage engine name 'InnoDB" + drop + "'";
  const std::string charset = "Invalid character set name 'utf8" + drop + "'";
  const struct {
    std::string option, setting, message;
  } cases[] = {
      {"--engine=InnoDB" + drop, "", engine},
      {"--charset=utf8" + drop, "", charset},
      {"", "tab_type=InnoDB" + drop, engine},
      {"", "char_set=utf8" + drop, charset},
  };
  const std::string source = write_source(source_kind::csv, dir_.path(), "", sheet_cells({"v"}, {"1"}));
  const std::string dump_file = extra_db_ + ".sql";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option + c.setting);
    const auto env = settings("dmp_ins_db=1\n" + c.setting + "\n");
    for (bool direct : {true, false}) {
      SCOPED_TRACE(direct ? "into the server" : "into a dump file");
      const std::vector<std::string> before = snapshot();
      // The later --dest= wins over the one of convert().
      const std::vector<std::string> args = csv_args("t", {c.option, direct ? "--dest=" + extra_db_ : ""});
      const run_result r = direct ? convert(source, args, env) : dump(source, dump_file, args, env);
      EXPECT_EQ(r.status, 255) << r.out << r.err;
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
      EXPECT_FALSE(testsupport::file_exists(dir_.file(dump_file))) << "a dump file was written";
      EXPECT_EQ(rows("SELECT schema_name FROM information_schema.schemata WHERE schema_name = '" + extra_db_ + "'"),
                table_rows{});
      EXPECT_EQ(tables(), std::vector<std::string>{});
      EXPECT_EQ(changes(before, server_state()), "");
      check_.exec("DROP DATABASE IF EXISTS " + ident(extra_db_));
    }
  }
  // Plain words that no server of the family has: a dump cannot ask its
  // server, and refuses them in the server's words. It was written, and
  // loaded it dropped the user's database before its CREATE was refused.
  const std::pair<std::string, std::string> unknown[] = {{"tab_type=InnoDBB", "Unknown storage engine 'InnoDBB'"},
                                                         {"char_set=utf8mb5", "Unknown character set: 'utf8mb5'"}};
  for (const auto& [setting, message] : unknown) {
    const run_result r = dump(source, dump_file, csv_args("t"), settings("dmp_ins_db=1\n" + setting + "\n"));
    EXPECT_EQ(std::tuple(r.status, r.err), std::tuple(255, message + "\n"));
    EXPECT_FALSE(testsupport::file_exists(dir_.file(dump_file))) << "a dump file was written";
  }
}
