// The live destination against the private server: the session the engine
// sets up, the database's table list and definitions read back, and the
// table writer (values stored and read back equal in both append paths, the
// server's strict mode, batching, long data, and the size and duplicate
// rules). Each test has the destination's own engine connected and the
// test's database opened through it; checks go through the test's separate
// connection (check_). And a dump file loaded back by the server's client.
// (Connection faults and database names of any bytes,
// and creating, replacing and dropping tables, are shown end to end with
// the real binary.)

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "dmp_database.h"
#include "expect_failure.h"
#include "mysql_test_server.h"
#include "sql_charset_check.h"
#include "sql_database.h"
#include "sql_engine.h"
#include "sql_exception.h"
#include "sql_row_error_sink.h"
#include "sql_schema_initializer.h"
#include "sql_table.h"
#include "sql_tmp_recordset.h"
#include "test_support.h"
#include "tk_exception.h"
#include "tk_format.h"
#include "tk_unicode.h"
#include "udb_record.h"
#include "udb_recordset.h"

namespace {

t_ftd column(const char16_t* name, VARTYPE vt, uint32_t size, bool auto_inc = false) {
  return t_ftd(size, name, vt, false, auto_inc, ole_variant(), 0);
}

// id INT, txt (long text), bin (long binary).
udb_schema id_text_bin_schema() {
  udb_schema schema;
  schema.push_back(column(u"id", VT_I4, 4));
  schema.push_back(column(u"txt", VT_BSTR, 0));
  schema.push_back(column(u"bin", VT_ARRAY_UI1, 0));
  return schema;
}

udb_indexes primary_on(const char16_t* field) {
  udb_indexes indexes;
  indexes.push_back(udb_index(u"pk", true, true));
  indexes[0].fields = {field};
  return indexes;
}

// A record of id_text_bin_schema(); no bytes is NULL.
void fill(udb_record& r, int32_t id, std::u16string_view text, const std::vector<uint8_t>& bytes = {}) {
  r.clear();
  r.add(u"id").set_i4(id);
  r[0].set_declared_size(4);
  r.add(u"txt").set_text(text);
  udb_field& bin = r.add(u"bin");
  if (bytes.empty())
    bin.set_null();
  else
    bin.attach_binary(std::span<const uint8_t>(bytes));
}

// `action` must fail with a server error, one of `codes`, at level 0: a
// refused statement is reported and the conversion goes on.
void expect_server_error(const std::function<void()>& action, std::initializer_list<unsigned> codes) {
  try {
    action();
    ADD_FAILURE() << "no server error";
  } catch (const sql_exception& e) {
    EXPECT_NE(std::find(codes.begin(), codes.end(), e.error_number()), codes.end()) << e.message();
    EXPECT_EQ(e.level(), 0u);
  }
}

class sql_server_fixture : public testsupport::mysql_fixture {
 protected:
  void SetUp() override {
    testsupport::mysql_fixture::SetUp();
    if (HasFatalFailure()) return;
    engine_ = std::make_unique<sql_engine>();
    engine_->connect(address_.host, address_.user, address_.password, address_.port);
    database_ = open(udb_database::mode_append);
  }
  void TearDown() override {
    database_.reset();
    engine_.reset();
    testsupport::mysql_fixture::TearDown();
  }

  std::unique_ptr<sql_database> open(uint32_t mode) { return engine_->open_database(tk_utf8_to_unicode(db_), mode); }
  std::unique_ptr<sql_table> create(const std::u16string& name, const udb_schema& schema,
                                    const udb_indexes& indexes = udb_indexes()) {
    std::unique_ptr<udb_recordset> rs = database_->create_table(name, schema, indexes);
    return std::unique_ptr<sql_table>(static_cast<sql_table*>(rs.release()));
  }
  std::unique_ptr<sql_table> get(const std::u16string& name) {
    std::unique_ptr<udb_recordset> rs = database_->get_table(name, udb_database::mode_append);
    return std::unique_ptr<sql_table>(static_cast<sql_table*>(rs.release()));
  }
  // A session counter of statements the engine's connection ran
  // (Com_insert, Com_load).
  long long com(const std::string& counter = "Com_insert") {
    sql_tmp_recordset rs("SHOW SESSION STATUS LIKE '" + counter + "'", engine_->handle());
    return std::stoll((*rs.get_record())[1].to_string());
  }
  // Connects again, rows going through LOAD DATA LOCAL or not, in a
  // character set or the default one.
  void reconnect(bool load_data, const char16_t* char_set = u"") {
    database_.reset();
    engine_->set_load_data(load_data);
    engine_->set_char_set(char_set);
    engine_->connect(address_.host, address_.user, address_.password, address_.port);
    database_ = open(udb_database::mode_append);
  }

  std::unique_ptr<sql_engine> engine_;
  std::unique_ptr<sql_database> database_;
};

class sql_engine_session : public sql_server_fixture {};

TEST_F(sql_engine_session, SessionSettingsAndReconnectWithUtf8mb4) {
  sql_tmp_recordset rs(
      "SELECT VERSION(), @@session.wait_timeout, @@session.foreign_key_checks, "
      "@@character_set_client, @@session.sql_mode",
      engine_->handle());
  const udb_record& row = *rs.get_record();
  EXPECT_EQ(engine_->dialect().version(), sql_engine::parse_version(row[0].to_string().c_str()));
  EXPECT_GE(std::stoll(row[1].to_string()), 28800);
  EXPECT_EQ(row[2].to_string(), "0");
  EXPECT_EQ(row[3].to_string(), "utf8mb3");
  // The server's strict mode is kept (the server's flags are kept; a server
  // with NO_BACKSLASH_ESCAPES is tried end to end), and dates with a zero
  // month or day are refused: the server's own list of both.
  check_.exec("SET SESSION sql_mode = CONCAT_WS(',', @@GLOBAL.sql_mode, 'NO_ZERO_IN_DATE')");
  EXPECT_EQ(row[4].to_string(), check_.scalar("SELECT @@SESSION.sql_mode"));
  check_.exec("SET SESSION sql_mode = DEFAULT");
  EXPECT_NE(row[4].to_string().find("STRICT_TRANS_TABLES"), std::string::npos) << row[4].to_string();

  const unsigned long first = mysql_thread_id(engine_->handle());
  reconnect(true, u"utf8mb4");
  EXPECT_NE(mysql_thread_id(engine_->handle()), first);
  // The first connection is closed before the second is made.
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM information_schema.processlist WHERE id=" + std::to_string(first)),
            "0");
  sql_tmp_recordset second("SELECT @@character_set_client", engine_->handle());
  EXPECT_EQ((*second.get_record())[0].to_string(), "utf8mb4");
}

class sql_database_server : public sql_server_fixture {};

// A table's definition is read back from the server; a database merged
// into may hold views, which are no tables to write. (Creating, replacing and
// dropping tables is shown end to end.)
TEST_F(sql_database_server, TableDefinitionsAreReadBackAndViewsLeftOut) {
  ASSERT_TRUE(check_.exec(
      "CREATE TABLE d (id INT AUTO_INCREMENT PRIMARY KEY, code VARCHAR(12) NOT NULL, note TEXT, pic BLOB, "
      "amount FLOAT(10,2), made DATETIME DEFAULT CURRENT_TIMESTAMP, zero DATE DEFAULT '0000-00-00', flag BIT(1) "
      "DEFAULT b'1', g POINT, UNIQUE KEY uc (code), KEY two (code, id))"));
  ASSERT_TRUE(check_.exec("INSERT INTO d (code, note, g) VALUES ('a', 'n', POINT(1, 2)), ('b', NULL, NULL)"));
  ASSERT_TRUE(check_.exec("CREATE VIEW v1 AS SELECT id FROM d"));
  database_ = open(udb_database::mode_append);
  EXPECT_EQ(database_->tables(), std::vector<std::u16string>{u"d"});

  std::unique_ptr<sql_table> table = get(u"d");
  std::vector<VARTYPE> types;
  for (const char16_t* name : {u"code", u"note", u"pic", u"amount", u"made"}) {
    ASSERT_NE(table->schema().find(name), nullptr) << tk_unicode_to_utf8(name);
    types.push_back(table->schema().find(name)->vartype);
  }
  EXPECT_EQ(types, (std::vector<VARTYPE>{VT_BSTR, VT_BSTR, VT_ARRAY_UI1, VT_DECIMAL, VT_DATE}));
  EXPECT_EQ(table->schema().find(u"code")->size, 12u);
  const t_ftd& amount = *table->schema().find(u"amount");
  EXPECT_EQ(std::pair(amount.precision, amount.scale), std::pair(10u, 2u));
  EXPECT_EQ(table->schema().find(u"made")->reserved, 9u);
  EXPECT_TRUE(table->schema().find(u"zero")->def_value.is_empty());
  ASSERT_EQ(table->indexes().size(), 3u);
  EXPECT_TRUE(table->indexes()[0].b_primary);
  EXPECT_EQ(table->indexes()[2].fields, (std::vector<std::u16string>{u"code", u"id"}));
}

std::string utf8(std::u16string_view text) { return tk_unicode_to_utf8(text); }

// Both append paths: batched multi-row statements and one statement per record.
class sql_table_paths : public sql_server_fixture, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    sql_server_fixture::SetUp();
    if (database_ && !GetParam()) database_->stop_batching();
  }
};

// Every byte value, NUL, quotes, backslashes and 4-byte characters; and a
// 3 MiB text (two UTF-8 bytes for the accented characters) with 3 MiB of
// bytes, which may not travel inside a statement: they go as long data.
TEST_P(sql_table_paths, ValuesReadBackEqual) {
  reconnect(true, u"utf8mb4");
  if (!GetParam()) database_->stop_batching();

  std::vector<std::u16string> texts;
  std::u16string every;
  for (char16_t c = 1; c <= 0xFF; ++c) texts.push_back(std::u16string(1, c)), every += c;
  texts.push_back(every);
  texts.push_back(std::u16string(u"nul\0inside", 10));
  texts.push_back(u"O'Brien\\x ''\\' \"double\" `tick` \r\n\t\x1A");
  texts.push_back(u"emoji \U0001F600 and \U00010348, CJK \u4E2D\u6587");
  texts.push_back(u"");
  std::u16string large;
  std::vector<uint8_t> large_bytes(3 << 20), all_bytes(256);
  for (size_t i = 0; i < large_bytes.size(); ++i) {
    large += i % 7 == 0 ? u'\u00E9' : static_cast<char16_t>(u'a' + i % 26);
    large_bytes[i] = static_cast<uint8_t>(i * 131 + 7);
  }
  large.replace(100, 3, std::u16string(u"'\\\0", 3));
  texts.push_back(large);
  texts.push_back(u"after the large one");
  for (size_t b = 0; b < all_bytes.size(); ++b) all_bytes[b] = static_cast<uint8_t>(b);
  auto bytes_of = [&](size_t i) {
    return i == 0 ? all_bytes : texts[i] == large ? large_bytes : std::vector<uint8_t>{0x00, 0xFF};
  };
  std::vector<testsupport::mysql_row> expected;
  {
    std::unique_ptr<sql_table> table = create(u"vals", id_text_bin_schema(), primary_on(u"id"));
    udb_record r;
    for (size_t i = 0; i < texts.size(); ++i) {
      const std::vector<uint8_t> bytes = bytes_of(i);
      fill(r, static_cast<int32_t>(i), texts[i], bytes);
      table->append_record(r);
      expected.push_back({utf8(texts[i]), std::string(bytes.begin(), bytes.end())});
    }
    EXPECT_FALSE(database_->batching()) << "a record above the cap ends batching for the run";
  }
  EXPECT_TRUE(check_.query("SELECT txt, bin FROM vals ORDER BY id") == expected) << "a value did not read back equal";
}

INSTANTIATE_TEST_SUITE_P(append, sql_table_paths, ::testing::Values(true, false),
                         [](const auto& test) { return test.param ? "fast" : "slow"; });

class sql_table_writer : public sql_server_fixture {};

// Rows go in LOAD DATA blocks of first_load_bytes, doubling up to
// max_load_bytes, or (local infile off) in INSERT statements of at most
// max_statement_bytes.
TEST_F(sql_table_writer, BatchesAreCappedAndSentWhenFullOrChanged) {
  for (const bool load : {true, false}) {
    SCOPED_TRACE(load ? "LOAD DATA" : "INSERT");
    reconnect(load);
    const std::string counter = load ? "Com_load" : "Com_insert";
    const size_t cap = load ? sql_table::max_load_bytes : sql_table::max_statement_bytes;
    const std::u16string name = load ? u"b_load" : u"b_insert";
    std::unique_ptr<sql_table> table = create(name, id_text_bin_schema());
    const long long before = com(counter);
    udb_record r;
    // Ten small records: one statement, sent when the writer goes.
    for (int i = 0; i < 10; ++i) {
      fill(r, i, std::u16string(90, u'a'));
      table->append_record(r);
    }
    EXPECT_EQ(com(counter), before);
    table.reset();
    EXPECT_EQ(com(counter), before + 1);

    // Records of about 1,000 bytes for two and a half full statements: each
    // statement filled up to its cap and none past it (LOAD DATA blocks
    // start at first_load_bytes and double), and no row lost at the
    // boundaries.
    table = get(name);
    const long long start = com(counter);
    std::vector<size_t> sent;  // the size of each statement sent when full
    size_t last = 0;
    const int n = static_cast<int>(cap * 5 / 2 / 1000);
    for (int i = 0; i < n; ++i) {
      fill(r, 100 + i, std::u16string(1000, static_cast<char16_t>(u'a' + i % 26)));
      table->append_record(r);
      if (table->pending().size() < last) sent.push_back(last);
      last = table->pending().size();
    }
    table->flush();
    ASSERT_GE(sent.size(), 2u);
    for (size_t k = 0; k < sent.size(); ++k) {
      const size_t cap_k = load ? std::min(cap, sql_table::first_load_bytes << std::min<size_t>(k, 8)) : cap;
      EXPECT_LE(sent[k], cap_k) << k;
      EXPECT_GT(sent[k], cap_k - 2000) << k;
    }
    EXPECT_EQ(com(counter) - start, static_cast<long long>(sent.size()) + 1);
    EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM " + utf8(name)), std::to_string(n + 10));

    // A record with another layout starts a new statement with its own head.
    const long long third = com(counter);
    fill(r, 100000, u"x");
    table->append_record(r);
    udb_record two;
    two.add(u"id").set_i4(100001);
    two.add(u"txt").set_text(u"two cells");
    table->append_record(two);
    EXPECT_EQ(com(counter), third + 1);
    table->flush();
    EXPECT_EQ(check_.scalar("SELECT CONCAT(txt, '/', IFNULL(bin, 'null')) FROM " + utf8(name) + " WHERE id=100001"),
              "two cells/null");
  }
}

// Slow append: the server refuses a duplicate key, and the next record is
// stored. (The batches' INSERT IGNORE passing over held keys is the merge's
// end-to-end test, through LOAD DATA and INSERT statements alike.)
TEST_F(sql_table_writer, DuplicateKeyRefusedInSlowAppend) {
  std::unique_ptr<sql_table> table = create(u"Text Table", id_text_bin_schema(), primary_on(u"id"));
  database_->stop_batching();
  udb_record r;
  fill(r, 2, u"first");
  table->append_record(r);
  fill(r, 2, u"duplicate");
  expect_server_error([&] { table->append_record(r); }, {1062});
  fill(r, 4, u"fourth");
  table->append_record(r);
  EXPECT_EQ(check_.scalar("SELECT GROUP_CONCAT(txt ORDER BY id) FROM `Text Table`"), "first,fourth");
}

TEST_F(sql_table_writer, RecordThatDoesNotConform) {
  std::unique_ptr<sql_table> table = create(u"m", id_text_bin_schema(), primary_on(u"id"));
  udb_record r;
  fill(r, 1, u"v1");
  table->append_record(r);  // a row waiting in the batch
  udb_record stranger;
  stranger.add(u"id").set_i4(9);
  stranger.add(u"nope").set_text(u"x");
  testsupport::expect_failure([&] { table->append_record(stranger); }, 0, 0,
                              "The structure of data source does not conform to the destination table. For more "
                              "information see Troubleshooting article");
  // The record left no half-made layout behind for the next one.
  fill(r, 2, u"v2");
  table->append_record(r);
  table->flush();
  EXPECT_EQ(check_.scalar("SELECT GROUP_CONCAT(txt ORDER BY id) FROM m"), "v1,v2");
}

// Keeps the rows a table refuses, with the server's error number (0: not
// the server's).
class refusal_sink : public sql_row_error_sink {
 public:
  std::vector<std::pair<uint64_t, unsigned>> refused;  // row, error number (0: not the server's)
  std::vector<std::string> messages;
  void refused_row(uint64_t row, const tk_exception& e) override {
    const auto* server = dynamic_cast<const sql_exception*>(&e);
    refused.emplace_back(row, server ? server->error_number() : 0);
    messages.push_back(e.message());
  }
};

// A throw-away server with a small max_allowed_packet: records larger than
// it are refused alone (the packet limit of batches, and a server lost in
// the middle of a load, are shown end to end).
TEST(sql_table_packet, RecordLargerThanMaxAllowedPacket) {
  testsupport::throwaway_mariadb server;
  std::string error;
  ASSERT_TRUE(server.start("--max-allowed-packet=2M", error)) << error;
  const testsupport::mysql_address& a = server.address();
  sql_engine engine;
  engine.connect(a.host, a.user, a.password, a.port);
  std::unique_ptr<sql_database> db = engine.create_database(u"packet");
  EXPECT_EQ(db->max_allowed_packet(), 2u * 1024 * 1024);
  std::unique_ptr<udb_recordset> table = db->create_table(u"t", id_text_bin_schema(), udb_indexes());
  refusal_sink sink;
  static_cast<sql_table&>(*table).set_row_error_sink(&sink);
  udb_record r;
  for (int i = 1; i <= 3; ++i) {
    fill(r, i, u"kept");
    table->append_record(r);
  }
  // One cell past the inline limit (streamed as long data); and two cells
  // exactly at it, none past it, whose statement is past the packet. The
  // server is never asked: each record is refused with its own number.
  for (const auto& [text_chars, bytes] : {std::pair{3u << 20, 0u}, {1u << 20, 1u << 20}}) {
    SCOPED_TRACE(text_chars);
    fill(r, 100, std::u16string(text_chars, u'z'), std::vector<uint8_t>(bytes, 1));
    table->append_record(r);
  }
  EXPECT_EQ(sink.messages, (std::vector<std::string>{"Row size exceeds 'max_allowed_packet'",
                                                     "Got a packet bigger than 'max_allowed_packet' bytes"}));
  EXPECT_EQ(sink.refused, (std::vector<std::pair<uint64_t, unsigned>>{{4, 0}, {5, 1153}}));
  static_cast<sql_table&>(*table).set_row_error_sink(nullptr);
  testsupport::mysql_connection check;
  ASSERT_TRUE(check.open(a, "packet", error)) << error;
  EXPECT_EQ(check.scalar("SELECT GROUP_CONCAT(txt) FROM t"), "kept,kept,kept");
}

// A dump file loaded back into the private server by the mariadb client:
// values around the inline limit (the larger ones written in pieces) arrive
// whole. (Live and dump runs of the same sources are compared end to end in
// tests/agent.) Text (every character the escaping touches; a 4-byte character across
// piece boundaries) and binary values (every byte value) of exactly the
// inline limit and one more, which goes to the file in pieces.
using DumpLoad = testsupport::mysql_fixture;
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
  testsupport::temp_dir dir;
  const std::string file = dir.file("big.sql");
  std::vector<testsupport::mysql_row> expected;
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
  const testsupport::run_result r = testsupport::run(
      "/bin/sh", {"sh", "-c", "exec mariadb --no-defaults -h\"$1\" -P\"$2\" -u\"$3\" -p\"$4\" $5 < \"$6\"", "sh",
                  address_.host, std::to_string(address_.port), address_.user, address_.password, db_, file});
  ASSERT_EQ(r.status, 0) << r.err.substr(0, 2000);
  EXPECT_TRUE(check_.query("SELECT txt, bin FROM big ORDER BY id") == expected) << "a value did not arrive whole";
}

}  // namespace

// The characters a dump leaves out of a table of each character set are
// those the server would refuse: for every character of the Basic
// Multilingual Plane, against the server's own conversion. The sets whose
// conversion is known agree exactly; every other set is left to the server
// (nothing refused), and no set refuses a character the server holds.
// A dump cannot ask the server: the column definitions it would refuse (a
// decimal's digits out of bounds, a default its column cannot hold) are
// told in the server's words, so that no dump of them is written (one
// stopped loading at its CREATE TABLE, after dmp_ins_db's DROP DATABASE).
TEST_F(DumpLoad, ColumnDefinitionsAreRefusedAsTheServerRefusesThem) {
  ASSERT_TRUE(check_.exec("SET SESSION sql_mode = 'STRICT_ALL_TABLES'"));
  const sql_dialect dialect(0x0A0B06, sql_dialect::target::live);
  // Each column with each of its defaults (nullptr: none).
  const struct {
    VARTYPE vt;
    uint32_t size, precision, scale;
    std::vector<const char16_t*> defaults;
  } kinds[] = {
      {VT_DECIMAL, 0, 70, 2, {nullptr}},
      {VT_DECIMAL, 0, 40, 39, {nullptr}},
      {VT_DECIMAL, 0, 5, 9, {nullptr}},
      {VT_DECIMAL, 0, 65, 38, {nullptr}},
      // Decimals once rounded to their scale.
      {VT_DECIMAL, 0, 5, 2, {u"123", u"1234", u"-0999.5", u"1.5e2", u"1e3", u"0.0001e6"}},
      {VT_DECIMAL, 0, 4, 2, {u"99.999", u"-99.995", u"99.994"}},
      {VT_CY, 0, 0, 0, {u"999999999999999", u"1000000000000000", u"999999999999999.99995"}},
      {VT_BSTR, 5, 0, 0, {u"abcde", u"abcdef"}},
      {VT_BSTR, 2, 0, 0, {u"\U0001F600x"}},
      {VT_I1, 0, 0, 0, {u"127", u"300", u"-129"}},
      {VT_UI1, 0, 0, 0, {u"255", u"-1"}},
      {VT_I2, 0, 0, 0, {u"-32768"}},
      {VT_UI2, 0, 0, 0, {u"65536"}},
      {VT_I4, 0, 0, 0, {u"2147483648"}},
      {VT_UI4, 0, 0, 0, {u"-1", u"4294967295"}},
      {VT_BOOL, 0, 0, 0, {u"128"}},
      // Numbers past a float's range.
      {VT_R8, 0, 0, 0, {u"1e400", u"-1e308", u"2e-400"}},
      {VT_R4, 0, 0, 0, {u"1e39"}},
  };
  int refused = 0;
  for (const auto& c : kinds) {
    for (const char16_t* def : c.defaults) {
      udb_schema schema;
      schema.push_back(t_ftd(c.size, u"v", c.vt, false, false, def ? ole_variant(def) : ole_variant(), 0));
      schema.fields[0]->precision = c.precision;
      schema.fields[0]->scale = c.scale;
      sql_schema_initializer columns(schema, udb_indexes(), dialect);
      std::string definition, refusal;
      try {
        definition = columns.get_init_chunks()[0];
        unsigned error_number = 0;
        refusal = dialect.column_refusal(*columns.schema().fields[0], u"v", error_number);
      } catch (const sql_exception& e) {
        // A default the column's own rules cannot write: as given, quoted.
        definition = "`v` " + tk_unicode_to_utf8(dialect.column_type(*schema.fields[0], false)) + " DEFAULT '" +
                     tk_unicode_to_utf8(def) + "'";
        refusal = e.message();
      }
      SCOPED_TRACE(definition);
      std::string server;
      check_.exec("DROP TEMPORARY TABLE IF EXISTS gl_definition");
      check_.exec("CREATE TEMPORARY TABLE gl_definition (" + definition + ") CHARACTER SET utf8mb4", &server);
      EXPECT_EQ(refusal, server);
      refused += !server.empty();
    }
  }
  // INT defaults out of range are refused too (they were left out, and the
  // column made without a default).
  EXPECT_EQ(refused, 19);
  // Types the type mappings give, written as given: a dump wrote every one
  // the server refuses, and stopped loading there.
  for (const char16_t* type : {u"CHAR(300)", u"BINARY(255)", u"VARBINARY(70000)", u"TIME(7)", u"DATETIME(6)",
                               u"BIT(65)", u"INT(300)", u"INT1", u"MIDDLEINT UNSIGNED", u"FOOBAR", u"TEXT NOT NULL"}) {
    t_ftd field(0, u"v", VT_BSTR, false, false, ole_variant(), 0);
    field.native_type = type;
    SCOPED_TRACE(tk_unicode_to_utf8(type));
    std::string server;
    check_.exec("DROP TEMPORARY TABLE IF EXISTS gl_definition");
    check_.exec("CREATE TEMPORARY TABLE gl_definition (`v` " + tk_unicode_to_utf8(type) + ") CHARACTER SET utf8mb4",
                &server);
    unsigned error_number = 0;
    EXPECT_EQ(dialect.column_refusal(field, u"v", error_number), server);
  }
}

// The statements escape with backslashes and give a date default in double
// quotes: the session (live, and the one loading a dump) drops the flags of
// its sql_mode that would read them otherwise. Under ANSI_QUOTES (or a mode
// naming it) the CREATE TABLE of such a column failed.
TEST_F(DumpLoad, TheSessionModeSuitsTheStatements) {
  udb_schema schema;
  ole_variant day;
  day.from_string("2001-02-03", VT_DATE);
  schema.push_back(t_ftd(0, u"d", VT_DATE, false, false, day, t_ftd::date_kind_date));
  for (const auto where : {sql_dialect::target::live, sql_dialect::target::dump}) {
    const sql_dialect dialect(0x0A0B06, where);
    sql_schema_initializer columns(schema, udb_indexes(), dialect);
    const std::string definition = columns.get_init_chunks()[0];
    for (const char* mode : {"ANSI", "ORACLE", "ANSI_QUOTES,NO_BACKSLASH_ESCAPES,STRICT_TRANS_TABLES", "MSSQL",
                             "EMPTY_STRING_IS_NULL", ""}) {
      SCOPED_TRACE(std::string(mode) + " " + definition);
      ASSERT_TRUE(check_.exec(std::string("SET SESSION sql_mode='") + mode + "'"));
      std::string error;
      EXPECT_TRUE(check_.exec(dialect.session_sql_mode(), &error)) << error;
      check_.exec("DROP TEMPORARY TABLE IF EXISTS gl_mode");
      EXPECT_TRUE(check_.exec("CREATE TEMPORARY TABLE gl_mode (" + definition + ")", &error)) << error;
      EXPECT_EQ(check_.scalar("SELECT 'a\\'b'"), "a'b");
      // An empty text stays one, and an engine the server lacks is refused.
      EXPECT_EQ(check_.scalar("SELECT CONCAT('[', COALESCE('', 'NULL'), ']')"), "[]");
      EXPECT_FALSE(check_.exec("CREATE TEMPORARY TABLE gl_engine (i INT) ENGINE=NoSuchEngine"));
    }
  }
}

TEST_F(DumpLoad, TheCharacterCheckRefusesWhatTheServerRefuses) {
  const std::set<std::string> known{"ascii",  "cp1250", "cp1251", "cp1256", "cp1257", "cp850",    "cp852", "cp866",
                                    "cp932",  "euckr",  "gb2312", "gbk",    "greek",  "hebrew",   "koi8r", "koi8u",
                                    "latin1", "latin2", "latin5", "latin7", "macce",  "macroman", "sjis"};
  std::set<std::string> exact;
  for (const testsupport::mysql_row& row :
       check_.query("SELECT character_set_name FROM information_schema.character_sets")) {
    const std::string set = row[0].value_or("");
    SCOPED_TRACE(set);
    std::vector<bool> refused(0x10000, false);
    for (const testsupport::mysql_row& r :
         check_.query("SELECT seq FROM seq_128_to_65535 WHERE seq NOT BETWEEN 55296 AND 57343 AND NOT "
                      "(CONVERT(CONVERT(CHAR(seq USING ucs2) USING " +
                      set + ") USING ucs2) <=> CHAR(seq USING ucs2) COLLATE ucs2_bin)"))
      refused[std::stoul(r[0].value_or("0"))] = true;
    const sql_charset_check check(tk_utf8_to_unicode(set));
    std::string held_not_refused, refused_not_held;
    size_t refusals = 0;
    for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      const char16_t unit = static_cast<char16_t>(c);
      const bool held = check.first_unheld(std::u16string_view(&unit, 1)) == 1;
      refusals += !held;
      if (held == !refused[c]) continue;
      std::string& list = held ? refused_not_held : held_not_refused;
      if (list.size() < 60) list += tk_format(" U+%04X", static_cast<unsigned>(c));
    }
    EXPECT_EQ(held_not_refused, "") << "refused in a dump, held by the server";
    if (refusals > 0) {
      EXPECT_EQ(refused_not_held, "") << "held in a dump, refused by the server";
      exact.insert(set);
    }
  }
  EXPECT_EQ(exact, known);
}
