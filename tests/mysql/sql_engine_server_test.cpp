// The engine against the private server: connection faults with the error
// handler's texts and the run's status, the session it sets up, and the
// database operations with awkward names.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "error_handler.h"
#include "error_tables.h"
#include "sql_exception.h"
#include "sql_server_fixture.h"
#include "sql_tmp_recordset.h"
#include "tk_exception.h"

namespace {

using namespace std::chrono;

// A loopback port nobody listens on: bound by the kernel's choice, then freed.
unsigned closed_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

struct connect_fault {
  const char* what;
  bool wrong_password;
  unsigned error_number;
  const char* friendly_start;
};

class sql_engine_connect : public testsupport::mysql_fixture, public ::testing::WithParamInterface<connect_fault> {};

TEST_P(sql_engine_connect, FaultIsReportedWithTheFriendlyText) {
  const connect_fault& f = GetParam();
  error_handler handler(12, g_err_table_mysql);
  sql_engine engine;
  const unsigned port = f.wrong_password ? address_.port : closed_port();
  const auto start = steady_clock::now();
  try {
    engine.connect(address_.host, address_.user, f.wrong_password ? "wrong-password" : address_.password, port);
    FAIL() << "connected";
  } catch (const sql_exception& e) {
    EXPECT_LT(duration_cast<seconds>(steady_clock::now() - start).count(), 11) << "the 10-second time-out";
    EXPECT_EQ(e.code(), 0x400000u | f.error_number) << e.message();
    EXPECT_EQ(e.error_number(), f.error_number);
    // Level 0: reported by the handler; the entry point then ends the run
    // with -1 (the command-line tests check the status).
    EXPECT_EQ(e.level(), 0u);
    EXPECT_EQ(handler.build_report(e).rfind(f.friendly_start, 0), 0u) << handler.build_report(e);
  }
  EXPECT_FALSE(engine.connected);
}

INSTANTIATE_TEST_SUITE_P(
    faults, sql_engine_connect,
    ::testing::Values(connect_fault{"wrong password", true, 1045, "Access denied. Verify the user name"},
                      connect_fault{"nothing listening", false, 2003, "Cannot connect to the MySQL server"}),
    [](const auto& info) { return info.param.wrong_password ? std::string("wrong_password") : "nothing_listening"; });

class sql_engine_session : public sql_server_fixture {};

TEST_F(sql_engine_session, ConnectSetsUpTheSession) {
  EXPECT_TRUE(engine_->connected);
  sql_tmp_recordset rs(
      "SELECT VERSION(), @@session.wait_timeout, @@session.foreign_key_checks, @@character_set_client, "
      "@@session.sql_mode");
  const udb_record& row = *rs.get_record();
  EXPECT_EQ(engine_->version, sql_engine::parse_version(row[0].to_string().c_str()));
  EXPECT_GE(std::stoll(row[1].to_string()), 28800);
  EXPECT_EQ(row[2].to_string(), "0");
  EXPECT_EQ(row[3].to_string().substr(0, 4), "utf8");
  // The server's strict mode is kept.
  EXPECT_NE(row[4].to_string().find("STRICT_TRANS_TABLES"), std::string::npos) << row[4].to_string();
}

TEST_F(sql_engine_session, Utf8mb4CharsetAndReconnect) {
  const unsigned long first = mysql_thread_id(engine_->handle());
  database_.reset();
  engine_->char_set = u"utf8mb4";
  engine_->connect(address_.host, address_.user, address_.password, address_.port);
  EXPECT_NE(mysql_thread_id(engine_->handle()), first);
  // The first connection is closed before the second is made.
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM information_schema.processlist WHERE id=" + std::to_string(first)),
            "0");
  sql_tmp_recordset rs("SELECT @@character_set_client");
  EXPECT_EQ(rs.get_record()->operator[](0).to_string(), "utf8mb4");
  EXPECT_EQ(engine_->get_max_allowed_packet(), 64u * 1024 * 1024);
}

TEST_F(sql_engine_session, DatabaseNames) {
  // A blank inside is a legal name: created, used and dropped.
  const std::u16string spaced = tk_utf8_to_unicode(db_ + " x");
  ASSERT_FALSE(engine_->is_db_exist(spaced));
  std::unique_ptr<udb_database> db = engine_->create_db(spaced, 0);
  ASSERT_TRUE(db);
  EXPECT_TRUE(engine_->is_db_exist(spaced));
  EXPECT_EQ(check_.scalar("SELECT DEFAULT_CHARACTER_SET_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='" +
                          db_ + " x'"),
            "utf8mb3");
  udb_schema schema;
  schema.push_back(t_ftd(40, u"v", VT_BSTR, false, false, ole_variant(), 0));
  {
    std::unique_ptr<udb_recordset> table = db->create_table(u"t", schema, udb_indexes());
    udb_record r;
    r.add(u"v").set_text(u"in a spaced database");
    table->append_record(r);
  }
  EXPECT_EQ(check_.scalar("SELECT v FROM `" + db_ + " x`.t"), "in a spaced database");
  db.reset();
  engine_->db_delete(spaced);
  EXPECT_FALSE(engine_->is_db_exist(spaced));

  // A backtick ends the quoted name: the server refuses the statement with
  // its own message and nothing is created.
  const std::u16string ticked = tk_utf8_to_unicode(db_ + "`t");
  try {
    engine_->create_db(ticked, 0);
    FAIL() << "created";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.error_number(), 1064u) << e.message();
    EXPECT_NE(e.message().find("SQL syntax"), std::string::npos) << e.message();
  }
  EXPECT_FALSE(engine_->is_db_exist(ticked));

  // Opening a database that does not exist: the server's unknown-database error.
  try {
    engine_->open_db(tk_utf8_to_unicode(db_ + "_missing"), udb_database::mode_append);
    FAIL() << "opened";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.error_number(), 1049u) << e.message();
  }
}

}  // namespace
