// Dump files loaded back into the private MariaDB server by the mariadb
// client: a generated CSV with every column kind converted once live and
// once into a dump gives the same refined table and rows, equal to the CSV; values around the inline
// limit (the larger ones written in pieces) arrive whole.

#include <gtest/gtest.h>

#include <random>

#include "dmp_database.h"
#include "mysql_test_server.h"
#include "sql_dialect.h"
#include "test_support.h"
#include "tk_unicode.h"
#include "udb_record.h"
#include "udb_recordset.h"

using testsupport::mysql_row;
using testsupport::run_result;
using testsupport::write_file;

namespace {

class DumpLoad : public testsupport::mysql_fixture {
 protected:
  void TearDown() override {
    if (!dump_db_.empty()) check_.exec("DROP DATABASE IF EXISTS `" + dump_db_ + "`");
    mysql_fixture::TearDown();
  }

  // Runs a dump file through the mariadb client, as a user would.
  void load(const std::string& file, const std::string& database = "") {
    const run_result r = testsupport::run(
        "/bin/sh", {"sh", "-c", "exec mariadb --no-defaults -h\"$1\" -P\"$2\" -u\"$3\" -p\"$4\" $5 < \"$6\"", "sh",
                    address_.host, std::to_string(address_.port), address_.user, address_.password, database, file});
    ASSERT_EQ(r.status, 0) << r.err.substr(0, 2000);
  }

  testsupport::temp_dir dir_;
  std::string dump_db_;
};

// Rows of id, big, amount, day, moment, clock, note, word, mixed (numbers
// and words), nothing (always empty) as the CSV reader gives them (a line
// end inside quotes is one LF; a lone CR stays), and the CSV text.
std::vector<std::vector<std::string>> make_csv(int n, std::string& csv) {
  std::mt19937 rng(11);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto text = [](const char* format, auto... args) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, args...);
    return std::string(buf);
  };
  static const char* const pieces[] = {"\r\n",
                                       "\r",
                                       "\n",
                                       "\\",
                                       "'",
                                       "\"",
                                       "\t",
                                       "\x1A",
                                       "\x01",
                                       "\x1F",
                                       "O'Brien\\x",
                                       "caf\xC3\xA9",
                                       "\xF0\x9F\x98\x80",
                                       "a,b",
                                       " "};
  std::vector<std::vector<std::string>> rows;
  csv = "id,big,amount,day,moment,clock,note,word,mixed,nothing\r\n";
  for (int i = 1; i <= n; ++i) {
    std::string note, quoted = "\"", read;
    for (int k = pick(0, 12); k > 0; --k) note += pieces[pick(0, std::size(pieces) - 1)];
    for (size_t c = 0; c < note.size(); ++c) {
      quoted += note[c] == '"' ? "\"\"" : std::string(1, note[c]);
      if (note[c] != '\r' || c + 1 == note.size() || note[c + 1] != '\n') read += note[c];
    }
    rows.push_back({std::to_string(i), i % 9 ? std::to_string((i % 2 ? -1 : 1) * (5000000000LL + i)) : "",
                    text("%d.%02d", pick(-99999, 99999), pick(0, 99)),
                    text("%04d-%02d-%02d", pick(1000, 9999), pick(1, 12), pick(1, 28)),
                    text("%04d-%02d-%02d %02d:%02d:%02d", pick(1970, 2037), pick(1, 12), pick(1, 28), pick(0, 23),
                         pick(0, 59), pick(0, 59)),
                    text("%02d:%02d:%02d", pick(0, 23), pick(0, 59), pick(0, 59)), quoted + "\"",
                    i % 5 ? "w" + std::to_string(i % 97) : "", i % 7 ? std::to_string(pick(-50, 50)) : "n/a", ""});
    for (size_t k = 0; k < rows.back().size(); ++k) csv += (k ? "," : "") + rows.back()[k];
    csv += "\r\n";
    rows.back()[6] = read;
  }
  return rows;
}

// Every column kind: the refined types, and every value equal to the file's
// in both databases.
TEST_F(DumpLoad, LiveAndDumpAgree) {
  std::string csv;
  const auto rows = make_csv(100000, csv);
  write_file(dir_.file("data.csv"), csv);
  // 4-byte characters need utf8mb4 on both roads; the dump makes its own
  // database.
  write_file(dir_.file("settings"), "char_set=utf8mb4\ndmp_ins_db=1\n");
  const std::map<std::string, std::string> env{{"GRIDLOAD_SETTINGS", dir_.file("settings")}};
  const std::vector<std::string> args{"--from_csv", "--src=data.csv", "--csv_delim=2", "--extr_fn", "--tab_name=facts"};
  std::vector<std::string> live = args, dump = args;
  for (const std::string& a : {"--dest=" + db_, "--host=" + address_.host, "--port=" + std::to_string(address_.port),
                               "--user=" + address_.user, "--pswd=" + address_.password})
    live.push_back(a);
  dump_db_ = db_ + "_d";
  dump.push_back("--dump");
  dump.push_back("--dest=" + dump_db_ + ".sql");
  for (const auto& run : {live, dump}) {
    const run_result r = testsupport::run_gridload(run, dir_.path(), env);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }
  load(dir_.file(dump_db_ + ".sql"));

  const std::string live_table = "`" + db_ + "`.`facts`", dump_table = "`" + dump_db_ + "`.`facts`";
  auto definition_of = [&](const std::string& table) {
    return check_.query("SHOW CREATE TABLE " + table).at(0).at(1).value_or("");
  };
  const std::string definition = definition_of(live_table);
  EXPECT_EQ(definition_of(dump_table), definition);
  EXPECT_EQ(check_.scalar("SELECT GROUP_CONCAT(column_name, ' ', column_type ORDER BY ordinal_position) FROM "
                          "information_schema.columns WHERE table_schema='" +
                          db_ + "' AND table_name='facts'"),
            "id int(11),big bigint(20),amount double,day date,moment datetime,clock time,note varchar(255),"
            "word varchar(255),mixed varchar(255),nothing varchar(255)");
  EXPECT_EQ(check_.query("CHECKSUM TABLE " + dump_table)[0][1], check_.query("CHECKSUM TABLE " + live_table)[0][1]);

  const std::vector<mysql_row> got = check_.query("SELECT * FROM " + dump_table + " ORDER BY id");
  ASSERT_EQ(got.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("row " + rows[i][0]);
    for (size_t k : {0u, 3u, 4u, 5u, 6u, 7u, 8u, 9u}) EXPECT_EQ(got[i][k].value_or("NULL"), rows[i][k]);
    EXPECT_EQ(got[i][1].value_or(""), rows[i][1]);
    EXPECT_EQ(got[i][1].has_value(), !rows[i][1].empty());
    EXPECT_DOUBLE_EQ(std::stod(got[i][2].value_or("nan")), std::stod(rows[i][2]));
  }
}

// Text (every character the escaping touches; a 4-byte character across
// piece boundaries) and binary values (every byte value) of exactly the
// inline limit and one more, which goes to the file in pieces.
TEST_F(DumpLoad, ValuesAroundTheInlineLimitArriveWhole) {
  std::u16string unit = u"'\\\r\n\x1A";
  unit += u'\0';
  unit += u"\"\U0001F600\u00E9 x";  // 12 units: no pair is cut at either length
  std::u16string text;
  while (text.size() < sql_max_inline_field_size + 1) text += unit;
  std::vector<uint8_t> bytes(sql_max_inline_field_size + 1);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + i / 256);

  udb_schema schema;
  schema.push_back(t_ftd(0, u"id", VT_I4, false, false, ole_variant(), 0));
  schema.push_back(t_ftd(0, u"txt", VT_BSTR, false, false, ole_variant(), 0));
  schema.push_back(t_ftd(0, u"bin", VT_BLOB, false, false, ole_variant(), 0));
  const std::string file = dir_.file("big.sql");
  std::vector<mysql_row> expected;
  {
    dmp_database db(std::u16string(file.begin(), file.end()), dump_options{}, {"big.sql", "01/02/2030"},
                    {u"utf8mb4", u"InnoDB", nullptr});
    auto table = db.create_table(u"big", schema, {});
    udb_record row;
    for (size_t size : {sql_max_inline_field_size, sql_max_inline_field_size + 1}) {
      const std::u16string_view part = std::u16string_view(text).substr(0, size);
      const std::vector<uint8_t> blob(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size));
      row.clear();
      row.add(u"id").set_i4(static_cast<int32_t>(size));
      row.add(u"txt").set_text(part);
      row.add(u"bin").attach_binary(std::vector<uint8_t>(blob));
      table->append_record(row);
      expected.push_back({tk_unicode_to_utf8(part), std::string(blob.begin(), blob.end())});
    }
    table.reset();
    db.finish();
  }
  load(file, db_);
  EXPECT_TRUE(check_.query("SELECT txt, bin FROM big ORDER BY id") == expected) << "a value did not arrive whole";
}

}  // namespace
