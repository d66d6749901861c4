#include "udb_recordset.h"

#include <gtest/gtest.h>

#include "tk_exception.h"

namespace {

udb_index make(const char16_t* name, bool unique, bool primary, std::vector<std::u16string> fields = {}) {
  udb_index i(name, unique, primary);
  i.fields = std::move(fields);
  return i;
}

TEST(udb_recordset_keys, PrimaryOrFirstUniqueBecomesTheKey) {
  struct row {
    const char* name;
    std::vector<udb_index> added;
    int32_t key_pos;
    size_t count;
  };
  const row rows[] = {
      {"unique then primary", {make(u"u", true, false), make(u"p", false, true)}, 1, 2},
      {"primary then unique", {make(u"p", false, true), make(u"u", true, false)}, 0, 2},
      {"two uniques", {make(u"u1", true, false), make(u"u2", true, false)}, 0, 2},
      {"plain only", {make(u"i", false, false)}, -1, 1},
      {"duplicate name ignored", {make(u"k", true, false), make(u"K", false, true)}, 0, 1},
      {"primary replaces unique key", {make(u"u", true, false), make(u"i", false, false), make(u"p", false, true)}, 2, 3},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    udb_recordset rs(nullptr, u"rs", u"t");
    for (const udb_index& i : r.added) rs.add_index(i);
    EXPECT_EQ(rs.key_pos(), r.key_pos);
    EXPECT_EQ(rs.indexes().size(), r.count);
  }
}

TEST(udb_recordset_keys, PrefixOfAnIndexAndTheKeyFieldsOfARow) {
  const udb_index abc = make(u"i", false, false, {u"a", u"b", u"c"});
  EXPECT_TRUE(abc.starts_with_fields({}));
  EXPECT_TRUE(abc.starts_with_fields({u"A", u"B"}));
  EXPECT_FALSE(abc.starts_with_fields({u"b"}));
  EXPECT_FALSE(abc.starts_with_fields({u"a", u"b", u"c", u"d"}));

  udb_recordset rs(nullptr, u"rs", u"t");
  udb_record row, key;
  row.add(u"Name").set_text(u"x");
  row.add(u"ID").set_i4(7);
  EXPECT_THROW(rs.get_key(row, key), tk_exception) << "no key";
  rs.add_index(make(u"pk", false, true, {u"id", u"missing"}));
  EXPECT_FALSE(rs.get_key(row, key)) << "a key column the row lacks";
  udb_recordset keyed(nullptr, u"rs", u"t");
  keyed.add_index(make(u"pk", false, true, {u"id"}));
  ASSERT_TRUE(keyed.get_key(row, key));
  ASSERT_EQ(key.size(), 1u);
  EXPECT_EQ(key[0].get_i4(), 7);
}

TEST(udb_recordset_filter, KeyDescriptionToCondition) {
  udb_recordset rs(nullptr, u"rs", u"t");
  rs.schema().push_back(t_ftd(4, u"id", VT_I4, true, false, ole_variant(), 0));
  rs.schema().push_back(t_ftd(40, u"City", VT_BSTR, false, false, ole_variant(), 0));
  rs.schema().push_back(t_ftd(9, u"data", VT_ARRAY_UI1, false, false, ole_variant(), 0));
  rs.schema().push_back(t_ftd(4, u"n", VT_INT, false, false, ole_variant(), 0));
  struct row {
    const char16_t* key;
    const char16_t* filter;
  };
  const row rows[] = {
      {u"", u""},
      {u"no tags at all", u""},
      {u"<id>5</id><city>A&amp;B</city>", u"\"id\"=5 and \"City\"='A&B' "},
      {u"<CITY>O'Brien\\x</CITY>", u"\"City\"='O\\'Brien\\\\x' "},
      {u"<city>&lt;b&gt;</city>", u"\"City\"='<b>' "},
      {u"<city>&amp;lt;</city>", u"\"City\"='&lt;' "},
      {u"<data>0x00FF</data>", u"\"data\"=0x00FF"},
      {u"<n>5</n>", u"\"n\"='5' "},
      {u"<city>open end", u"\"City\"='open end' "},
      {u"<id>1</id>junk<id>2</id>", u"\"id\"=1 and \"id\"=2"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(std::u16string(r.key).size());
    EXPECT_EQ(rs.get_filter_subquery(r.key), r.filter);
  }
  try {
    rs.get_filter_subquery(u"<zip>1</zip>");
    FAIL() << "unknown column";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.message(), "The structure of data source does not conform to the destination table.");
  }
}

}  // namespace
