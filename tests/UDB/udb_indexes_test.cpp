#include "udb_indexes.h"

#include <gtest/gtest.h>


namespace {

udb_index make(const char16_t* name, char kind, std::vector<std::u16string> fields) {
  udb_index i(name, kind == 'u', kind == 'p');
  i.b_unique_constraint = kind == 'c';
  i.fields = std::move(fields);
  return i;
}

TEST(udb_indexes_merge, SecondDefinitionOfAName) {
  struct row {
    const char* name;
    udb_index first, second;
    char kind;  // of the one remaining entry: p, c, u or plain
    const char16_t* entry_name;
    std::vector<std::u16string> fields;
  };
  const row rows[] = {
      {"plain then primary", make(u"k", ' ', {u"a"}), make(u"K", 'p', {u"b"}), 'p', u"K", {u"b"}},
      {"primary then unique", make(u"k", 'p', {u"a"}), make(u"K", 'u', {u"b"}), 'p', u"k", {u"a"}},
      {"primary then primary", make(u"k", 'p', {u"a"}), make(u"k", 'p', {u"b"}), 'p', u"k", {u"a"}},
      {"constraint then primary", make(u"k", 'c', {u"a"}), make(u"k", 'p', {u"b"}), 'p', u"k", {u"b"}},
      {"unique then constraint", make(u"k", 'u', {u"a"}), make(u"k", 'c', {u"b"}), 'c', u"k", {u"b"}},
      {"constraint then unique", make(u"k", 'c', {u"a"}), make(u"k", 'u', {u"b"}), 'c', u"k", {u"a"}},
      {"unique then plain", make(u"k", 'u', {u"a"}), make(u"k", ' ', {u"b"}), 'u', u"k", {u"a"}},
      {"plain then unique", make(u"k", ' ', {u"a"}), make(u"k", 'u', {u"b"}), 'u', u"k", {u"b"}},
      {"plain then plain", make(u"k", ' ', {u"a"}), make(u"k", ' ', {u"b"}), ' ', u"k", {u"a"}},
      {"upgrade without fields", make(u"k", ' ', {u"a"}), make(u"k", 'p', {}), 'p', u"k", {u"a"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    udb_indexes list;
    list.push_back(make(u"other", 'u', {u"x"}));
    list.push_back(r.first);
    list.push_back(r.second);
    ASSERT_EQ(list.size(), 2u);
    const udb_index& e = list[1];
    EXPECT_EQ(e.b_primary, r.kind == 'p');
    EXPECT_EQ(e.b_unique_constraint, r.kind == 'c');
    EXPECT_EQ(e.b_unique, r.kind == 'u');
    EXPECT_EQ(e.name, r.entry_name);
    EXPECT_EQ(e.fields, r.fields);
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

}  // namespace
