// Databases: the table list. (The map from generated column names back to
// the source's is shown end to end: a dump of hostile column names.)
#include "udb_database.h"

#include <gtest/gtest.h>

namespace {

struct listed_database : udb_database {
  listed_database() : udb_database(u"db", mode_created) {}
  using udb_database::add_table_name;
};

TEST(udb_database_base, TableListIgnoresCaseOnRequest) {
  listed_database db;
  EXPECT_FALSE(db.is_table_exist(u"Sheet1", false));
  db.add_table_name(u"Sheet1");
  db.add_table_name(u"Data");
  const struct {
    const char16_t* name;
    bool case_sensitive;
    bool exists;
  } rows[] = {{u"Sheet1", true, true},
              {u"SHEET1", true, false},
              {u"SHEET1", false, true},
              {u"data", false, true},
              {u"Sheet", false, false}};
  for (const auto& r : rows) EXPECT_EQ(db.is_table_exist(r.name, r.case_sensitive), r.exists);
  db.delete_tab(u"sheet1");
  EXPECT_EQ(db.tables(), (std::vector<std::u16string>{u"Data"}));
}

}  // namespace
