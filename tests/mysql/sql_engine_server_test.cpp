// The engine against the private server: the session it sets up and a
// second connection replacing the first. (Connection faults and database
// names of any bytes are shown end to end with the real binary.)

#include <gtest/gtest.h>

#include <string>

#include "sql_server_fixture.h"

namespace {

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
  // with NO_BACKSLASH_ESCAPES is tried end to end).
  EXPECT_EQ(row[4].to_string(), check_.scalar("SELECT @@GLOBAL.sql_mode"));
  EXPECT_NE(row[4].to_string().find("STRICT_TRANS_TABLES"), std::string::npos) << row[4].to_string();

  const unsigned long first = mysql_thread_id(engine_->handle());
  database_.reset();
  engine_->set_char_set(u"utf8mb4");
  engine_->connect(address_.host, address_.user, address_.password, address_.port);
  EXPECT_NE(mysql_thread_id(engine_->handle()), first);
  // The first connection is closed before the second is made.
  EXPECT_EQ(check_.scalar("SELECT COUNT(*) FROM information_schema.processlist WHERE id=" + std::to_string(first)),
            "0");
  EXPECT_EQ(engine_scalar("SELECT @@character_set_client"), "utf8mb4");
}

}  // namespace
