// The database against the private server: the table list and a table's
// definition read back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql_server_fixture.h"

namespace {

class sql_database_server : public sql_server_fixture {};

// A database merged into may hold views: they are no tables to write.
// (Creating, replacing and dropping tables is shown end to end.)
TEST_F(sql_database_server, TableListLeavesOutViews) {
  ASSERT_TRUE(check_.exec("CREATE TABLE base1 (a INT)"));
  ASSERT_TRUE(check_.exec("CREATE VIEW v1 AS SELECT a FROM base1"));
  database_ = open(udb_database::mode_append);
  EXPECT_EQ(database_->tables(), std::vector<std::u16string>{u"base1"});
}

TEST_F(sql_database_server, TableDefinitionIsReadBack) {
  ASSERT_TRUE(check_.exec(
      "CREATE TABLE d (id INT AUTO_INCREMENT PRIMARY KEY, code VARCHAR(12) NOT NULL, note TEXT, pic BLOB, "
      "amount FLOAT(10,2), made DATETIME DEFAULT CURRENT_TIMESTAMP, zero DATE DEFAULT '0000-00-00', flag BIT(1) "
      "DEFAULT b'1', g POINT, UNIQUE KEY uc (code), KEY two (code, id))"));
  ASSERT_TRUE(check_.exec("INSERT INTO d (code, note, g) VALUES ('a', 'n', POINT(1, 2)), ('b', NULL, NULL)"));
  database_ = open(udb_database::mode_append);

  std::unique_ptr<sql_table> table = get(u"d");
  struct expect {
    const char16_t* name;
    VARTYPE vt;
    uint32_t size;
  };
  for (const expect& e : {expect{u"code", VT_BSTR, 12}, expect{u"note", VT_BSTR, 0}, expect{u"pic", VT_ARRAY_UI1, 0},
                          expect{u"amount", VT_DECIMAL, 0}, expect{u"made", VT_DATE, 0}}) {
    SCOPED_TRACE(tk_unicode_to_utf8(e.name));
    const t_ftd* f = table->schema().find(e.name);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->vartype, e.vt);
    EXPECT_EQ(f->size, e.size ? e.size : f->size);
  }
  const t_ftd& amount = *table->schema().find(u"amount");
  EXPECT_EQ(std::pair(amount.precision, amount.scale), std::pair(10u, 2u));
  EXPECT_EQ(table->schema().find(u"made")->reserved, 9u);
  EXPECT_TRUE(table->schema().find(u"zero")->def_value.is_empty());
  ASSERT_EQ(table->indexes().size(), 3u);
  EXPECT_TRUE(table->indexes()[0].b_primary);
  EXPECT_EQ(table->indexes()[2].fields, (std::vector<std::u16string>{u"code", u"id"}));
}

}  // namespace
