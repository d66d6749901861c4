#include <gtest/gtest.h>

#include "expect_failure.h"
#include "sql_new_validator.h"
#include "sql_old_validator.h"
#include "udb_record.h"
#include "udb_schema.h"

namespace {

// Runs the writers' pattern: safe = get_safe_name(name); add_existing_name(safe).
std::vector<std::u16string> name_all(udb_validator& v, const std::vector<std::u16string>& names) {
  std::vector<std::u16string> out;
  for (const auto& n : names) {
    out.push_back(v.get_safe_name(n));
    v.add_existing_name(out.back());
  }
  return out;
}

std::u16string letters(size_t n, char16_t first = u'A') {
  std::u16string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char16_t>(first + i % 26);
  return s;
}

struct scope_row {
  const char* name;
  char scope;  // t(able), f(ield), i(ndex)
  bool old_rules;
  std::vector<std::u16string> names;
  std::vector<std::u16string> expected;
};

std::unique_ptr<udb_validator> make(char scope, bool old_rules) {
  using names = std::vector<std::u16string>;
  if (scope == 't')
    return old_rules ? std::unique_ptr<udb_validator>(new sql_old_tn_validator(names{}, names{}))
                     : std::make_unique<sql_new_tn_validator>(names{}, names{});
  if (scope == 'f')
    return old_rules ? std::unique_ptr<udb_validator>(new sql_old_fn_validator())
                     : std::make_unique<sql_new_fn_validator>();
  return old_rules ? std::unique_ptr<udb_validator>(new sql_old_in_validator(names{}))
                   : std::make_unique<sql_new_in_validator>(names{});
}

TEST(udb_validator_safe_name, BothFamilies) {
  const std::u16string long_name = letters(70);
  const scope_row rows[] = {
      {"dollar allowed", 't', false, {u"Sheet1$"}, {u"sheet1$"}},
      {"slash in a table", 't', false, {u"Q1/Q2"}, {u"q1_q2"}},
      {"slash in a column", 'f', false, {u"Q1/Q2"}, {u"q1/q2"}},
      {"colon in a table", 't', false, {u"a:b"}, {u"a_b"}},
      {"all first eight", 'i', false, {u"`\"'^*\\;+|"}, {u"________|"}},
      {"blanks at the ends", 'f', false, {u"  padded name "}, {u"padded name"}},
      {"only blanks", 'f', false, {u"   ", u""}, {u"00000", u"00001"}},
      {"same name twice", 'f', false, {u"Total", u"TOTAL", u"total"}, {u"total", u"total00000", u"total00001"}},
      {"counter clash", 'f', false, {u"a00000", u"a", u"A"}, {u"a00000", u"a", u"a00001"}},
      {"long name", 't', false, {long_name, long_name}, {letters(63, u'a'), letters(58, u'a') + u"00000"}},
      {"non-ASCII lower case", 'f', false, {u"\u00c4RGER", u"\u00e4rger"}, {u"\u00e4rger", u"\u00e4rger00000"}},
      {"emoji in a table", 't', false, {u"Sales \U0001F4C8"}, {u"sales __"}},
      {"emoji in a column", 'f', false, {u"amount \U0001F4B0"}, {u"amount __"}},
      {"digits only (old)", 'f', true, {u"2024"}, {u"_024"}},
      {"reserved word (old)", 't', true, {u"order", u"ORDER"}, {u"order00000", u"order00001"}},
      // Words later servers reserve, and names that read as numbers: a dump
      // of bare names holding one did not load (after its DROP TABLE).
      {"later reserved word (old)",
       'f',
       true,
       {u"check", u"Union", u"right"},
       {u"check00000", u"union00000", u"right00000"}},
      {"number shapes (old)",
       'f',
       true,
       {u"1e5", u"0x1F", u"0b101", u"1e", u"0x", u"0x", u"2nd"},
       {u"_e5", u"_x1f", u"_b101", u"_e", u"_x", u"_x00000", u"2nd"}},
      {"symbols (old)", 'f', true, {u"Net Sales (EUR)"}, {u"net_sales__eur_"}},
      {"letters kept (old)", 'f', true, {u"Pr\u00e9cis$", u"a\U0001F600b"}, {u"pr\u00e9cis$", u"a_b"}},
      {"long reserved-free (old)", 'i', true, {long_name}, {letters(63, u'a')}},
  };
  for (const scope_row& r : rows) EXPECT_EQ(name_all(*make(r.scope, r.old_rules), r.names), r.expected) << r.name;
}

TEST(udb_validator_acceptable, Rules) {
  sql_new_fn_validator fn;
  sql_new_tn_validator tn({}, {});
  sql_old_fn_validator old;
  const struct {
    const udb_validator* v;
    std::u16string name;
    bool ok;
  } rows[] = {
      {&fn, u"", false},         {&fn, u" a", false},      {&fn, u"a ", false},          {&fn, letters(64), true},
      {&fn, letters(65), false}, {&fn, u"a`b", false},     {&fn, u"a/b", true},          {&tn, u"a/b", false},
      {&tn, u"a b", true},       {&old, u"SeLeCt", false}, {&old, u"selects", true},     {&old, u"a b", false},
      {&old, u"123", false},     {&old, u"_1", true},      {&fn, u"a\U0001F600", false},
  };
  for (const auto& r : rows) EXPECT_EQ(r.v->is_acceptable(r.name), r.ok) << r.name.size();
}

TEST(udb_validator_scopes, ExistingNamesAndMappedPairs) {
  sql_new_tn_validator tn({u"Orders"}, {u"v_sales"});
  EXPECT_TRUE(tn.is_duplicated(u"ORDERS"));
  EXPECT_EQ(tn.get_safe_name(u"orders"), u"orders00000");
  EXPECT_EQ(tn.get_safe_name(u"V_Sales"), u"v_sales00000");

  udb_record record;
  for (const char16_t* name : {u"Total", u"TOTAL", u"a b"}) record.push_back(udb_field(name, 0, ole_variant()));
  sql_new_fn_validator fn(record);
  const std::vector<std::u16string> safe = {u"total", u"total00000", u"a b"};
  EXPECT_EQ(fn.existing(), safe);
  for (size_t i = 0; i < safe.size(); ++i) EXPECT_EQ(fn.get_mapped_name(record[i].name()), safe[i]);

  udb_schema schema;
  schema.push_back(t_ftd(4, u"Order", VT_I4, false, false, ole_variant(), 0));
  sql_old_fn_validator old(schema);
  EXPECT_EQ(old.get_mapped_name(u"Order"), u"order00000");

  sql_old_in_validator in({u"ix"});
  EXPECT_EQ(in.get_safe_name(u"IX"), u"ix00000");
}

TEST(udb_validator_safe_name, CounterExhaustionIsAnInternalError) {
  sql_new_fn_validator fn;
  fn.add_existing_name(u"x");
  for (int i = 0; i <= 99999; ++i) {
    std::u16string name = u"x";
    for (int d = 10000; d > 0; d /= 10) name += static_cast<char16_t>(u'0' + i / d % 10);
    fn.add_existing_name(name);
  }
  for (int attempt = 0; attempt < 2; ++attempt)
    testsupport::expect_internal_error([&] { fn.get_safe_name(u"X"); }, "udb_vali", 55);
  // The old rules cannot name an empty source name at all.
  sql_old_fn_validator old;
  testsupport::expect_internal_error([&] { old.get_safe_name(u""); }, "udb_vali", 55);
}

}  // namespace
