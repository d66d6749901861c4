// The table writer against the private server: values stored and read back
// equal in both append paths, the server's strict mode, batching, long
// data, and the size and duplicate rules.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expect_failure.h"
#include "sql_row_error_sink.h"
#include "sql_server_fixture.h"
#include "tk_exception.h"

namespace {

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
  database_.reset();
  engine_->set_char_set(u"utf8mb4");
  engine_->connect(address_.host, address_.user, address_.password, address_.port);
  database_ = open(udb_database::mode_append);
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
  {
    std::unique_ptr<sql_table> table = create(u"vals", id_text_bin_schema(), primary_on(u"id"));
    udb_record r;
    for (size_t i = 0; i < texts.size(); ++i) {
      fill(r, static_cast<int32_t>(i), texts[i], bytes_of(i));
      table->append_record(r);
    }
    EXPECT_FALSE(database_->batching()) << "a record above the cap ends batching for the run";
  }
  const std::vector<testsupport::mysql_row> rows = check_.query("SELECT id, txt, bin FROM vals ORDER BY id");
  ASSERT_EQ(rows.size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    const std::vector<uint8_t> expected = bytes_of(i);
    EXPECT_TRUE(rows[i][1] == utf8(texts[i])) << "text of row " << i << " differs";
    EXPECT_TRUE(rows[i][2] == std::string(expected.begin(), expected.end())) << "bytes of row " << i << " differ";
  }
}

// The server's strict mode is kept: a value it would cut or replace is
// refused with the server's error in both paths. Slow append fails the
// record at once; a batch, whose INSERT IGNORE would store the value altered
// with a warning, is rolled back and sent row by row, so that only the
// refused row is left out and reported with its number.
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

TEST_P(sql_table_paths, AlteredValuesAreRefusedInsteadOfStoredWithAWarning) {
  const struct {
    const char* what;
    std::u16string text;
    std::initializer_list<unsigned> codes;  // strict error, or the warning under IGNORE
  } rows[] = {
      {"a 4-byte character in a utf8 (3-byte) session", u"\U0001F600", {1366}},
      {"text longer than its VARCHAR", u"much too long", {1406, 1265}},
  };
  udb_schema schema;
  schema.push_back(column(u"id", VT_I4, 4));
  schema.push_back(column(u"txt", VT_BSTR, 5));
  std::unique_ptr<sql_table> table = create(u"strict", schema);
  refusal_sink sink;
  table->set_row_error_sink(&sink);
  int id = 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    udb_record rec;
    // A good row before the bad one, in the same batch.
    rec.add(u"id").set_i4(++id);
    rec.add(u"txt").set_text(u"ok");
    table->append_record(rec);
    rec[0].set_i4(++id);
    rec[1].set_text(r.text);
    if (GetParam()) {
      table->append_record(rec);
      table->flush();
      ASSERT_EQ(sink.refused.size(), 1u);
      EXPECT_EQ(sink.refused[0].first, static_cast<uint64_t>(id));
      EXPECT_NE(std::find(r.codes.begin(), r.codes.end(), sink.refused[0].second), r.codes.end());
      sink.refused.clear();
    } else {
      expect_server_error([&] { table->append_record(rec); }, r.codes);
    }
    EXPECT_EQ(check_.scalar("SELECT GROUP_CONCAT(txt) FROM strict WHERE id>=" + std::to_string(id - 1)), "ok");
  }
  table->set_row_error_sink(nullptr);
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

// Fast append: one INSERT IGNORE that skips a duplicate key; slow append:
// the server refuses the duplicate.
TEST_F(sql_table_writer, DuplicateKeySkippedInFastAndRefusedInSlowAppend) {
  std::unique_ptr<sql_table> table = create(u"Text Table", id_text_bin_schema(), primary_on(u"id"));
  udb_record r;
  for (auto [id, text] : {std::pair{1, u"O'Brien\\x"}, {2, u""}, {1, u"again"}, {3, u"third"}}) {
    fill(r, id, text, id == 1 ? std::vector<uint8_t>{0x00, 0xFF} : std::vector<uint8_t>{});
    table->append_record(r);
  }
  EXPECT_EQ(table->pending(),
            "INSERT IGNORE INTO `Text Table`(`id`, `txt`, `bin`) VALUES(1, 'O\\'Brien\\\\x', 0x00FF), (2, '', NULL), "
            "(1, 'again', 0x00FF), (3, 'third', NULL)");
  table->flush();
  EXPECT_EQ(check_.scalar("SELECT GROUP_CONCAT(txt ORDER BY id) FROM `Text Table`"), "O'Brien\\x,,third");

  database_->stop_batching();
  fill(r, 2, u"duplicate");
  expect_server_error([&] { table->append_record(r); }, {1062});
  fill(r, 4, u"fourth");
  table->append_record(r);
  EXPECT_EQ(check_.scalar("SELECT GROUP_CONCAT(txt ORDER BY id) FROM `Text Table`"), "O'Brien\\x,,third,fourth");
}

TEST_F(sql_table_writer, RecordThatDoesNotConform) {
  std::unique_ptr<sql_table> table = create(u"m", id_text_bin_schema(), primary_on(u"id"));
  udb_record r;
  for (int i = 1; i <= 4; ++i) {
    std::u16string text = u"v";
    text += tk_utf8_to_unicode(std::to_string(i));
    fill(r, i, text);
    table->append_record(r);
  }
  udb_record stranger;
  stranger.add(u"id").set_i4(9);
  stranger.add(u"nope").set_text(u"x");
  testsupport::expect_failure([&] { table->append_record(stranger); }, 0, 0,
                              "The structure of data source does not conform to the destination table. For more "
                              "information see Troubleshooting article");
}

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
  {
    testsupport::mysql_connection check;
    ASSERT_TRUE(check.open(a, "packet", error)) << error;
    EXPECT_EQ(check.scalar("SELECT GROUP_CONCAT(txt) FROM t"), "kept,kept,kept");
  }
  table.reset();
  db.reset();
}

}  // namespace
