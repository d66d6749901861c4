#include "udb_database.h"

#include <gtest/gtest.h>

#include "udb_names_map.h"

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
  struct row {
    const char16_t* name;
    bool case_sensitive;
    bool exists;
  };
  const row rows[] = {{u"Sheet1", true, true}, {u"SHEET1", true, false}, {u"SHEET1", false, true},
                      {u"data", false, true},  {u"Sheet", false, false}};
  for (const row& r : rows) EXPECT_EQ(db.is_table_exist(r.name, r.case_sensitive), r.exists);
  db.delete_tab(u"sheet1");
  EXPECT_EQ(db.tables(), (std::vector<std::u16string>{u"Data"}));
}

TEST(udb_names_map, ColumnAndTableLookups) {
  udb_names_map map;
  map.add_fn_map(u"T", {{u"col", u"Source Col"}, {u"x", u"X"}});
  map.add_tn_mapping(u"Sheet 1", u"sheet_1");
  struct row {
    const char16_t* table;
    const char16_t* column;
    bool case_sensitive;
    const char16_t* expected;
  };
  const row rows[] = {
      {u"T", u"col", true, u"Source Col"}, {u"T", u"COL", true, u"COL"},     {u"T", u"COL", false, u"Source Col"},
      {u"t", u"col", true, u"col"},        {u"T", u"zzz", false, u"zzz"},
  };
  for (const row& r : rows) EXPECT_EQ(map.get_fn_mapped_name(r.table, r.column, r.case_sensitive), r.expected);
  EXPECT_EQ(map.get_tn_mapped_name(u"SHEET 1"), u"sheet_1");
  EXPECT_EQ(map.get_tn_mapped_name(u"other"), u"other");
  EXPECT_EQ(map.get_fn_map(u"U"), nullptr);
}

}  // namespace
