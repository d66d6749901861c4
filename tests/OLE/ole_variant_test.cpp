#include "ole_variant.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <optional>
#include <tuple>

#include "allocation_count.h"
#include "ole_cast_exception.h"

namespace {

// A value made by one of the setters.
template <class T, class U>
ole_variant made(void (ole_variant::*set)(T) noexcept, U value) {
  ole_variant v;
  (v.*set)(value);
  return v;
}

TEST(ole_variant_print, SetterValues) {
  ole_variant null;
  null.set_null();
  ole_decimal dec;
  ASSERT_EQ(dec.parse("-0.0100"), ole_decimal::status::ok);
  const struct {
    ole_variant value;
    const char* printed;
  } rows[] = {
      {ole_variant(true), "1"},
      {made(&ole_variant::set_ui4, 4000000000u), "4000000000"},
      {made(&ole_variant::set_i8, std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
      {made(&ole_variant::set_ui8, std::numeric_limits<uint64_t>::max()), "18446744073709551615"},
      {ole_variant(0.1), "1.0000000000000001e-01"},
      {made(&ole_variant::set_r4, 0.1f), "1.000000e-01"},
      {made(&ole_variant::set_cy, -5000), "-0.5"},
      {made(&ole_variant::set_cy, 10000), "1"},
      {made(&ole_variant::set_decimal, dec), "-0.01"},
      {ole_variant(ole_date::make(2024, 12, 5, 10, 20, 30, 250000)), "2024-12-05 10:20:30.250000"},
      {ole_variant(std::vector<uint8_t>{0x00, 0xFF}), "0x00FF"},
      {ole_variant(std::vector<uint8_t>{}), ""},
      {null, ""},
  };
  for (const auto& r : rows) {
    std::string appended = "<";
    r.value.append_to_string(appended);
    const std::string printed = r.printed;
    EXPECT_EQ(std::tuple(r.value.to_string(), appended, r.value.is_text_form_empty()),
              std::tuple(printed, "<" + printed, printed.empty()));
  }
}

TEST(ole_variant_print, WideForms) {
  // Dates print through to_string, so the wide form keeps the zero date
  // (ole_date's own wide form leaves it out).
  const ole_variant time(ole_date::make(0, 0, 0, 8, 5, 3, 0, ole_date::kind_time));
  EXPECT_EQ(time.to_wstring(), u"0000-00-00 08:05:03");
  EXPECT_EQ(ole_variant(u"\u00e9t\u00e9").to_wstring(), u"\u00e9t\u00e9");
  EXPECT_EQ(ole_variant(u"\u00e9t\u00e9").to_string(), "\xc3\xa9t\xc3\xa9");
  // A lone surrogate has no narrow form.
  EXPECT_EQ(ole_variant(std::u16string(1, char16_t(0xDC00))).to_string(), "");
}

struct change_row {
  const char* name;
  ole_variant from;
  VARTYPE to;
  std::optional<ole_variant> expected;  // none: the conversion throws and keeps the value
};

ole_variant i8(int64_t v) { return made(&ole_variant::set_i8, v); }
ole_variant currency(int64_t scaled) { return made(&ole_variant::set_cy, scaled); }

// The conversions a type mapping makes: a workbook's numbers, currencies,
// dates and booleans and a CSV file's texts, into the mapped column's type
// (text into an integer type goes through ole_coerce instead), or the
// conversions that cannot be made.
TEST(ole_variant_change_type, Conversions) {
  const change_row rows[] = {
      {"double half up", ole_variant(2.5), VT_I4, ole_variant(int32_t(3))},
      {"double half down", ole_variant(-2.5), VT_I4, ole_variant(int32_t(-3))},
      {"bool to i8", ole_variant(true), VT_I8, i8(-1)},
      {"double to i8 even", ole_variant(2.5), VT_I8, i8(2)},
      {"currency to i8 half up", currency(25000), VT_I8, i8(3)},
      {"negative currency to i8 half up", currency(-25000), VT_I8, i8(-2)},
      {"double: automation form", ole_variant(123456789012345678.0), VT_BSTR, ole_variant(u"1.23456789012346E+17")},
      {"bool text", ole_variant(true), VT_BSTR, ole_variant(u"-1")},
      {"date text", ole_variant(ole_date::make(2024, 12, 5, 10, 20, 30)), VT_BSTR,
       ole_variant(u"12/5/2024 10:20:30 AM")},
      {"pure date text", ole_variant(ole_date::make(2024, 12, 5, 0, 0, 0, 0, ole_date::kind_date)), VT_BSTR,
       ole_variant(u"12/5/2024")},
      {"afternoon text", ole_variant(ole_date::make(0, 0, 0, 15, 4, 0, 0, ole_date::kind_time)), VT_BSTR,
       ole_variant(u"3:04:00 PM")},
      {"text to double", ole_variant(u" 12.5 "), VT_R8, ole_variant(12.5)},
      {"bool to r8", ole_variant(true), VT_R8, ole_variant(-1.0)},
      {"text to date", ole_variant(u"2024-12-05"), VT_DATE,
       ole_variant(ole_date::make(2024, 12, 5, 0, 0, 0, 0, ole_date::kind_date))},
      {"double to i8 overflow", ole_variant(1e30), VT_I8, std::nullopt},
      {"negative currency to ui8", currency(-30000), VT_UI8, std::nullopt},
      {"text not a date", ole_variant(u"xx"), VT_DATE, std::nullopt},
      {"comma grouping", ole_variant(u"1,234"), VT_R8, std::nullopt},
  };
  for (const change_row& r : rows) {
    SCOPED_TRACE(r.name);
    ole_variant v = r.from;
    if (r.expected) {
      v.change_type(r.to);
    } else {
      EXPECT_THROW(v.change_type(r.to), ole_cast_exception);
    }
    EXPECT_TRUE(v == r.expected.value_or(r.from)) << v.get_type() << " '" << v.to_string() << "'";
  }
}

TEST(ole_variant_storage, CopyPathReusesStorage) {
  ole_variant v;
  v.set_text(u"a text long enough to live on the heap, not in the string itself");
  const char16_t* buffer = v.text().data();
  long before = allocations;
  v.set_i4(5);
  v.set_r8(2.5);
  v.set_cy(1);
  v.set_date(ole_date::make(2024, 1, 2, 3, 4, 5));
  v.set_decimal(ole_decimal::from_int64(7));
  v.set_text(u"shorter, but still too long for the small buffer");
  EXPECT_EQ(allocations - before, 0);
  EXPECT_EQ(v.text().data(), buffer);

  ole_variant other(u"another text long enough to need the heap for sure");
  before = allocations;
  other = v;  // copy into existing storage
  EXPECT_EQ(allocations - before, 0);
  EXPECT_TRUE(other == v);
}

// A text set as UTF-8 is the same text whichever way it travels: copied,
// moved, compared or asked for as UTF-16, before or after that form is made;
// setting another value forgets the UTF-8.
TEST(ole_variant_storage, TextSetAsUtf8) {
  const std::string bytes = "caf\xC3\xA9 \xF0\x9F\x98\x80 and enough more to live on the heap";
  const std::u16string wide = u"caf\u00E9 \U0001F600 and enough more to live on the heap";
  const auto utf8_variant = [&] {
    ole_variant v;
    v.utf8_for_write() = bytes;
    v.set_utf8_units(wide.size());
    return v;
  };
  const struct {
    const char* name;
    std::function<ole_variant(ole_variant&)> pass;
  } ways[] = {
      {"as set", [](ole_variant& v) { return std::move(v); }},
      {"copied", [](ole_variant& v) { return ole_variant(v); }},
      {"copied over text",
       [](ole_variant& v) {
         ole_variant o(u"old");
         o = v;
         return o;
       }},
      {"copied over a number",
       [](ole_variant& v) {
         ole_variant o(int32_t{1});
         o = v;
         return o;
       }},
      {"moved over text",
       [](ole_variant& v) {
         ole_variant o(u"old");
         o = std::move(v);
         return o;
       }},
      {"made UTF-16 first, then copied",
       [](ole_variant& v) {
         (void)v.text();
         return ole_variant(v);
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    ole_variant v = utf8_variant();
    const ole_variant got = way.pass(v);
    ASSERT_TRUE(got.utf8());
    EXPECT_EQ(*got.utf8(), bytes);
    EXPECT_EQ(got.text_units(), wide.size());
    EXPECT_EQ(got.to_string(), bytes);
    EXPECT_TRUE(got == ole_variant(wide));
    EXPECT_EQ(got.text(), wide);
  }
  ole_variant v = utf8_variant();
  v.set_text(u"plain");
  EXPECT_FALSE(v.utf8());
  EXPECT_EQ(v.text(), u"plain");
  EXPECT_EQ(v.text_units(), 5u);
  v = utf8_variant();
  v.set_i4(3);
  EXPECT_FALSE(v.utf8());
  EXPECT_EQ(v.text_units(), 0u);
  v.text_for_write() = u"again";
  EXPECT_FALSE(v.utf8());
  EXPECT_EQ(v.text(), u"again");
}

}  // namespace
