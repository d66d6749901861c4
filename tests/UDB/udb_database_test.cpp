// Indexes, recordsets and databases: the merging rules of an index list,
// the key of a recordset, its filter text, and the table and name lists.
#include "udb_recordset.h"

#include <gtest/gtest.h>

#include <tuple>

#include "tk_exception.h"
#include "udb_database.h"
#include "udb_indexes.h"
#include "udb_names_map.h"

namespace {

udb_index make(const char16_t* name, char kind, std::vector<std::u16string> fields = {}) {
  udb_index i(name, kind == 'u', kind == 'p');
  i.b_unique_constraint = kind == 'c';
  i.fields = std::move(fields);
  return i;
}

TEST(udb_indexes_merge, SecondDefinitionOfAName) {
  const struct {
    const char* name;
    udb_index first, second;
    char kind;  // of the one remaining entry: p, c, u or plain
    const char16_t* entry_name;
    std::vector<std::u16string> fields;
  } rows[] = {
      {"plain then primary", make(u"k", ' ', {u"a"}), make(u"K", 'p', {u"b"}), 'p', u"K", {u"b"}},
      {"primary then unique", make(u"k", 'p', {u"a"}), make(u"K", 'u', {u"b"}), 'p', u"k", {u"a"}},
      {"unique then constraint", make(u"k", 'u', {u"a"}), make(u"k", 'c', {u"b"}), 'c', u"k", {u"b"}},
      {"constraint then unique", make(u"k", 'c', {u"a"}), make(u"k", 'u', {u"b"}), 'c', u"k", {u"a"}},
      {"unique then plain", make(u"k", 'u', {u"a"}), make(u"k", ' ', {u"b"}), 'u', u"k", {u"a"}},
      {"plain then unique", make(u"k", ' ', {u"a"}), make(u"k", 'u', {u"b"}), 'u', u"k", {u"b"}},
      {"plain then plain", make(u"k", ' ', {u"a"}), make(u"k", ' ', {u"b"}), ' ', u"k", {u"a"}},
      {"upgrade without fields", make(u"k", ' ', {u"a"}), make(u"k", 'p', {}), 'p', u"k", {u"a"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    udb_indexes list;
    list.push_back(make(u"other", 'u', {u"x"}));
    list.push_back(r.first);
    list.push_back(r.second);
    ASSERT_EQ(list.size(), 2u);
    const udb_index& e = list[1];
    EXPECT_EQ(std::tuple(e.b_primary, e.b_unique_constraint, e.b_unique, e.name, e.fields),
              std::tuple(r.kind == 'p', r.kind == 'c', r.kind == 'u', r.entry_name, r.fields));
  }
}

TEST(udb_indexes_lookup, NamesAndColumns) {
  udb_indexes list;
  list.push_back(make(u"PK", 'p', {u"Id"}));
  list.push_back(make(u"ix_city", ' ', {u"City", u"Zip"}));
  EXPECT_FALSE(list.is_acceptable_name(u"pk"));
  EXPECT_TRUE(list.is_acceptable_name(u"pk2"));
  EXPECT_TRUE(list.is_idx_field(u"id"));
  EXPECT_FALSE(list.is_idx_field(u"zip"));
  EXPECT_TRUE(list.is_idx_field(u"zip", true));
}

TEST(udb_recordset_keys, PrimaryOrFirstUniqueBecomesTheKey) {
  const struct {
    const char* name;
    std::vector<udb_index> added;
    int32_t key_pos;
    size_t count;
  } rows[] = {
      {"unique then primary", {make(u"u", 'u'), make(u"p", 'p')}, 1, 2},
      {"primary then unique", {make(u"p", 'p'), make(u"u", 'u')}, 0, 2},
      {"two uniques", {make(u"u1", 'u'), make(u"u2", 'u')}, 0, 2},
      {"plain only", {make(u"i", ' ')}, -1, 1},
      {"duplicate name ignored", {make(u"k", 'u'), make(u"K", 'p')}, 0, 1},
  };
  for (const auto& r : rows) {
    udb_recordset rs(nullptr, u"rs", u"t");
    for (const udb_index& i : r.added) rs.add_index(i);
    EXPECT_EQ(std::pair(rs.key_pos(), rs.indexes().size()), std::pair(r.key_pos, r.count)) << r.name;
  }
}

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

TEST(udb_names_map, ColumnAndTableLookups) {
  udb_names_map map;
  map.add_fn_map(u"T", {{u"col", u"Source Col"}, {u"x", u"X"}});
  const struct {
    const char16_t* table;
    const char16_t* column;
    bool case_sensitive;
    const char16_t* expected;
  } rows[] = {
      {u"T", u"col", true, u"Source Col"}, {u"T", u"COL", true, u"COL"},  {u"T", u"COL", false, u"Source Col"},
      {u"t", u"col", true, u"col"},        {u"T", u"zzz", false, u"zzz"},
  };
  for (const auto& r : rows) EXPECT_EQ(map.get_fn_mapped_name(r.table, r.column, r.case_sensitive), r.expected);
  EXPECT_EQ(map.get_fn_map(u"U"), nullptr);
}

}  // namespace
