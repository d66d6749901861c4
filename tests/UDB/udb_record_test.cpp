// Records and schemas: lookups by name, emptiness and sizes, reuse of fields
// and their storage, deep copies.
#include "udb_record.h"

#include <gtest/gtest.h>

#include <tuple>

#include "expect_failure.h"
#include "udb_field.h"
#include "udb_schema.h"

namespace {

udb_field text_field(const char16_t* name, const char16_t* text, uint32_t size = 255) {
  return udb_field(name, size, ole_variant(text));
}

TEST(udb_record_lookup, CaseInsensitiveFirstMatch) {
  udb_record r;
  for (const char16_t* name : {u"Id", u"Name", u"NAME", u"\u00c4rger", u"\u212Aelvin", u"Stra\u00dfe"})
    r.push_back(text_field(name, u"x"));
  // -1: not found. U+212A is the Kelvin sign, U+1E9E the capital sharp s;
  // names compare character by character, as the server's do ("ß" is not
  // "ss").
  const std::pair<const char16_t*, int> rows[] = {
      {u"name", 1},   {u"nam", -1},     {u"names", -1},  {u"\u00e4RGER", 3},  {u"", -1},
      {u"KELVIN", 4}, {u"STRASSE", -1}, {u"strase", -1}, {u"STRA\u1E9EE", 5},
  };
  for (const auto& [name, index] : rows) {
    EXPECT_EQ(std::pair(r.find_index(name), r.find_field(name)), std::pair(std::ptrdiff_t{index}, index >= 0)) << index;
  }
}

TEST(udb_record_content, EmptinessAndTotalSize) {
  udb_field null_field(u"n", 10, ole_variant());
  null_field.set_null();
  udb_field int_kind(u"k", 4, ole_variant());
  int_kind.set_int(5);
  const struct {
    const char* name;
    std::vector<udb_field> fields;
    bool empty;
    size_t total;
  } rows[] = {
      {"no fields", {}, true, 0},
      {"all null", {null_field, null_field}, true, 20},
      {"text 0", {null_field, text_field(u"t", u"0")}, false, 11},
      {"empty text", {text_field(u"t", u"", 30)}, true, 0},
      {"text and empty", {text_field(u"t", u"abcdefghij", 255), udb_field(u"e", 50, ole_variant())}, false, 10},
      {"binary and number",
       {udb_field(u"b", 0, ole_variant(std::vector<uint8_t>{1, 2, 3})), udb_field(u"i", 4, ole_variant(int32_t(0)))},
       false,
       7},
      {"empty binary", {udb_field(u"b", 9, ole_variant(std::vector<uint8_t>{}))}, true, 0},
      {"int kind prints nothing", {int_kind}, true, 4},
  };
  for (const auto& x : rows) {
    udb_record r;
    for (const udb_field& f : x.fields) r.push_back(f);
    EXPECT_EQ(std::pair(r.is_empty(), r.get_total_size()), std::pair(x.empty, x.total)) << x.name;
  }
  udb_record r;
  testsupport::expect_internal_error([&] { r.push_back(std::unique_ptr<udb_field>()); }, "udb_rec");
}

TEST(udb_record_reuse, RefillKeepsFieldsAndStorage) {
  udb_record r;
  r.resize(3);
  r[0].set_name(u"a column name long enough for the heap");
  r[0].set_text(u"a value long enough to be stored on the heap");
  r[2].set_i4(9);
  const udb_field* first = &r[0];
  const char16_t* text_buffer = r[0].text().data();
  r.resize(1);
  r.resize(3);
  EXPECT_EQ(&r[0], first);

  // Copying another record in keeps the field objects and their buffers.
  udb_record other;
  other.push_back(text_field(u"x", u"short"));
  other.push_back(udb_field(u"y", 4, ole_variant(int32_t(7))));
  r = other;
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(std::tuple(&r[0], r[0].text().data(), r[0].name(), r[1].get_i4()),
            std::tuple(first, text_buffer, std::u16string(u"x"), 7));

  EXPECT_EQ(r.add(u"z").get_type(), VT_EMPTY) << "a reused field starts empty";
  r.clear();
  EXPECT_EQ(&r.add(u"again"), first);

  udb_record copy(other);
  ASSERT_EQ(copy.size(), 2u);
  EXPECT_NE(&copy[0], &other[0]);
  EXPECT_TRUE(static_cast<const ole_variant&>(copy[0]) == other[0]);
}

// A table's plan copies the source's schema before the mapping rewrites it.
TEST(udb_schema_copy, DeepAndIndependent) {
  udb_schema s;
  s.push_back(t_ftd(4, u"Id", VT_I4, true, true, ole_variant(), 0));
  s.push_back(t_ftd(40, u"City", VT_BSTR, false, false, ole_variant(u"Paris"), 0));
  udb_schema copy = s;
  copy.fields[1]->size = 99;
  copy.fields[1]->def_value.set_text(u"Rome");
  EXPECT_EQ(s.fields[1]->size, 40u);
  EXPECT_EQ(s.fields[1]->def_value.text(), u"Paris");
  s = copy;
  EXPECT_EQ(s.fields[1]->size, 99u);
  EXPECT_NE(s.fields[1].get(), copy.fields[1].get());
}

}  // namespace
