// Dump files loaded back into the private MariaDB server by the mariadb
// client: a generated CSV converted once live and once into a dump must
// give the same tables and rows, equal to the CSV; values over the inline
// limit, written in pieces, must arrive whole.

#include <gtest/gtest.h>

#include <random>

#include "dmp_database.h"
#include "mysql_test_server.h"
#include "sql_engine.h"
#include "sql_util.h"
#include "test_support.h"
#include "tk_unicode.h"
#include "udb_record.h"
#include "udb_recordset.h"

using testsupport::mysql_fixture;
using testsupport::mysql_row;
using testsupport::run_result;
using testsupport::temp_dir;
using testsupport::write_file;

namespace {

class DumpLoad : public mysql_fixture {
 protected:
  void TearDown() override {
    if (!dump_db_.empty()) check_.exec("DROP DATABASE IF EXISTS `" + dump_db_ + "`");
    mysql_fixture::TearDown();
  }

  std::vector<std::string> server_args() const {
    return {"--host=" + address_.host, "--port=" + std::to_string(address_.port), "--user=" + address_.user,
            "--pswd=" + address_.password};
  }

  // Runs a dump file through the mariadb client, as a user would.
  void load(const std::string& file, const std::string& database = "") {
    const run_result r = testsupport::run(
        "/bin/sh",
        {"sh", "-c", "exec mariadb --no-defaults -h\"$1\" -P\"$2\" -u\"$3\" -p\"$4\" $5 < \"$6\"", "sh", address_.host,
         std::to_string(address_.port), address_.user, address_.password, database, file});
    ASSERT_EQ(r.status, 0) << r.out << r.err.substr(0, 2000);
  }

  temp_dir dir_;
  std::string dump_db_;
};

struct csv_row {
  std::string id, big, amount, day, moment, clock, note, word;
};

std::string csv_quoted(const std::string& s) {
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

// The value the CSV reader gives for a quoted cell: a line end (CR LF or
// LF) inside the quotes is one LF; a lone CR stays.
std::string as_read(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    out += s[i];
  }
  return out;
}

std::vector<csv_row> make_rows(int n, std::string& csv) {
  std::mt19937 rng(11);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  static const char* const pieces[] = {"\r\n", "\r", "\n", "\\", "\\\\", "'", "''", "\"", "\t", "\x1A", "\x01",
                                       "\x1F", "O'Brien\\x", "caf\xC3\xA9", "\xF0\x9F\x98\x80", "a,b", " ", "z"};
  std::vector<csv_row> rows;
  csv = "id,big,amount,day,moment,clock,note,word\r\n";
  char buf[64];
  for (int i = 1; i <= n; ++i) {
    csv_row r;
    r.id = std::to_string(i);
    r.big = i % 9 == 0 ? "" : std::to_string((i % 2 ? -1LL : 1LL) * (5000000000LL + pick(0, 1000000)));
    std::snprintf(buf, sizeof buf, "%d.%02d", pick(-99999, 99999), pick(0, 99));
    r.amount = buf;
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", pick(1000, 9999), pick(1, 12), pick(1, 28));
    r.day = buf;
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", pick(1970, 2037), pick(1, 12), pick(1, 28),
                  pick(0, 23), pick(0, 59), pick(0, 59));
    r.moment = buf;
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", pick(0, 23), pick(0, 59), pick(0, 59));
    r.clock = buf;
    for (int k = pick(0, 12); k > 0; --k) r.note += pieces[pick(0, std::size(pieces) - 1)];
    r.word = i % 5 == 0 ? "" : "w" + std::to_string(pick(0, 99));
    csv += r.id + "," + r.big + "," + r.amount + "," + r.day + "," + r.moment + "," + r.clock + "," + csv_quoted(r.note) +
           "," + r.word + "\r\n";
    r.note = as_read(r.note);
    rows.push_back(std::move(r));
  }
  return rows;
}

// The same generated CSV converted live and into a dump loaded by the
// client: the same definition and rows, equal to the CSV.
TEST_F(DumpLoad, LiveAndDumpAgree) {
  std::string csv;
  const std::vector<csv_row> rows = make_rows(3000, csv);
  write_file(dir_.file("data.csv"), csv);
  // 4-byte characters need utf8mb4 on both roads; the dump creates its
  // own database.
  write_file(dir_.file("settings"), "char_set=utf8mb4\ndmp_ins_db=1\n");
  const std::map<std::string, std::string> env{{"GRIDLOAD_SETTINGS", dir_.file("settings")}};
  std::vector<std::string> args{"--from_csv", "--src=data.csv", "--csv_delim=2", "--extr_fn", "--tab_name=facts"};

  std::vector<std::string> live = args;
  live.push_back("--dest=" + db_);
  for (const std::string& a : server_args()) live.push_back(a);
  run_result r = testsupport::run_gridload(live, dir_.path(), env);
  ASSERT_EQ(r.status, 0) << r.out << r.err;

  dump_db_ = db_ + "_d";
  std::vector<std::string> dump = args;
  dump.push_back("--dump");
  dump.push_back("--dest=" + dump_db_ + ".sql");
  r = testsupport::run_gridload(dump, dir_.path(), env);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  load(dir_.file(dump_db_ + ".sql"));

  const std::vector<mysql_row> live_def = check_.query("SHOW CREATE TABLE `" + db_ + "`.`facts`");
  const std::vector<mysql_row> dump_def = check_.query("SHOW CREATE TABLE `" + dump_db_ + "`.`facts`");
  ASSERT_EQ(live_def.size(), 1u);
  ASSERT_EQ(dump_def.size(), 1u);
  EXPECT_EQ(*dump_def[0][1], *live_def[0][1]);
  EXPECT_NE(live_def[0][1]->find("`moment` datetime"), std::string::npos) << "the columns were not refined";
  const std::string live_sum = check_.query("CHECKSUM TABLE `" + db_ + "`.`facts`")[0][1].value_or("");
  EXPECT_EQ(check_.query("CHECKSUM TABLE `" + dump_db_ + "`.`facts`")[0][1].value_or("-"), live_sum);

  const std::vector<mysql_row> got =
      check_.query("SELECT id, big, amount, day, moment, clock, note, word FROM `" + dump_db_ + "`.`facts` ORDER BY id");
  ASSERT_EQ(got.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("row " + rows[i].id);
    const csv_row& e = rows[i];
    const mysql_row& g = got[i];
    EXPECT_EQ(g[0].value_or("NULL"), e.id);
    EXPECT_EQ(g[1].value_or(""), e.big);
    EXPECT_EQ(g[1].has_value(), !e.big.empty());
    EXPECT_DOUBLE_EQ(std::stod(g[2].value_or("nan")), std::stod(e.amount));
    EXPECT_EQ(g[3].value_or("NULL"), e.day);
    EXPECT_EQ(g[4].value_or("NULL"), e.moment);
    EXPECT_EQ(g[5].value_or("NULL"), e.clock);
    EXPECT_EQ(g[6].value_or("NULL"), e.note);
    EXPECT_EQ(g[7].value_or("NULL"), e.word);
  }
}

// Rows holding values of exactly the inline limit and one unit more, text
// (every character the escaping touches, 4-byte characters across piece
// boundaries) and binary (every byte value), loaded back whole.
TEST_F(DumpLoad, ValuesAroundTheInlineLimitArriveWhole) {
  std::u16string unit = u"'\\\r\n\x1A";
  unit += u'\0';
  unit += u"\"\U0001F600\u00E9 x";
  std::u16string text;
  while (text.size() < sql_max_inline_field_size + 1) text += unit;
  std::vector<uint8_t> bytes(sql_max_inline_field_size + 1);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + i / 256);

  sql_engine engine;
  engine.char_set = u"utf8mb4";
  udb_schema schema;
  schema.push_back(t_ftd(0, u"id", VT_I4, false, false, ole_variant(), 0));
  schema.push_back(t_ftd(0, u"txt", VT_BSTR, false, false, ole_variant(), 0));
  schema.push_back(t_ftd(0, u"bin", VT_BLOB, false, false, ole_variant(), 0));
  const std::string file = dir_.file("big.sql");
  std::vector<std::pair<std::string, std::string>> expected;
  {
    dmp_database db(std::u16string(file.begin(), file.end()), dump_options{}, {"big.sql", "01/02/2030"});
    auto table = db.create_table(u"big", schema, {});
    udb_record row;
    int32_t id = 0;
    for (size_t size : {sql_max_inline_field_size, sql_max_inline_field_size + 1}) {
      // Both lengths end on a whole character (the pair sits at offset 7
      // of the 12-unit pattern).
      const size_t units = size;
      ASSERT_FALSE(text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF);
      row.clear();
      row.add(u"id").set_i4(++id);
      row.add(u"txt").set_text(std::u16string_view(text).substr(0, units));
      row.add(u"bin").attach_binary(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size)));
      table->append_record(row);
      expected.emplace_back(tk_unicode_to_utf8(std::u16string_view(text).substr(0, units)),
                            std::string(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size)));
    }
  }
  load(file, db_);
  const std::vector<mysql_row> got = check_.query("SELECT txt, bin FROM big ORDER BY id");
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(got[i][0] == expected[i].first) << "text differs";
    EXPECT_TRUE(got[i][1] == expected[i].second) << "bytes differ";
  }
}

}  // namespace
