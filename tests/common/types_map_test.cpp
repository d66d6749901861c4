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
      {{u"1", u"3000000000", u"2.5", u"abc", u"4"}, num_map::state_varchar},
      {{u"3000000000", u"7"}, num_map::state_bigint},
      {{u"5.0", u"1e3"}, num_map::state_int},
      {{u"007"}, num_map::state_varchar},
      {{u"00"}, num_map::state_int},
      {{u"0.5", u"0,5"}, num_map::state_double},
      {{u"", u"<null>", u"12"}, num_map::state_int},
      {{u"-2147483648", u"2147483647"}, num_map::state_int},
      {{u"2147483648"}, num_map::state_bigint},
      {{u"99999999999999999999"}, num_map::state_double},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.values));
    num_map map(u"t", one_column(VT_BSTR));
    EXPECT_EQ(final_state(map, r.values), r.state);
    EXPECT_TRUE(map.entries()[0].seen);
  }
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
  for (const char* text : {"1e-5", "-3.2E+4", "12-3", "0,5", "00", "+12", "e5", ".5"})
    EXPECT_TRUE(num_map::is_number_syntax(text)) << text;
  for (const char* text : {"1e5e2", "1..2", "--1", "1-", "12a", "007", "0123", "", "1 2"})
    EXPECT_FALSE(num_map::is_number_syntax(text)) << text;
}

TEST(NumMap, IntegerTests) {
  for (const char* text : {"3000000000", "-2147483649"}) EXPECT_TRUE(num_map::is_i8(text)) << text;
  for (const char* text : {"2147483647", "+3000000000", "03000000000"}) EXPECT_FALSE(num_map::is_i8(text)) << text;
  // The leading number decides: "+12" and "3,5" are whole.
  for (const char* text : {"+12", "012", "3,5"}) EXPECT_TRUE(num_map::is_int(text)) << text;
  for (const char* text : {"1.5", "5e9"}) EXPECT_FALSE(num_map::is_int(text)) << text;
}

TEST(DatesMap, StatesFromTextValues) {
  struct row {
    std::vector<std::u16string> values;
    int32_t state;
  } rows[] = {
      {{u"2024-01-02", u"2024-12-31"}, dates_map::state_date},
      {{u"2024-01-02", u"2024-01-03 10:20:30"}, dates_map::state_datetime},
      {{u"2024-01-02", u"10:20:30"}, dates_map::state_char19},
      {{u"10:20:00", u"23:59:59.5"}, dates_map::state_time},
      {{u"10:20", u"2024-01-02 08:00:00"}, dates_map::state_datetime},  // a bare h:mm reads as a moment on day 0
      {{u"10:20:00", u"2024-01-02"}, dates_map::state_char19},
      {{u"2024-01-02", u"not a date"}, dates_map::state_char19},
      {{u"12/31/2024", u"20240229"}, dates_map::state_date},
      {{u"", u"<null>", u"2024-01-02"}, dates_map::state_date},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.values));
    dates_map map(u"t", one_column(VT_BSTR), false);
    EXPECT_EQ(final_state(map, r.values), r.state);
  }
  // How a workbook's date cells refine is shown end to end (tests/agent); its
  // texts are never taken for dates.
  EXPECT_TRUE(dates_map(u"t", one_column(VT_BSTR), true).entries().empty());
}
