#include "udb_schema.h"

#include <gtest/gtest.h>

#include "udb_field.h"

namespace {

udb_schema sample() {
  udb_schema s;
  s.push_back(t_ftd(4, u"Id", VT_I4, true, true, ole_variant(), 0));
  s.push_back(t_ftd(40, u"City", VT_BSTR, false, false, ole_variant(u"Paris"), 0));
  s.push_back(t_ftd(80, u"CITY", VT_BSTR, false, false, ole_variant(), 16));
  return s;
}

TEST(udb_schema_lookup, NamesIgnoreCaseFirstMatchWins) {
  udb_schema s = sample();
  s.fields.insert(s.fields.begin(), nullptr);  // a dropped column stays a hole
  for (const char16_t* name : {u"id", u"city", u"CiTy"}) EXPECT_TRUE(s.find_field(name));
  EXPECT_FALSE(s.find_field(u"town"));
  EXPECT_EQ(s.find_index(u"CITY"), 2);
}

TEST(udb_schema_copy, DeepAndIndependent) {
  udb_schema s = sample();
  udb_schema copy = s;
  copy.fields[1]->size = 99;
  copy.fields[1]->def_value.set_text(u"Rome");
  EXPECT_EQ(s.fields[1]->size, 40u);
  EXPECT_EQ(s.fields[1]->def_value.text(), u"Paris");
  s = copy;
  EXPECT_EQ(s.fields[1]->size, 99u);
  EXPECT_NE(s.fields[1].get(), copy.fields[1].get());
}

TEST(t_ftd_from_field, TakesTheRealSizeNotTheDeclaredOne) {
  t_ftd d(udb_field(u"Notes", 255, ole_variant(u"ten chars!"), true, false), ole_variant(int32_t(3)), 16);
  EXPECT_EQ(d.size, 10u);
  EXPECT_EQ(d.vartype, VT_BSTR);
  EXPECT_TRUE(d.b_not_null);
  EXPECT_EQ(d.def_value.get_i4(), 3);
}

}  // namespace
