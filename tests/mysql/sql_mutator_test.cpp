#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <tuple>

#include "expect_failure.h"
#include "ole_date.h"
#include "sql_field_mutator.h"
#include "t_ftd.h"
#include "tk_exception.h"
#include "tk_unicode.h"
#include "udb_field.h"

namespace {

std::string utf8(std::u16string_view text) { return tk_unicode_to_utf8(text); }

const std::string conversion_failure = "Data conversion is not supported for given type mapping";

sql_field_mutator make_rule(const char16_t* type, uint32_t length = 0, uint32_t precision = 0, uint32_t scale = 0) {
  sql_field_mutator m(u"c");
  udb_field_mapping mapping;
  mapping.type = type;
  mapping.length = length;
  mapping.precision = precision;
  mapping.scale = scale;
  m.set_mapping(u"c2", mapping);
  return m;
}

TEST(sql_field_mutator_type, ColumnDescriptors) {
  const t_ftd number(8, u"c", VT_R8, false, false, ole_variant(), 0);
  const t_ftd text(255, u"c", VT_BSTR, false, false, ole_variant(), 0);
  const t_ftd date_time(8, u"c", VT_DATE, false, false, ole_variant(), 1);
  const struct {
    const char16_t* type;
    uint32_t length, precision, scale;
    t_ftd column;  // before
    VARTYPE vartype;
    uint32_t size;
    const char16_t* native_type;
    uint32_t out_precision, out_scale, reserved;
  } rows[] = {
      {u"INT", 0, 0, 0, text, VT_I4, 4, u"INT", 0, 0, 0},
      {u"BIT", 0, 0, 0, text, VT_I1, 1, u"BIT", 0, 0, 0},
      {u"TINYINT UNSIGNED", 0, 0, 0, text, VT_UI1, 1, u"TINYINT UNSIGNED", 0, 0, 0},
      {u"BIGINT UNSIGNED", 0, 0, 0, number, VT_UI8, 8, u"BIGINT UNSIGNED", 0, 0, 0},
      // Digits written in the type text reach the descriptor too.
      {u"DECIMAL(12,3)", 0, 0, 0, number, VT_DECIMAL, 8, u"DECIMAL(12,3)", 12, 3, 0},
      {u"DECIMAL(7)", 0, 0, 0, number, VT_DECIMAL, 8, u"DECIMAL(7)", 7, 0, 0},
      {u"DECIMAL(5,2) NOT NULL", 0, 0, 0, number, VT_DECIMAL, 8, u"DECIMAL(5,2) NOT NULL", 5, 2, 0},
      // Without digits: MySQL's own DECIMAL, never "DECIMAL(0,0)".
      {u"DECIMAL", 0, 0, 0, number, VT_DECIMAL, 8, u"DECIMAL", 0, 0, 0},
      {u"VARCHAR", 40, 0, 0, text, VT_BSTR, 40, u"VARCHAR(40)", 0, 0, 0},
      // Without a length the column keeps its size.
      {u"varchar", 0, 0, 0, text, VT_BSTR, 255, u"varchar(255)", 0, 0, 0},
      {u"VARCHAR(30)", 0, 0, 0, text, VT_BSTR, 30, u"VARCHAR(30)", 0, 0, 0},
      // Any other type takes text of the bytes it holds, not the column's size.
      {u"TEXT", 0, 0, 0, text, VT_BSTR, 65535, u"TEXT", 0, 0, 0},
      {u"BLOB", 0, 0, 0, number, VT_BSTR, 65535, u"BLOB", 0, 0, 0},
      {u"JSON", 0, 0, 0, number, VT_BSTR, UINT32_MAX, u"JSON", 0, 0, 0},
      {u"MEDIUMINT", 0, 0, 0, number, VT_I4, 4, u"MEDIUMINT", 0, 0, 0},
      // By the first word and UNSIGNED after it (BOOLEAN made a text column
      // of the variant's -1; words after the name made any type text).
      {u"BOOLEAN", 0, 0, 0, number, VT_I1, 1, u"BOOLEAN", 0, 0, 0},
      {u"INT(11) UNSIGNED NOT NULL", 0, 0, 0, number, VT_UI4, 4, u"INT(11) UNSIGNED NOT NULL", 0, 0, 0},
      {u"TIME(3) NOT NULL", 0, 0, 0, number, VT_DATE, 8, u"TIME(3) NOT NULL", 0, 0, 3},
      {u"YEAR(4)", 0, 0, 0, number, VT_UI2, 2, u"YEAR(4)", 0, 0, 0},
      // The reserved word follows the mapped type: DATE 2, TIME 3, a moment 1.
      {u"DATE", 0, 0, 0, date_time, VT_DATE, 8, u"DATE", 0, 0, 2},
      {u"time", 0, 0, 0, text, VT_DATE, 8, u"time", 0, 0, 3},
      {u"TIME(3)", 0, 0, 0, number, VT_DATE, 8, u"TIME(3)", 0, 0, 3},
      {u"DATETIME", 0, 0, 0, number, VT_DATE, 8, u"DATETIME", 0, 0, 1},
      {u"TIMESTAMP(6)", 0, 0, 0, date_time, VT_DATE, 8, u"TIMESTAMP(6)", 0, 0, 1},
      // No type: the column keeps its tag, size, reserved word and type text.
      {u"", 0, 0, 0, date_time, VT_DATE, 8, u"", 0, 0, 1},
      {u"", 12, 0, 0, text, VT_BSTR, 255, u"", 0, 0, 0},
  };
  for (const auto& x : rows) {
    SCOPED_TRACE(utf8(x.type) + " length " + std::to_string(x.length));
    sql_field_mutator m = make_rule(x.type, x.length, x.precision, x.scale);
    t_ftd column = x.column;
    m.modify1(column);
    EXPECT_EQ(std::tuple(column.name, column.vartype, column.size, column.native_type, column.precision, column.scale,
                         column.reserved),
              std::tuple(u"c2", x.vartype, x.size, x.native_type, x.out_precision, x.out_scale, x.reserved));
  }
}

TEST(sql_field_mutator_value, Conversions) {
  auto text = [](const char16_t* t) { return [t](udb_field& f) { f.set_text(t); }; };
  const struct {
    const char* name;
    const char16_t* type;
    std::function<void(udb_field&)> fill;
    std::optional<VARTYPE> vartype;  // empty: the conversion fails
    const char16_t* text;            // to_wstring() of the result
  } rows[] = {
      {"text to DECIMAL", u"DECIMAL", text(u"12.50"), VT_DECIMAL, u"12.5"},
      {"double to DECIMAL", u"DECIMAL", [](udb_field& f) { f.set_r8(-7.125); }, VT_DECIMAL, u"-7.125"},
      {"text to INT", u"INT", text(u" 42 "), VT_I4, u"42"},
      // Halves away from zero, as the server rounds (it was to even: 4).
      {"text with a fraction to INT", u"INT", text(u"4.5"), VT_I4, u"5"},
      {"words to INT", u"INT", text(u"x12"), std::nullopt, u""},
      // A number past the type keeps its value for the server to refuse
      // with its record (it wrapped around, or ended the run as text).
      {"text past INT", u"INT", text(u"2147483648"), VT_R8, u"2.1474836480000000e+09"},
      {"double past SMALLINT", u"SMALLINT", [](udb_field& f) { f.set_r8(32768); }, VT_R8, u"3.2768000000000000e+04"},
      {"text to BIGINT keeps every digit", u"BIGINT", text(u"9007199254740993"), VT_I8, u"9007199254740993"},
      // Half away from zero under BIGINT too (it was to even: 2 and -2).
      {"text with a fraction to BIGINT", u"BIGINT", text(u"2.5"), VT_I8, u"3"},
      {"double with a fraction to BIGINT", u"BIGINT", [](udb_field& f) { f.set_r8(-2.5); }, VT_I8, u"-3"},
      // True is 1 under any type (it was the variant's -1: 255 in a TINYINT
      // UNSIGNED, "-1" as text).
      {"true to BOOLEAN", u"BOOLEAN", [](udb_field& f) { f.set_bool(true); }, VT_I4, u"1"},
      {"true to VARCHAR", u"VARCHAR", [](udb_field& f) { f.set_bool(true); }, VT_BSTR, u"1"},
      // A type with words after its name is read by its name (a date text
      // under DATE NOT NULL stayed text).
      {"text to DATE NOT NULL", u"DATE NOT NULL", text(u"2024-01-05"), VT_DATE, u"2024-01-05"},
      {"double to INT", u"INT", [](udb_field& f) { f.set_r8(3.5); }, VT_I4, u"4"},
      {"blank text to INT is no value", u"INT", text(u""), VT_EMPTY, u""},
      {"empty stays empty", u"INT", [](udb_field& f) { f.clear(); }, VT_EMPTY, u""},
      {"null stays null", u"DATE", [](udb_field& f) { f.set_null(); }, VT_NULL, u""},
      {"number to VARCHAR", u"VARCHAR", [](udb_field& f) { f.set_i4(7); }, VT_BSTR, u"7"},
      {"blank text to VARCHAR stays text", u"VARCHAR", text(u""), VT_BSTR, u""},
      // As a date column holds it (it was 1/5/2024 10:30:00 AM).
      {"moment to VARCHAR", u"VARCHAR", [](udb_field& f) { f.set_date(ole_date::make(2024, 1, 5, 10, 30)); }, VT_BSTR,
       u"2024-01-05 10:30:00"},
      {"date to TEXT", u"TEXT",
       [](udb_field& f) { f.set_date(ole_date::make(2024, 1, 5, 0, 0, 0, 0, ole_date::kind_date)); }, VT_BSTR,
       u"2024-01-05"},
      {"text to DATE", u"DATE", text(u"2024-02-29"), VT_DATE, u"2024-02-29"},
      {"words to DATE", u"DATE", text(u"not a date"), std::nullopt, u""},
      // Year first only: "01/02/2024" was read as 1 February, "12/31/2024"
      // as 31 December, "5/1/24" as 0005-01-24; an hour of 25 wrapped.
      {"slashes, year first, to DATE", u"DATE", text(u"2024/1/5"), VT_DATE, u"2024-01-05"},
      {"day and month first to DATE", u"DATE", text(u"01/02/2024"), std::nullopt, u""},
      {"two-digit year to DATE", u"DATE", text(u"5/1/24"), std::nullopt, u""},
      {"hour 25 to DATETIME", u"DATETIME", text(u"2024-01-05 25:00:00"), std::nullopt, u""},
      {"no type keeps the value", u"", text(u"abc"), VT_BSTR, u"abc"},
  };
  for (const auto& x : rows) {
    SCOPED_TRACE(x.name);
    sql_field_mutator m = make_rule(x.type, 0, 10, 2);
    udb_field source;
    source.set_name(u"c");
    source.set_declared_size(33);
    x.fill(source);
    udb_field out;
    out.set_text(u"left from an earlier row");
    if (!x.vartype) {
      testsupport::expect_failure([&] { m.modify2(source, out); }, 1, 0, conversion_failure);
      continue;
    }
    m.modify2(source, out);
    // The size is the type's length where it has one, else the source's.
    EXPECT_EQ(std::tuple(out.name(), out.get_type(), out.to_wstring(), out.declared_size()),
              std::tuple(u"c2", *x.vartype, x.text, m.length() ? m.length() : 33u));
  }
}

}  // namespace
