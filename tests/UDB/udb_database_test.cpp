#include "udb_database.h"

#include <gtest/gtest.h>

#include "udb_names_map.h"
#include "udb_recordset.h"

namespace {

// A destination that records what the base hands it.
class recording_database : public udb_database {
 public:
  recording_database() : udb_database(u"db", mode_created) {}
  using udb_database::add_table_name;

  std::unique_ptr<udb_recordset> create_table(const std::u16string& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override {
    created = name;
    columns = schema.size();
    index_count = indexes.size();
    add_table_name(name);
    return std::make_unique<udb_recordset>(this, name, name);
  }
  using udb_database::create_table;
  void create_index(const std::u16string& table, const udb_index& index) override {
    index_calls.push_back(table + u"." + index.name);
  }
  std::unique_ptr<udb_recordset> get_table(const std::u16string& name, uint32_t mode) override {
    opened = name;
    opened_mode = mode;
    return nullptr;
  }
  using udb_database::get_table;

  std::u16string created, opened;
  uint32_t opened_mode = 0;
  size_t columns = 0, index_count = 0;
  std::vector<std::u16string> index_calls;
};

TEST(udb_database_base, TableListAndForwarding) {
  recording_database db;
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

  udb_recordset source(&db, u"src", u"People");
  source.schema().push_back(t_ftd(4, u"Id", VT_I4, true, false, ole_variant(), 0));
  source.add_index(udb_index(u"pk", false, true));
  auto writer = db.create_table(source);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(writer->database(), &db);
  EXPECT_EQ(db.created, u"People");
  EXPECT_EQ(db.columns, 1u);
  EXPECT_EQ(db.index_count, 1u);

  udb_indexes indexes;
  indexes.push_back(udb_index(u"a", false, false));
  indexes.push_back(udb_index(u"b", true, false));
  db.create_indexes(u"T", indexes);
  EXPECT_EQ(db.index_calls, (std::vector<std::u16string>{u"T.a", u"T.b"}));

  db.get_table(std::string_view("Caf\xc3\xa9"), 8);
  EXPECT_EQ(db.opened, u"Caf\u00e9");
  EXPECT_EQ(db.opened_mode, 8u);
  EXPECT_EQ(db.query(u"select 1"), nullptr);
  EXPECT_FALSE(db.exec(u"select 1"));
}

TEST(udb_names_map, ColumnAndTableLookups) {
  udb_names_map map;
  map.add_fn_map(u"T", {{u"col", u"Source Col"}, {u"x", u"X"}});
  map.add_fn_pair(u"T", u"col2", u"Second");
  map.add_tn_mapping(u"Sheet 1", u"sheet_1");
  struct row {
    const char16_t* table;
    const char16_t* column;
    bool case_sensitive;
    const char16_t* expected;
  };
  const row rows[] = {
      {u"T", u"col", true, u"Source Col"}, {u"T", u"COL", true, u"COL"},   {u"T", u"COL", false, u"Source Col"},
      {u"t", u"col", true, u"col"},        {u"T", u"col2", true, u"Second"}, {u"T", u"zzz", false, u"zzz"},
  };
  for (const row& r : rows) EXPECT_EQ(map.get_fn_mapped_name(r.table, r.column, r.case_sensitive), r.expected);
  EXPECT_EQ(map.get_tn_mapped_name(u"SHEET 1"), u"sheet_1");
  EXPECT_EQ(map.get_tn_mapped_name(u"other"), u"other");
  ASSERT_NE(map.get_fn_map(u"T"), nullptr);
  EXPECT_EQ(map.get_fn_map(u"T")->size(), 3u);
  EXPECT_EQ(map.get_fn_map(u"U"), nullptr);
}

}  // namespace
