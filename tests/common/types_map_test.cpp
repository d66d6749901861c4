// Type refinement statistics: the state each column ends in after a run of values.

#include <gtest/gtest.h>

#include "dates_map.h"
#include "num_map.h"
#include "udb_record.h"
#include "udb_schema.h"

namespace {

udb_schema one_column(VARTYPE vt) {
  udb_schema s;
  s.push_back(t_ftd(255, u"c", vt, false, false, ole_variant(), 0));
  return s;
}

template <class Map>
int32_t final_state(Map& map, const std::vector<std::u16string>& texts) {
  udb_record r;
  r.resize(1);
  for (const std::u16string& t : texts) {
    if (t == u"<null>") {
      r[0].set_null();
    } else {
      r[0].set_text(t);
    }
    map.add_rec_stat(r);
  }
  return map.entries()[0].state;
}

}  // namespace

TEST(NumMap, StateOnlyWidens) {
  struct row {
    std::vector<std::u16string> values;
    int32_t state;
  } rows[] = {
      {{u"1", u"2", u"3"}, num_map::state_int},
      {{u"1", u"2", u"3", u"3000000000"}, num_map::state_bigint},
      {{u"1", u"3000000000", u"2.5"}, num_map::state_double},
      {{u"1", u"3000000000", u"2.5", u"abc", u"4"}, num_map::state_varchar},
      {{u"3000000000", u"7"}, num_map::state_bigint},
      {{u"5.0", u"1e3"}, num_map::state_int},
      {{u"1.5"}, num_map::state_double},
      {{u"007"}, num_map::state_varchar},
      {{u"1", u"0123"}, num_map::state_varchar},
      {{u"0.5", u"0,5"}, num_map::state_double},
      {{u"00"}, num_map::state_int},
      {{u"", u"<null>", u"12"}, num_map::state_int},
      {{u"-2147483648", u"2147483647"}, num_map::state_int},
      {{u"2147483648"}, num_map::state_bigint},
      {{u"99999999999999999999"}, num_map::state_double},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.values.size()) + " values, first " +
                 std::string(r.values[0].begin(), r.values[0].end()));
    num_map map(u"t", one_column(VT_BSTR));
    EXPECT_EQ(final_state(map, r.values), r.state);
    EXPECT_TRUE(map.entries()[0].seen);
  }
}

TEST(NumMap, EmptyCellsChangeNothing) {
  num_map map(u"t", one_column(VT_R8));
  EXPECT_EQ(map.entries()[0].arrival, num_map::state_double);
  final_state(map, {u"", u"<null>"});
  EXPECT_FALSE(map.entries()[0].seen);
  EXPECT_EQ(map.entries()[0].state, num_map::state_varchar);
}

TEST(NumMap, WorkbookDoublesHoldingWholeNumbersBecomeInt) {
  num_map map(u"t", one_column(VT_R8));
  udb_record r;
  r.resize(1);
  for (double v : {1.0, -7.0, 2147483647.0}) {
    r[0].set_r8(v);
    map.add_rec_stat(r);
  }
  EXPECT_EQ(map.entries()[0].state, num_map::state_int);
  r[0].set_r8(0.25);
  map.add_rec_stat(r);
  EXPECT_EQ(map.entries()[0].state, num_map::state_double);
}

TEST(NumMap, NumberSyntax) {
  struct row {
    const char* text;
    bool ok;
  } rows[] = {{"1e-5", true},   {"-3.2E+4", true}, {"12-3", true},  {"0.5", true},  {"0,5", true},
              {"00", true},     {"1e5e2", false},  {"1..2", false}, {"--1", false}, {"1-", false},
              {"12a", false},   {"007", false},    {"0123", false}, {"", false},    {"+12", true},
              {"1 2", false},   {"e5", true},      {".5", true}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(num_map::is_number_syntax(r.text), r.ok);
  }
}

TEST(NumMap, IntegerTests) {
  EXPECT_TRUE(num_map::is_i8("3000000000"));
  EXPECT_TRUE(num_map::is_i8("-2147483649"));
  EXPECT_FALSE(num_map::is_i8("2147483647"));
  EXPECT_FALSE(num_map::is_i8("+3000000000"));
  EXPECT_FALSE(num_map::is_i8("03000000000"));
  EXPECT_TRUE(num_map::is_int("+12")) << "second test: the leading number is whole";
  EXPECT_TRUE(num_map::is_int("012"));
  EXPECT_TRUE(num_map::is_int("3,5")) << "the leading number stops at the comma";
  EXPECT_FALSE(num_map::is_int("1.5"));
  EXPECT_FALSE(num_map::is_int("5e9"));
}

TEST(DatesMap, StatesFromTextValues) {
  struct row {
    std::vector<std::u16string> values;
    int32_t state;
  } rows[] = {
      {{u"2024-01-02", u"2024-12-31"}, dates_map::state_date},
      {{u"2024-01-02", u"2024-01-03 10:20:30"}, dates_map::state_datetime},
      {{u"2024-01-02 10:20:30", u"2024-01-03"}, dates_map::state_datetime},
      {{u"2024-01-02", u"10:20:30"}, dates_map::state_char19},
      {{u"10:20:00", u"23:59:59.5"}, dates_map::state_time},
      {{u"10:20", u"2024-01-02 08:00:00"}, dates_map::state_datetime},  // a bare h:mm reads as a moment on day 0
      {{u"10:20:00", u"2024-01-02"}, dates_map::state_char19},
      {{u"2024-01-02", u"not a date"}, dates_map::state_char19},
      {{u"abc", u"2024-01-02"}, dates_map::state_char19},
      {{u"12/31/2024", u"20240229"}, dates_map::state_date},
      {{u"", u"<null>", u"2024-01-02"}, dates_map::state_date},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(std::string(r.values[0].begin(), r.values[0].end()));
    dates_map map(u"t", one_column(VT_BSTR), false);
    EXPECT_EQ(final_state(map, r.values), r.state);
  }
}

TEST(DatesMap, DateValuesOfAWorkbook) {
  udb_schema schema = one_column(VT_DATE);
  dates_map map(u"t", schema, true);
  ASSERT_EQ(map.entries().size(), 1u);
  EXPECT_EQ(map.entries()[0].arrival, 1);
  udb_record r;
  r.resize(1);
  // Midnight dates read as dates; a time on the zero day reads as a time.
  r[0].set_date(ole_date::make(2024, 3, 1));
  map.add_rec_stat(r);
  EXPECT_EQ(map.entries()[0].state, dates_map::state_date);
  r[0].set_date(ole_date::make(1899, 12, 30, 8, 5, 3));
  map.add_rec_stat(r);
  EXPECT_EQ(map.entries()[0].state, dates_map::state_char19);

  dates_map times(u"t", schema, true);
  r[0].set_date(ole_date::make(1899, 12, 30, 8, 5, 3));
  times.add_rec_stat(r);
  EXPECT_EQ(times.entries()[0].state, dates_map::state_time);

  dates_map only_dates(u"t", one_column(VT_BSTR), true);
  EXPECT_TRUE(only_dates.entries().empty());
}
