// The table writer against the private server: values stored and read back
// equal in both append paths, batching, long data, the size and duplicate
// rules, merge updates, and a connection lost in the middle of a batch.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "sql_exception.h"
#include "sql_recordset.h"
#include "sql_row_error_sink.h"
#include "sql_server_fixture.h"
#include "sql_tmp_recordset.h"
#include "tk_exception.h"

namespace {

t_ftd column(const char16_t* name, VARTYPE vt, uint32_t size) {
  return t_ftd(size, name, vt, false, false, ole_variant(), 0);
}

udb_schema id_text_bin_schema() {
  udb_schema schema;
  schema.push_back(column(u"id", VT_I4, 4));
  schema.push_back(column(u"txt", VT_BSTR, 0));
  schema.push_back(column(u"bin", VT_ARRAY_UI1, 0));
  return schema;
}

udb_indexes primary_on(const char16_t* field) {
  udb_index key(u"pk", true, true);
  key.fields = {field};
  udb_indexes indexes;
  indexes.push_back(key);
  return indexes;
}

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

std::string utf8(std::u16string_view text) { return tk_unicode_to_utf8(text); }

// Both append paths: batched multi-row statements and one statement per record.
class sql_table_paths : public sql_server_fixture, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    sql_server_fixture::SetUp();
    if (engine_) engine_->fast_insert = GetParam();
  }
};

TEST_P(sql_table_paths, TextAndBytesReadBackEqual) {
  engine_->char_set = u"utf8mb4";
  engine_->connect(address_.host, address_.user, address_.password, address_.port);
  engine_->fast_insert = GetParam();
  database_ = open(udb_database::mode_append);

  std::vector<std::u16string> texts;
  std::u16string every;
  for (char16_t c = 1; c <= 0xFF; ++c) {
    texts.push_back(std::u16string(1, c));
    every += c;
  }
  texts.push_back(every);
  texts.push_back(std::u16string(u"nul\0inside", 10));
  texts.push_back(u"O'Brien\\x ''\\' \"double\" `tick` \r\n\t\x1A");
  texts.push_back(u"emoji \U0001F600 and \U00010348, CJK \u4E2D\u6587");
  texts.push_back(u"");
  std::vector<uint8_t> all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes.push_back(static_cast<uint8_t>(b));

  {
    std::unique_ptr<sql_table> table = create(u"vals", id_text_bin_schema(), primary_on(u"id"));
    udb_record r;
    for (size_t i = 0; i < texts.size(); ++i) {
      fill(r, static_cast<int32_t>(i), texts[i], i == 0 ? all_bytes : std::vector<uint8_t>{0x00, 0xFF});
      table->append_record(r);
    }
    table->flush();
  }

  const std::vector<testsupport::mysql_row> rows = check_.query("SELECT id, txt, bin FROM vals ORDER BY id");
  ASSERT_EQ(rows.size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(rows[i][1].has_value());
    EXPECT_EQ(*rows[i][1], utf8(texts[i]));
    const std::vector<uint8_t> expected = i == 0 ? all_bytes : std::vector<uint8_t>{0x00, 0xFF};
    EXPECT_EQ(*rows[i][2], std::string(expected.begin(), expected.end()));
  }

  // The destination's own reading gives the same values back.
  sql_recordset rs(*database_, u"vals", u"SELECT txt, bin FROM vals ORDER BY id", true, nullptr);
  size_t i = 0;
  for (; !rs.is_eof(); rs.move_next(), ++i) {
    ASSERT_LT(i, texts.size());
    EXPECT_EQ((*rs.get_record())[0].to_wstring(), texts[i]) << i;
  }
  EXPECT_EQ(i, texts.size());
}

INSTANTIATE_TEST_SUITE_P(append, sql_table_paths, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "fast" : "slow"; });

class sql_table_writer : public sql_server_fixture {};

// The server's strict mode is kept: a value it would cut or replace is
// refused with the server's error in both paths. Slow append fails the
// record at once; a batch, whose INSERT IGNORE would store the value altered
// with a warning, is rolled back and sent row by row, so that only the
// refused row is left out and reported with its number.
namespace {
struct collected_refusal {
  uint64_t row;
  unsigned code;
};
class refusal_sink : public sql_row_error_sink {
 public:
  std::vector<collected_refusal> refused;
  void refused_row(uint64_t row, const tk_exception& e) override {
    refused.push_back({row, static_cast<const sql_exception&>(e).error_number()});
  }
};
}  // namespace

TEST_P(sql_table_paths, AlteredValuesAreRefusedInsteadOfStoredWithAWarning) {
  struct row {
    const char* what;
    std::u16string text;
    std::vector<unsigned> codes;  // strict error, or the warning under IGNORE
  };
  const row rows[] = {
      {"a 4-byte character in a utf8 (3-byte) session", u"\U0001F600", {1366}},
      {"text longer than its VARCHAR", u"much too long", {1406, 1265}},
  };
  udb_schema schema;
  schema.push_back(column(u"id", VT_I4, 4));
  schema.push_back(column(u"txt", VT_BSTR, 5));
  std::unique_ptr<sql_table> table = create(u"strict", schema);
  refusal_sink sink;
  table->set_row_error_sink(&sink);
  const bool fast = GetParam();
  int id = 0;
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    udb_record rec;
    // A good row before the bad one, in the same batch.
    rec.add(u"id").set_i4(++id);
    rec.add(u"txt").set_text(u"ok");
    table->append_record(rec);
    rec[0].set_i4(++id);
    rec[1].set_text(r.text);
    unsigned code = 0;
    try {
      table->append_record(rec);
      table->flush();
      ASSERT_TRUE(fast) << "slow append stored the row";
      ASSERT_EQ(sink.refused.size(), 1u);
      EXPECT_EQ(sink.refused[0].row, static_cast<uint64_t>(id));
      code = sink.refused[0].code;
      sink.refused.clear();
    } catch (const sql_exception& e) {
      ASSERT_FALSE(fast) << e.message();
      EXPECT_EQ(e.level(), 0u) << "a refused record is reported and the conversion goes on";
      code = e.error_number();
    }
    EXPECT_NE(std::find(r.codes.begin(), r.codes.end(), code), r.codes.end()) << code;
    EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM strict WHERE id=" + std::to_string(id)), "0");
    EXPECT_EQ(check_.scalar("SELECT txt FROM strict WHERE id=" + std::to_string(id - 1)), "ok");
  }
  table->set_row_error_sink(nullptr);
}

TEST_F(sql_table_writer, BatchesAreCappedAndSentWhenFullOrChanged) {
  std::unique_ptr<sql_table> table = create(u"b", id_text_bin_schema());
  const long long before = com_insert();
  udb_record r;
  // Ten small records: one statement, sent when the writer goes.
  for (int i = 0; i < 10; ++i) {
    fill(r, i, std::u16string(90, u'a'));
    table->append_record(r);
  }
  EXPECT_EQ(com_insert(), before);
  table.reset();
  EXPECT_EQ(com_insert(), before + 1);
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM b"), "10");

  // 2,500 records of about 1,000 bytes: statements never past the cap, and
  // no row lost at the boundaries.
  table = get(u"b");
  const long long start = com_insert();
  size_t largest = 0;
  for (int i = 0; i < 2500; ++i) {
    fill(r, 100 + i, std::u16string(1000, static_cast<char16_t>(u'a' + i % 26)));
    table->append_record(r);
    largest = std::max(largest, table->pending().size());
    EXPECT_LE(table->pending().size(), sql_table::max_statement_bytes);
  }
  table->flush();
  EXPECT_GT(largest, sql_table::max_statement_bytes - 2000);
  EXPECT_EQ(com_insert() - start, 3);
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM b"), "2510");

  // A record with another layout starts a new statement with its own head.
  const long long third = com_insert();
  fill(r, 5000, u"x");
  table->append_record(r);
  udb_record two;
  two.add(u"id").set_i4(5001);
  two.add(u"txt").set_text(u"two cells");
  table->append_record(two);
  EXPECT_EQ(com_insert(), third + 1);
  table->flush();
  EXPECT_EQ(check_.scalar("SELECT CONCAT(txt, '/', IFNULL(bin, 'null')) FROM b WHERE id=5001"), "two cells/null");
}

TEST_F(sql_table_writer, BatchStatementText) {
  struct row {
    const char* what;
    uint32_t mode;
    const char* expected;
  };
  const row rows[] = {
      {"append", udb_database::mode_append,
       "INSERT IGNORE INTO `Text Table`(`id`, `txt`, `bin`) VALUES(1, 'O\\'Brien\\\\x', 0x00FF), (2, '', NULL)"},
      {"replace", udb_database::mode_append | udb_database::mode_replace,
       "REPLACE INTO `Text Table`(`id`, `txt`, `bin`) VALUES(1, 'O\\'Brien\\\\x', 0x00FF), (2, '', NULL)"},
  };
  {
    std::unique_ptr<sql_table> created = create(u"Text Table", id_text_bin_schema(), primary_on(u"id"));
  }
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    database_ = open(r.mode);
    std::unique_ptr<sql_table> table = get(u"Text Table");
    udb_record rec;
    fill(rec, 1, u"O'Brien\\x", {0x00, 0xFF});
    table->append_record(rec);
    fill(rec, 2, u"");
    table->append_record(rec);
    EXPECT_EQ(table->pending(), r.expected);
  }
}

TEST_F(sql_table_writer, DuplicateKeySkippedInFastAndRefusedInSlowAppend) {
  std::unique_ptr<sql_table> table = create(u"d", id_text_bin_schema(), primary_on(u"id"));
  udb_record r;
  for (auto [id, text] : {std::pair{1, u"first"}, {2, u"second"}, {1, u"again"}, {3, u"third"}}) {
    fill(r, id, text);
    table->append_record(r);
  }
  table->flush();
  EXPECT_EQ(check_.scalar("SELECT GROUP_CONCAT(txt ORDER BY id) FROM d"), "first,second,third");

  engine_->fast_insert = false;
  fill(r, 2, u"duplicate");
  try {
    table->append_record(r);
    FAIL() << "accepted";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.error_number(), 1062u) << e.message();
  }
  fill(r, 4, u"fourth");
  table->append_record(r);
  EXPECT_EQ(check_.scalar("SELECT GROUP_CONCAT(txt ORDER BY id) FROM d"), "first,second,third,fourth");
}

TEST_F(sql_table_writer, LargeCellsGoThroughLongData) {
  std::unique_ptr<sql_table> table = create(u"big", id_text_bin_schema());
  udb_record r;
  fill(r, 1, u"before");
  table->append_record(r);

  // 3 MiB of characters (two UTF-8 bytes each for the accented ones) and
  // 3 MiB of bytes; neither may travel inside a statement.
  std::u16string text;
  text.reserve(3 << 20);
  std::vector<uint8_t> bytes(3 << 20);
  for (size_t i = 0; i < bytes.size(); ++i) {
    text += i % 7 == 0 ? u'\u00E9' : static_cast<char16_t>(u'a' + i % 26);
    bytes[i] = static_cast<uint8_t>(i * 131 + 7);
  }
  text[100] = u'\'';
  text[101] = u'\\';
  text[102] = 0;
  fill(r, 2, text, bytes);
  table->append_record(r);
  EXPECT_FALSE(engine_->fast_insert) << "a record above the cap ends batching for the run";
  fill(r, 3, u"after");
  table->append_record(r);
  table.reset();

  const std::vector<testsupport::mysql_row> rows = check_.query("SELECT id, txt, bin FROM big ORDER BY id");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(*rows[0][1], "before");
  EXPECT_TRUE(*rows[1][1] == utf8(text)) << "text differs, length " << rows[1][1]->size();
  EXPECT_TRUE(*rows[1][2] == std::string(bytes.begin(), bytes.end())) << "bytes differ";
  EXPECT_EQ(*rows[2][1], "after");
}

TEST_F(sql_table_writer, ConformanceAndMergeByKey) {
  std::unique_ptr<sql_table> table = create(u"m", id_text_bin_schema(), primary_on(u"id"));
  udb_record r;
  for (int i = 1; i <= 4; ++i) {
    fill(r, i, u"v" + tk_utf8_to_unicode(std::to_string(i)));
    table->append_record(r);
  }
  table->flush();

  fill(r, 2, u"changed");
  table->update(r);
  fill(r, 3, u"ignored");
  table->delete_key(r);
  table->delete_key(u"<id>4</id>");
  udb_record keyed;
  keyed.add(u"txt").set_text(u"by key text");
  table->update(u"<id>1</id>", keyed);
  EXPECT_EQ(check_.scalar("SELECT GROUP_CONCAT(CONCAT(id, '=', txt) ORDER BY id) FROM m"), "1=by key text,2=changed");

  udb_record stranger;
  stranger.add(u"id").set_i4(9);
  stranger.add(u"nope").set_text(u"x");
  try {
    table->append_record(stranger);
    FAIL() << "accepted";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.message().rfind("The structure of data source does not conform to the destination table", 0), 0u);
  }

  std::unique_ptr<sql_table> keyless = create(u"k", id_text_bin_schema());
  fill(r, 1, u"x");
  EXPECT_THROW(
      {
        try {
          keyless->update(r);
        } catch (const tk_exception& e) {
          EXPECT_STREQ(e.what(), "Missing primary/unique key");
          throw;
        }
      },
      tk_exception);
}

TEST_F(sql_table_writer, ConnectionKilledMidBatchIsAClearErrorNotAHang) {
  std::unique_ptr<sql_table> table = create(u"k", id_text_bin_schema());
  udb_record r;
  for (int i = 0; i < 100; ++i) {
    fill(r, i, u"pending");
    table->append_record(r);
  }
  ASSERT_FALSE(table->pending().empty());
  ASSERT_TRUE(check_.exec("KILL CONNECTION " + std::to_string(mysql_thread_id(engine_->handle()))));
  const auto start = std::chrono::steady_clock::now();
  try {
    table->flush();
    FAIL() << "sent";
  } catch (const sql_exception& e) {
    EXPECT_TRUE(e.error_number() == 2013 || e.error_number() == 2006 || e.error_number() == 1927) << e.message();
    EXPECT_EQ(e.level(), 0u);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM k"), "0");
  table.reset();  // nothing pending any more: the destructor sends nothing
}

// A throw-away server with a small max_allowed_packet, stopped in the
// middle of a batch at the end.
TEST(sql_table_packet, RecordLargerThanMaxAllowedPacketAndServerStopped) {
  testsupport::throwaway_mariadb server;
  std::string error;
  ASSERT_TRUE(server.start("--max-allowed-packet=2M", error)) << error;
  const testsupport::mysql_address& a = server.address();
  sql_engine engine;
  engine.connect(a.host, a.user, a.password, a.port);
  EXPECT_EQ(engine.get_max_allowed_packet(), 2u * 1024 * 1024);
  std::unique_ptr<udb_database> db = engine.create_db(u"packet", 0);
  std::unique_ptr<udb_recordset> table = db->create_table(u"t", id_text_bin_schema(), udb_indexes());
  udb_record r;
  for (int i = 1; i <= 3; ++i) {
    fill(r, i, u"kept");
    table->append_record(r);
  }
  struct big_case {
    const char* what;
    size_t text_chars;
    size_t bytes;
  };
  // One cell past the inline limit; and two cells exactly at it, none
  // past it, whose sum is still past the packet.
  for (const big_case& c : {big_case{"one 3 MiB cell", 3u << 20, 0}, big_case{"two 1 MiB cells", 1u << 20, 1u << 20}}) {
    SCOPED_TRACE(c.what);
    fill(r, 100, std::u16string(c.text_chars, u'z'), std::vector<uint8_t>(c.bytes, 1));
    try {
      table->append_record(r);
      FAIL() << "sent";
    } catch (const sql_exception& e) {
      FAIL() << "the server was asked: " << e.message();
    } catch (const tk_exception& e) {
      EXPECT_STREQ(e.what(), "Row size exceeds 'max_allowed_packet'");
    }
  }
  {
    testsupport::mysql_connection check;
    ASSERT_TRUE(check.open(a, "packet", error)) << error;
    EXPECT_EQ(check.scalar("SELECT GROUP_CONCAT(txt) FROM t"), "kept,kept,kept");
  }

  // The server goes away with rows pending: a clear error, no hang. (The
  // big records ended batching; a new run would start with it on.)
  engine.fast_insert = true;
  for (int i = 10; i < 20; ++i) {
    fill(r, i, u"lost");
    table->append_record(r);
  }
  server.stop();
  const auto start = std::chrono::steady_clock::now();
  try {
    static_cast<sql_table&>(*table).flush();
    FAIL() << "sent";
  } catch (const sql_exception& e) {
    EXPECT_TRUE(e.error_number() == 2013 || e.error_number() == 2006) << e.message();
    EXPECT_EQ(e.level(), 0u);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  table.reset();
  db.reset();
}

}  // namespace
