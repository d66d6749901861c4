// The engine against the private server: the session it sets up, a second
// connection replacing the first, and database names the server takes or
// refuses. (Connection faults are shown end to end with the real binary.)

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

TEST_F(sql_engine_session, DatabaseNames) {
  // A blank inside is a legal name: created, used and dropped.
  const std::u16string spaced = tk_utf8_to_unicode(db_ + " x");
  ASSERT_FALSE(engine_->is_db_exist(spaced));
  std::unique_ptr<udb_database> db = engine_->create_db(spaced, 0);
  EXPECT_TRUE(engine_->is_db_exist(spaced));
  EXPECT_EQ(check_.scalar("SELECT DEFAULT_CHARACTER_SET_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME='" +
                          db_ + " x'"),
            "utf8mb3");
  udb_schema schema;
  schema.push_back(column(u"v", VT_BSTR, 40));
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

  // A backtick inside is doubled: the database is created with its name.
  const std::u16string ticked = tk_utf8_to_unicode(db_ + "`;t");
  engine_->create_db(ticked, 0).reset();
  EXPECT_TRUE(engine_->is_db_exist(ticked));
  engine_->db_delete(ticked);
  EXPECT_FALSE(engine_->is_db_exist(ticked));
  // Opening a database that does not exist: the server's unknown-database error.
  expect_server_error([&] { engine_->open_db(tk_utf8_to_unicode(db_ + "_missing"), udb_database::mode_append); },
                      {1049});
}

}  // namespace
