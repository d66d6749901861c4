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

// The state each column of texts ends in: a type is proposed only where the
// server changes every value exactly (strict mode, no warning). The columns
// of the live-versus-dump round trip (tests/agent) are not repeated here.
TEST(NumMap, ExactTextNumbersOnly) {
  struct row {
    std::vector<std::u16string> values;
    int32_t state;
  } rows[] = {
      {{u"1", u"3000000000", u"2.5", u"abc", u"4"}, num_map::state_varchar},
      {{u"-2147483648", u"2147483647", u"+12", u"-0", u"00"}, num_map::state_int},
      {{u"2147483648"}, num_map::state_bigint},
      {{u"-2147483649"}, num_map::state_bigint},
      {{u"9223372036854775807", u"-9223372036854775808"}, num_map::state_bigint},
      // Past BIGINT a number is a double only where the double shows the
      // same digits: an ID of 20 digits or a long fraction stays text.
      {{u"9223372036854775808"}, num_map::state_varchar},
      {{u"99999999999999999999"}, num_map::state_varchar},
      {{u"12345678901234567890123"}, num_map::state_varchar},
      {{u"0.1000000000000000055511151231257827"}, num_map::state_varchar},
      {{u"1.00000000000000001"}, num_map::state_varchar},
      {{u"123456789012345678e-3"}, num_map::state_varchar},
      {{u"100000000000000000000000", u"1.0000000000000002", u"-0.000123456789012345670", u"12345678901234567e3",
        u"0.30000000000000004"},
       num_map::state_double},
      // An integer a double cannot hold keeps a column of fractions text
      // (it was rounded: 9007199254740993 became ...992), in either order;
      // with integers alone it is a BIGINT.
      {{u"1", u"9007199254740993", u"1e0"}, num_map::state_varchar},
      // Below the normal range a double holds fewer digits: 4.9e-324 came
      // back 5e-324, 2.4e-323 as 2.5e-323.
      {{u"1.5", u"4.9e-324"}, num_map::state_varchar},
      {{u"2.4e-323"}, num_map::state_varchar},
      {{u"3.14159265358979e-310"}, num_map::state_varchar},
      {{u"1e-320", u"5e-324", u"2.2250738585072014e-308"}, num_map::state_double},
      {{u"2.5", u"-12345678901234567"}, num_map::state_varchar},
      {{u"9007199254740992", u"-9007199254740992", u"0.5"}, num_map::state_double},
      {{u"-9007199254740993", u"1"}, num_map::state_bigint},
      // Not integers for the server: a point or an exponent.
      {{u".5", u"5.", u"-1.5E+2", u"1e-5"}, num_map::state_double},
      // Not numbers for the server: a blank, an infinite value, a bare
      // exponent or point.
      {{u" 5"}, num_map::state_varchar},
      {{u"1e400"}, num_map::state_varchar},
      {{u"1e"}, num_map::state_varchar},
      {{u"."}, num_map::state_varchar},
      {{u"", u"<null>", u"12"}, num_map::state_int},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.values));
    num_map map(u"t", one_column(VT_BSTR));
    EXPECT_EQ(final_state(map, r.values), r.state);
    EXPECT_TRUE(map.entries()[0].seen);
  }
  // A column that never held a value is not judged: it keeps its type.
  num_map empty(u"t", one_column(VT_BSTR));
  final_state(empty, {u"", u"<null>"});
  EXPECT_FALSE(empty.entries()[0].seen);
}

// A workbook's numbers: whole ones are integers while a double holds them
// exactly (2^53), whatever their width. The columns of the round trip of
// workbook numbers (tests/agent: integers past INT, 2^53 itself, fractions,
// currency kept exact) are not repeated here.
TEST(NumMap, StoredNumbers) {
  for (const auto& [values, state] : {std::pair{std::vector{1.0, -7.0, 2147483647.0}, num_map::state_int},
                                      std::pair{std::vector{9007199254740994.0}, num_map::state_double}}) {
    SCOPED_TRACE(testing::PrintToString(values));
    num_map map(u"t", one_column(VT_R8));
    udb_record rec;
    rec.resize(1);
    for (double v : values) {
      rec[0].set_r8(v);
      map.add_rec_stat(rec);
    }
    EXPECT_EQ(map.entries()[0].state, state);
  }
}

TEST(DatesMap, ServerFormsAndOneSlashPattern) {
  struct row {
    std::vector<std::u16string> values;
    int32_t state;
    const char* pattern = "";
  } rows[] = {
      {{u"2023-02-29"}, dates_map::state_char19},
      {{u"2024-13-01"}, dates_map::state_char19},
      {{u"2024-01-02", u"2024-01-03 10:20:30"}, dates_map::state_datetime},
      {{u"2024-01-03T10:20:30.000"}, dates_map::state_datetime},
      {{u"2024-01-03 10:20:30.5"}, dates_map::state_char19},  // the column keeps whole seconds
      {{u"2024-01-02", u"10:20:30"}, dates_map::state_char19},
      {{u"839:00:00"}, dates_map::state_char19},
      {{u"10:20"}, dates_map::state_char19},
      {{u"2024-01-02", u"not a date"}, dates_map::state_char19},
      {{u"20240229"}, dates_map::state_char19},
      {{u"", u"<null>", u"2024-01-02"}, dates_map::state_date},
      // One slash pattern whose order the column tells.
      {{u"2/29/2024", u"3/3/2023"}, dates_map::state_date, "%m/%d/%Y"},
      {{u"12/31/2024 08:30", u"1/2/2023 17:05"}, dates_map::state_datetime, "%m/%d/%Y %H:%i"},
      {{u"12/31/2024", u"31/12/2024"}, dates_map::state_char19},  // both orders
      {{u"2/29/2023"}, dates_map::state_char19},
      {{u"12/31/2024", u"2024-01-02"}, dates_map::state_char19},
      {{u"12/31/2024", u"1/2/2023 10:00"}, dates_map::state_char19},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::PrintToString(r.values));
    dates_map map(u"t", one_column(VT_BSTR), false);
    EXPECT_EQ(final_state(map, r.values), r.state);
    EXPECT_EQ(map.entries()[0].pattern, r.pattern);
  }
  // How a workbook's date cells refine is shown end to end (tests/agent).
  EXPECT_TRUE(dates_map(u"t", one_column(VT_BSTR), true).entries().empty());
}
