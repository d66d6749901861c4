#include "sql_dialect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql_destination.h"
#include "sql_engine.h"
#include "sql_field.h"
#include "sql_field_upsizer.h"
#include "sql_indexes_initializer.h"
#include "sql_load_format.h"
#include "sql_schema.h"
#include "sql_schema_initializer.h"
#include "t_ftd.h"
#include "test_support.h"
#include "tk_exception_ex.h"
#include "tk_mail_assertion.h"
#include "tk_unicode.h"
#include "udb_field.h"
#include "udb_record.h"
#include "udb_recordset.h"

namespace {

std::u16string w(const std::string& utf8) { return tk_utf8_to_unicode(utf8); }
std::string u8(const std::u16string& text) { return tk_unicode_to_utf8(text); }

t_ftd column(VARTYPE vt, uint32_t size = 0, uint32_t reserved = 0, const ole_variant& def = ole_variant(),
             bool not_null = false) {
  return t_ftd(size, u"c", vt, not_null, false, def, reserved);
}

const sql_dialect live(sql_dialect::version_5_6_4, sql_dialect::target::live);
const sql_dialect dump(sql_dialect::dump_version_new, sql_dialect::target::dump);
const sql_dialect old_dump(sql_dialect::dump_version_old, sql_dialect::target::dump);

TEST(sql_dialect_types, TypeTextAtEachThreshold) {
  const struct {
    VARTYPE vt;
    uint32_t size, reserved;
    const char16_t* def;
    std::string full;
  } table[] = {
      {VT_BSTR, 21845, 0, u"", "VARCHAR(21845)"},
      {VT_BSTR, 21846, 0, u"", "MEDIUMTEXT"},
      {VT_BSTR, 5592405, 0, u"", "MEDIUMTEXT"},
      {VT_BSTR, 5592406, 0, u"", "LONGTEXT"},
      {VT_BSTR, 10, 16, u"", "CHAR(10)"},
      {VT_BSTR, 10, 8, u"", "geometry"},
      {VT_ARRAY_UI1, 255, 0, u"", "VARBINARY(255)"},
      {VT_ARRAY_UI1, 256, 0, u"", "BLOB"},
      {VT_BLOB, 65535, 0, u"", "BLOB"},
      {VT_BLOB, 65536, 0, u"", "MEDIUMBLOB"},
      {VT_BLOB, 16777215, 0, u"", "MEDIUMBLOB"},
      {VT_BLOB, 16777216, 0, u"", "LONGBLOB"},
      {VT_BLOB, 0, 0, u"", "LONGBLOB"},
      {VT_DATE, 8, 0, u"", "CHAR(19)"},
      {VT_DATE, 8, 5, u"", "DATETIME"},
      {VT_DATE, 8, 9, u"", "TIMESTAMP"},
      {VT_DATE, 8, 10, u"", "DATE"},
      {VT_DATE, 8, 0, u"now()", "TIMESTAMP"},
      {VT_DATE, 8, 1, u"Date()", "DATE"},
      {VT_UI8, 8, 0, u"", "BIGINT UNSIGNED"},
  };
  for (const auto& r : table) {
    SCOPED_TRACE(r.full + " / size " + std::to_string(r.size));
    t_ftd f = column(r.vt, r.size, r.reserved, ole_variant(r.def));
    EXPECT_EQ(u8(live.column_type(f, false)), r.full);
  }
  t_ftd dec = column(VT_DECIMAL);
  dec.precision = 10;
  dec.scale = 2;
  EXPECT_EQ(live.column_type(dec, false), u"DECIMAL(10,2)");
  dec.precision = 0;
  EXPECT_EQ(live.column_type(dec, false), u"DOUBLE");
  for (VARTYPE bad : {VT_EMPTY, VT_STREAM, VARTYPE(8200)}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(live.column_type(column(bad), false), tk_mail_assertion);
  }
}

TEST(sql_dialect_defaults, DefaultTextByColumnKind) {
  const struct {
    VARTYPE vt;
    uint32_t reserved;
    ole_variant def;
    std::string expected;
  } table[] = {
      {VT_BSTR, 0, ole_variant(u"to_char(sysdate,'yyyy-mm-dd hh24:mi:ss')"), ""},
      {VT_DATE, 9, ole_variant(), "CURRENT_TIMESTAMP"},
      {VT_DATE, 10, ole_variant(), "CURRENT_DATE()"},
      {VT_DATE, 11, ole_variant(), "CURRENT_TIME()"},
      {VT_BSTR, 0, ole_variant(u"O'Brien\\x"), "'O\\'Brien\\\\x'"},
      {VT_BSTR, 0, ole_variant(u"newid()"), "'newid()'"},
      {VT_BSTR, 0, ole_variant(u""), ""},
      {VT_I4, 0, ole_variant(u"-7"), "-7"},
      {VT_I4, 0, ole_variant(int32_t(-7)), "-7"},
      {VT_I4, 0, ole_variant(u"007"), ""},
      {VT_I2, 0, ole_variant(u"+7"), ""},
      {VT_UI4, 0, ole_variant(u"2147483647"), "2147483647"},
      {VT_UI4, 0, ole_variant(u"2147483648"), "2147483648"},
      {VT_UI4, 0, ole_variant(u"4294967296"), ""},
      {VT_I8, 0, ole_variant(u"-9223372036854775808"), "-9223372036854775808"},
      {VT_I8, 0, ole_variant(u"9223372036854775808"), ""},
      {VT_UI8, 0, ole_variant(u"18446744073709551615"), "18446744073709551615"},
      {VT_UI8, 0, ole_variant(u"-1"), ""},
      {VT_R4, 0, ole_variant(u"-1.5e3"), "-1.5e3"},
      {VT_DECIMAL, 0, ole_variant(u"1,5"), ""},
      {VT_R8, 0, ole_variant(u"12abc"), ""},
      {VT_DATE, 0, ole_variant(u"now()"), "CURRENT_TIMESTAMP"},
      {VT_DATE, 1, ole_variant(u"2001-02-03 04:05:06"), "\"2001-02-03 04:05:06\""},
      {VT_DATE, 2, ole_variant(u"2001-02-03 04:05:06"), "\"2001-02-03\""},
      {VT_DATE, 3, ole_variant(u"04:05:06"), "\"04:05:06\""},
      // A duration keeps its hours (as a moment 838:59:59 was 22:59:59).
      {VT_DATE, 3, ole_variant(u"838:59:59"), "\"838:59:59\""},
      {VT_DATE, 3, ole_variant(u"-01:30:00"), "\"-01:30:00\""},
      {VT_DATE, 1, ole_variant(u"no date"), ""},
      {VT_ARRAY_UI1, 0, ole_variant(u"0x00"), ""},
  };
  for (const auto& r : table) {
    SCOPED_TRACE(u8(r.def.to_wstring()) + " as " + std::to_string(r.vt));
    EXPECT_EQ(u8(live.default_value(column(r.vt, 8, r.reserved, r.def))), r.expected);
  }
}

// Literals of a value given as text and tag, in both styles, through the
// wide and the appending forms.
TEST(sql_dialect_literals, TextAndTag) {
  const std::string guid = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
  const std::string mention = "this text mentions a guid but goes on without one";
  const struct {
    std::string text;  // UTF-8
    VARTYPE vt;
    std::string live, dump = "";  // the dump literal when it differs
  } table[] = {
      {"O'Brien\\x", VT_BSTR, "'O\\'Brien\\\\x'"},
      {std::string("a\nb\r\0c\x1A\t\"`", 10), VT_BSTR, std::string("'a\nb\r\0c\x1A\t\"`'", 12),
       "'a\\nb\\r\\0c\\Z\t\"`'"},
      {"Z\xC3\xBCrich \xF0\x9F\x98\x80", VT_BSTR, "'Z\xC3\xBCrich \xF0\x9F\x98\x80'"},
      {"", VT_BSTR, "''"},
      {"", VT_I4, "''"},
      {"x", VT_EMPTY, "NULL"},
      {"12", VT_I4, "12"},
      {"1); DROP TABLE t; --", VT_I8, "'1); DROP TABLE t; --'"},
      {"2001-02-03 04:05:06", VT_DATE, "'2001-02-03 04:05:06'"},
      {"no 'date'", VT_DATE, "'no \\'date\\''"},
      {"0x00FF", VT_ARRAY_UI1, "0x00FF"},
      {"1", VT_ARRAY_UI1, "'1'"},
      {"x'y", VT_BLOB, "'x\\'y'"},
      {"{" + guid + "}", VT_BSTR, "'" + guid + "'"},
      // Only a GUID of the 8-4-4-4-12 shape in braces loses them.
      {"{" + std::string(36, '-') + "}", VT_BSTR, "'{" + std::string(36, '-') + "}'"},
      {"(" + guid + ")", VT_BSTR, "'(" + guid + ")'"},
      // A text that only mentions a GUID is kept whole.
      {"id guid{" + guid + "} and more", VT_BSTR, "'id guid{" + guid + "} and more'"},
      {mention + "'", VT_BSTR, "'" + mention + "\\''"},
  };
  for (const auto& r : table) {
    SCOPED_TRACE(r.text + " as " + std::to_string(r.vt));
    const std::u16string wide = w(r.text);
    EXPECT_EQ(live.literal(wide, r.vt), r.live);
    const std::string in_dump = r.dump.empty() ? r.live : r.dump;
    std::string out = "x=";
    dump.append_literal(out, wide, r.vt);
    EXPECT_EQ(out, "x=" + in_dump);
    out = "x=";
    dump.append_literal(out, std::string_view(r.text), r.vt);
    EXPECT_EQ(out, "x=" + in_dump) << "narrow text";
    if (r.vt != VT_BSTR) continue;
    // The same text read as UTF-8 into a row for a text column.
    const t_ftd text_column = column(VT_BSTR, 0);
    const sql_cell_slot slot[] = {{&text_column, 0}};
    udb_record row;
    udb_field& cell = row.add(u"c");
    cell.utf8_for_write() = r.text;
    cell.set_utf8_units(wide.size());
    out.clear();
    dump.append_row(out, row, slot, true, false);
    EXPECT_EQ(out, "(" + in_dump + ")") << "row";
  }
  // A lone surrogate cannot go to the server as UTF-8.
  EXPECT_EQ(live.literal(std::u16string(1, char16_t(0xD800)) + u"a", VT_BSTR),
            "'\xEF\xBF\xBD"
            "a'");
}

// Text is escaped in blocks, eight units of UTF-16 or sixteen bytes of
// UTF-8 (the last few from a padded copy, or read past within their page):
// a character to escape or to encode at any place of a text of any length
// gives the same literal in both widths, and in a row of UTF-8 cells (which
// is written in one pass).
TEST(sql_dialect_literals, WideTextEscapesLikeItsUtf8AtEveryPlace) {
  const t_ftd text_column = column(VT_BSTR, 0);
  const sql_cell_slot slots[] = {{&text_column, 0}, {&text_column, 1}};
  const std::string odd[] = {"'",        "\\",           std::string(1, '\0'), "\n",      "\r", "\x1A",
                             "\xC3\xBC", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",   "\xC3\xBF"};
  for (size_t length = 1; length <= 19; ++length) {
    for (size_t at = 0; at < length; ++at) {
      for (const std::string& c : odd) {
        std::string text(at, 'a');
        text += c;
        text.append(length - at - 1, 'z');
        text += text;  // a second one further on
        SCOPED_TRACE(std::to_string(length) + " at " + std::to_string(at) + ": " + text);
        for (const sql_dialect* d : {&live, &dump}) {
          std::string wide_out, narrow_out;
          d->append_literal(wide_out, std::u16string_view(w(text)), VT_BSTR);
          d->append_literal(narrow_out, std::string_view(text), VT_BSTR);
          EXPECT_EQ(wide_out, narrow_out);
          udb_record row;
          for (const char* name : {"a", "b"}) {
            udb_field& cell = row.add(w(name));
            cell.utf8_for_write() = text;
            cell.set_utf8_units(w(text).size());
          }
          std::string row_out = "x";
          d->append_row(row_out, row, slots, false, false);
          EXPECT_EQ(row_out, "x, (" + narrow_out + ", " + narrow_out + ")");
        }
      }
    }
  }
}

ole_variant bytes(std::vector<uint8_t> b) { return ole_variant(std::move(b)); }

// One cell rendered for a data statement.
TEST(sql_dialect_literals, CellLiterals) {
  ole_variant null;
  null.set_null();
  ole_variant date(ole_date::make(2001, 2, 3, 4, 5, 6));
  ole_variant time(ole_date::make(0, 0, 0, 4, 5, 6, 0, ole_date::kind_time));
  ole_variant pure_date(ole_date::make(2001, 2, 3, 0, 0, 0, 0, ole_date::kind_date));
  ole_variant cy;
  cy.set_cy(125000);
  const struct {
    const char* name;
    ole_variant cell;
    VARTYPE col;
    uint32_t reserved;
    bool not_null;
    std::string live, dump = "";  // the dump literal when it differs
  } table[] = {
      {"number in text column", ole_variant(int32_t(12)), VT_BSTR, 0, false, "12"},
      {"text in text column", ole_variant(u"12"), VT_BSTR, 0, false, "'12'"},
      {"text in integer column", ole_variant(u"12"), VT_I4, 0, false, "12"},
      {"words in integer column", ole_variant(u"n/a"), VT_I4, 0, false, "'n/a'"},
      {"empty text, nullable number", ole_variant(u""), VT_I4, 0, false, "NULL"},
      {"empty text, NOT NULL number", ole_variant(u""), VT_I4, 0, true, "''"},
      {"two double quotes", ole_variant(u"\"\""), VT_I4, 0, false, "NULL"},
      {"empty cell, nullable number", ole_variant(), VT_I4, 0, false, "NULL"},
      {"empty cell, NOT NULL number", ole_variant(), VT_I4, 0, true, "''"},
      {"null cell, NOT NULL date", null, VT_DATE, 0, true, "NULL"},
      {"zero, NOT NULL number", ole_variant(int32_t(0)), VT_I4, 0, true, "0"},
      {"empty cell, text column", ole_variant(), VT_BSTR, 0, true, "NULL"},
      {"empty text, text column", ole_variant(u""), VT_BSTR, 0, false, "''"},
      {"date cell", date, VT_DATE, 1, false, "'2001-02-03 04:05:06'"},
      {"time in text column", time, VT_BSTR, 0, false, "'04:05:06'"},
      {"pure date in date column", pure_date, VT_DATE, 2, false, "'2001-02-03'"},
      // Doubles in their shortest form: a whole one reads as an integer.
      {"double in text column", ole_variant(1.5), VT_BSTR, 0, false, "1.5"},
      {"whole double in integer column", ole_variant(4400123456789.0), VT_I8, 0, false, "4400123456789"},
      {"round whole double", ole_variant(100000.0), VT_I4, 0, false, "100000"},
      {"round whole negative double", ole_variant(-3e20), VT_R8, 0, false, "-300000000000000000000"},
      {"huge double", ole_variant(1e21), VT_R8, 0, false, "1e+21"},
      {"small double", ole_variant(0.00001), VT_R8, 0, false, "1e-05"},
      {"double of 17 digits", ole_variant(0.1 + 0.2), VT_R8, 0, false, "0.30000000000000004"},
      {"currency in text column", cy, VT_BSTR, 0, false, "12.5"},
      {"text in date column", ole_variant(u"a\nb"), VT_DATE, 1, false, "'a\nb'", "'a\\nb'"},
      {"empty text in date column", ole_variant(u""), VT_DATE, 1, false, "NULL"},
      {"bytes", bytes({0x00, 0xFF}), VT_BLOB, 0, false, "0x00FF"},
      {"no bytes", bytes({}), VT_ARRAY_UI1, 0, true, "NULL"},
      {"bytes in text column", bytes({0xAB}), VT_BSTR, 0, false, "0xAB"},
      {"geometry", ole_variant(u"POINT(1 2)"), VT_BSTR, 2, false, "ST_GeomFromText('POINT(1 2)')"},
      {"geometry with a quote", ole_variant(u"x')"), VT_BSTR, 8, false, "ST_GeomFromText('x\\')')"},
  };
  for (const auto& r : table) {
    SCOPED_TRACE(r.name);
    udb_field cell(u"f", 10, r.cell);
    t_ftd col = column(r.col, 10, r.reserved, ole_variant(), r.not_null);
    std::string out;
    live.append_cell(out, cell, col, false);
    EXPECT_EQ(out, r.live);
    out = "(1, ";
    dump.append_cell(out, cell, col, true);
    EXPECT_EQ(out, "(1, " + (r.dump.empty() ? r.live : r.dump));
  }
}

TEST(sql_dialect_literals, PlaceholdersAboveOneMebibyte) {
  t_ftd text_col = column(VT_BSTR, 0);
  t_ftd blob_col = column(VT_BLOB, 0);
  const struct {
    const char* name;
    udb_field cell;
    const t_ftd* col;
    bool placeholder;
  } table[] = {
      {"text at the limit", udb_field(u"f", 0, ole_variant(std::u16string(1048576, u'a'))), &text_col, false},
      {"text past the limit", udb_field(u"f", 0, ole_variant(std::u16string(1048577, u'a'))), &text_col, true},
      {"bytes past the limit", udb_field(u"f", 0, bytes(std::vector<uint8_t>(1048577, 7))), &blob_col, true},
      {"empty cell of a large declared size", udb_field(u"f", 5000000, ole_variant()), &text_col, false},
  };
  for (const auto& r : table) {
    SCOPED_TRACE(r.name);
    std::string with, without;
    live.append_cell(with, r.cell, *r.col, true);
    live.append_cell(without, r.cell, *r.col, false);
    EXPECT_EQ(with == "?", r.placeholder);
    // Without placeholders the value is always inlined.
    EXPECT_NE(without, "?");
  }
}

// Answers of definition statements: text, or the bytes of a binary column
// (BLOB columns read as text when asked).
TEST(sql_field_cells, ValuesOfRawCells) {
  const struct {
    int type;
    unsigned flags;
    std::string data;
    bool blob_to_text;
    ole_variant expected;
  } table[] = {
      {3, 0, "42", false, ole_variant(u"42")},
      {253, 0, "Z\xC3\xBCrich", false, ole_variant(u"Z\u00fcrich")},
      {253, 128, std::string("\x00\xFF", 2), false, bytes({0x00, 0xFF})},
      {252, 128, std::string("\x00\xFF", 2), false, bytes({0x00, 0xFF})},
      {252, 0, "abc", false, ole_variant(u"abc")},
      {252, 128, "abc", true, ole_variant(u"abc")},
  };
  for (const auto& r : table) {
    ole_variant v(int32_t(7));
    sql_field::read_cell(v, r.type, r.data.size(), r.flags, r.data.data(), r.blob_to_text);
    EXPECT_EQ(v, r.expected) << r.type << " " << r.flags;
  }
  ole_variant v(int32_t(1));
  sql_field::read_cell(v, 3, 0, 0, nullptr, false);
  EXPECT_TRUE(v.is_null());
  EXPECT_THROW(sql_field::read_cell(v, 253, 2, 0, "\xFF\xFE", false), tk_exception_ex);
}

// A destination that keeps the statements it is asked to run.
class recording_destination : public sql_destination {
 public:
  explicit recording_destination(const sql_dialect& dialect) : sql_destination(u"db", 0, dialect, {}) {}
  std::vector<std::string> statements;
  bool live() const override { return false; }
  void execute(std::string_view sql) override { statements.emplace_back(sql); }
};

// A value is measured in the bytes of the run's character set, and a
// column starts from the type it has: 65,536 bytes need a MEDIUMTEXT. A
// column is widened once, named as the server version quotes names.
TEST(sql_field_upsizer, AlterStatementByCharacterSetTypeAndServerVersion) {
  std::u16string emoji;  // 16,384 characters, 65,536 bytes of UTF-8
  for (int i = 0; i < 16384; ++i) emoji += u"\U0001F600";
  const std::u16string ascii(32768, u'x'), accents(16384, u'\u00E9'), wide(300, u'x');
  const std::string alter = "ALTER TABLE `T 1` CHANGE `c` `c` ";
  const struct {
    const sql_dialect* dialect;
    const char16_t* column;
    const char16_t* char_set;
    const char16_t* type;  // the column's type as the server gives it
    std::u16string value;
    std::string sql;  // the statement, or nothing
  } rows[] = {
      {&live, u"notes", u"utf8", u"", wide, "ALTER TABLE `T 1` CHANGE `notes` `notes` TEXT"},
      {&old_dump, u"notes", u"utf8", u"", wide, "ALTER TABLE T 1 CHANGE notes notes TEXT"},
      {&live, u"my`notes", u"utf8", u"", wide, "ALTER TABLE `T 1` CHANGE `my``notes` `my``notes` TEXT"},
      {&live, u"order", u"utf8", u"", wide, "ALTER TABLE `T 1` CHANGE `order` `order` TEXT"},
      {&live, u"c", u"utf8mb4", u"", emoji, alter + "MEDIUMTEXT"},
      {&live, u"c", u"", u"", emoji, alter + "MEDIUMTEXT"},
      {&live, u"c", u"UTF16", u"", ascii, alter + "MEDIUMTEXT"},
      {&live, u"c", u"utf32", u"", ascii.substr(0, 16384), alter + "MEDIUMTEXT"},
      {&live, u"c", u"latin1", u"", accents, alter + "MEDIUMTEXT"},  // 4 bytes a character at most
      {&live, u"c", u"utf8", u"text", ascii + ascii, alter + "MEDIUMTEXT"},
      {&live, u"c", u"utf8", u"mediumtext", ascii + ascii, ""},
      {&live, u"c", u"utf8", u"int(11)", ascii, ""},
      {&live, u"c", u"utf8", u"varchar(50)", u"x" + std::u16string(255, u'y'), alter + "TEXT"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.sql + " / " + tk_unicode_to_utf8(std::u16string(r.char_set) + u" " + r.type));
    recording_destination db(*r.dialect);
    udb_recordset table(&db, u"T 1", u"T 1");
    table.schema().push_back(t_ftd(255, u"id", VT_BSTR, false, false, ole_variant(), 0));
    t_ftd column(255, r.column, VT_BSTR, false, false, ole_variant(), 0);
    column.native_type = r.type;
    table.schema().push_back(column);
    sql_field_upsizer upsizer(db, table, r.char_set);
    udb_record record;
    record.push_back(udb_field(u"id", 0, ole_variant(u"1")));
    record.push_back(udb_field(r.column, 0, ole_variant(std::u16string_view(r.value))));
    upsizer.process(record);
    upsizer.process(record);
    EXPECT_EQ(db.statements, r.sql.empty() ? std::vector<std::string>{} : std::vector<std::string>{r.sql});
  }
}

// Engine and character-set names reach a statement only as plain words.
// (Quoted names, comment lines and the session's sql_mode are checked end to
// end with hostile names and values, in tests/agent, and by the name fuzz
// target.)
TEST(sql_dialect_text, PlainWords) {
  for (const char16_t* word : {u"InnoDB", u"utf8mb4", u"latin1_swedish_ci"})
    EXPECT_TRUE(sql_dialect::is_plain_word(word));
  for (const char16_t* word : {u"", u"InnoDB; DROP DATABASE x", u"utf8 ", u"a-b", u"\u00e9"})
    EXPECT_FALSE(sql_dialect::is_plain_word(word));
}

// Statement texts the destination builds without a server: CREATE TABLE
// (column and key definitions, the row-size rule), the database statements,
// and the branches for old servers, which a current server cannot reach:
// the dialect's version is chosen by hand.
constexpr uint32_t v10_11 = 0x0A0B06;
constexpr uint32_t v4_0_0 = 0x040000;
constexpr uint32_t v3_23_1 = 3 * 65536 + 23 * 256 + 1;
constexpr uint32_t v3_23_30 = 3 * 65536 + 23 * 256 + 30;

t_ftd column(const char16_t* name, VARTYPE vt, uint32_t size, bool not_null = false, bool auto_inc = false,
             const ole_variant& def = ole_variant(), uint32_t reserved = 0) {
  return t_ftd(size, name, vt, not_null, auto_inc, def, reserved);
}

udb_index index(const char16_t* name, bool unique, bool primary, std::vector<std::u16string> fields) {
  udb_index i(name, unique, primary);
  i.fields = std::move(fields);
  return i;
}

// The whole CREATE TABLE text as create_table sends it.
std::string create_table_text(const char16_t* table, const udb_schema& schema, const udb_indexes& indexes,
                              uint32_t version) {
  const sql_dialect dialect(version, sql_dialect::target::live);
  sql_schema_initializer columns(schema, indexes, dialect);
  const std::vector<std::string>& definitions = columns.get_init_chunks();
  sql_indexes_initializer keys(indexes, dialect);
  return dialect.create_table(table, definitions, keys.get_init_chunks(columns), u"", u"", u"InnoDB", {});
}

struct create_case {
  const char* what;
  uint32_t version;
  std::vector<t_ftd> columns;
  std::vector<udb_index> indexes;
};

TEST(sql_create_table_text, GoldenStatements) {
  ole_variant bob(u"Bob");
  t_ftd commented = column(u"Note", VT_BSTR, 30000);
  commented.description = u"it's a \\ here";
  const std::vector<create_case> cases = {
      {"columns, default, comment, primary key",
       v10_11,
       {column(u"ID", VT_I4, 4, false, true), column(u"Name", VT_BSTR, 50, true, false, bob),
        column(u"Price", VT_CY, 8), column(u"Born", VT_DATE, 8, false, false, ole_variant(), 2),
        column(u"Photo", VT_ARRAY_UI1, 0), commented},
       {index(u"PrimaryKey", true, true, {u"ID"})}},
      {"an auto-increment column that no key covers gets an index",
       v10_11,
       {column(u"Counter", VT_I4, 4, false, true), column(u"Label", VT_BSTR, 10)},
       {}},
      {"keys the server cannot build are skipped",
       v10_11,
       {column(u"a", VT_BSTR, 800), column(u"b", VT_BSTR, 800), column(u"c", VT_BSTR, 700), column(u"d", VT_BSTR, 700),
        column(u"e", VT_BSTR, 600), column(u"f", VT_BSTR, 600), column(u"g", VT_BSTR, 600), column(u"h", VT_I4, 4),
        column(u"p", VT_ARRAY_UI1, 100)},
       {index(u"empty", false, false, {}), index(u"lob", false, false, {u"a", u"b"}),
        index(u"Two Cols", false, false, {u"c", u"d"}), index(u"big", false, false, {u"e", u"f", u"g"}),
        index(u"missing", false, false, {u"zz"}), index(u"bin", false, false, {u"p"}),
        index(u"u_h", true, false, {u"h"})}},
      {"a key on a column the row-size rule made LONGTEXT is skipped",
       v10_11,
       {column(u"k", VT_BSTR, 16384)},
       {index(u"ik", false, false, {u"k"})}},
      {"server before 4.0.23: TYPE=, bare names",
       v4_0_0,
       {column(u"id", VT_I4, 4), column(u"name", VT_BSTR, 20)},
       {index(u"ix", false, false, {u"name"})}},
      {"server before 3.23.35 knows only MyISAM", v3_23_30, {column(u"id", VT_I4, 4)}, {}},
      {"server before 3.23.2: NOT NULL on every indexed column",
       v3_23_1,
       {column(u"id", VT_I4, 4), column(u"other", VT_I4, 4)},
       {index(u"ix", false, false, {u"id"})}},
  };
  std::string text;
  for (const create_case& c : cases) {
    udb_schema schema;
    for (const t_ftd& f : c.columns) schema.push_back(f);
    udb_indexes indexes;
    for (const udb_index& i : c.indexes) indexes.push_back(i);
    text += std::string("-- ") + c.what + "\n" + create_table_text(u"people", schema, indexes, c.version) + "\n";
  }
  testsupport::expect_golden("sql/create_table.txt", text);
}

TEST(sql_create_table_text, KeyCountLimitAndGeneratedNames) {
  for (const auto& [version, limit] : {std::pair{v10_11, size_t{63}}, std::pair{v4_0_0, size_t{15}}}) {
    SCOPED_TRACE(version);
    udb_schema schema;
    udb_indexes indexes;
    for (int i = 0; i < 70; ++i) {
      const std::u16string name = w(std::string("c").append(std::to_string(i)));
      schema.push_back(column(name.c_str(), VT_I4, 4));
      indexes.push_back(index((u"ix" + name).c_str(), false, false, {name}));
    }
    const sql_dialect dialect(version, sql_dialect::target::live);
    sql_schema_initializer columns(schema, indexes, dialect);
    columns.get_init_chunks();
    sql_indexes_initializer keys(indexes, dialect);
    EXPECT_EQ(keys.get_init_chunks(columns).size(), limit);
  }

  // Names the validator had to change are the table's entry of the names map.
  udb_schema schema;
  schema.push_back(column(u"Total Sum", VT_I4, 4));
  schema.push_back(column(u"plain", VT_I4, 4));
  schema.push_back(column(u"PLAIN", VT_I4, 4));
  const sql_dialect dialect(v10_11, sql_dialect::target::live);
  sql_schema_initializer columns(schema, udb_indexes(), dialect);
  const udb_names_map::name_pairs expected = {{u"total sum", u"Total Sum"}, {u"plain00000", u"PLAIN"}};
  EXPECT_EQ(columns.generated_names(), expected);
  EXPECT_EQ(columns.column_name(u"PLAIN"), u"plain00000");
}

TEST(sql_schema_row_size, LargestShortTextColumnsBecomeLongtext) {
  const struct {
    const char* what;
    std::vector<std::pair<VARTYPE, uint32_t>> columns;
    uint32_t total;
    std::vector<uint32_t> sizes_after;
  } rows[] = {
      {"four 5000s: the fourth converts",
       {{VT_BSTR, 5000}, {VT_BSTR, 5000}, {VT_BSTR, 5000}, {VT_BSTR, 5000}},
       60000,
       {5000, 5000, 5000, 0}},
      {"16384 reaches 65536 and converts", {{VT_BSTR, 16384}}, 0, {0}},
      {"16383 stays", {{VT_BSTR, 16383}}, 65532, {16383}},
      {"21845 is not a candidate and counts once", {{VT_BSTR, 21845}}, 21845, {21845}},
      {"largest first", {{VT_BSTR, 3000}, {VT_BSTR, 9000}, {VT_BSTR, 6000}}, 36000, {3000, 0, 6000}},
      {"integers never transform", {{VT_I4, 4}, {VT_I8, 8}, {VT_R8, 8}}, 20, {4, 8, 8}},
      {"long text and huge columns add nothing",
       {{VT_BSTR, 0}, {VT_ARRAY_UI1, 5592405}, {VT_BSTR, 10}},
       40,
       {0, 5592405, 10}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    sql_schema schema;
    for (const auto& [vt, size] : r.columns) schema.push_back(column(u"c", vt, size));
    EXPECT_EQ(schema.total_size(), r.total);
    std::vector<uint32_t> sizes;
    for (const auto& f : schema.fields) sizes.push_back(f->size);
    EXPECT_EQ(sizes, r.sizes_after);
  }
}

TEST(sql_engine_text, VersionParsing) {
  EXPECT_EQ(sql_engine::parse_version("8.0.36-log"), 524324u);
  EXPECT_EQ(sql_engine::parse_version("10.11.6-MariaDB-0+deb12u1"), 0x0A0B06u);
  EXPECT_EQ(sql_engine::parse_version("4.1.0"), sql_dialect::version_4_1_0);
  EXPECT_THROW(sql_engine::parse_version("5.5"), tk_mail_assertion);
  EXPECT_THROW(sql_engine::parse_version("MariaDB"), tk_mail_assertion);
}

// The rows of an INSERT as LOAD DATA text: each literal carried as the
// server would store it, or the rows refused (empty expected text) where
// storing the literal's text could give another value.
TEST(sql_load_text, LiteralsByColumnKind) {
  const struct {
    const char16_t* type;
    const char* literal;
    const char* field;  // nullptr: not carried
  } cases[] = {
      {u"varchar(255)", "'tab\\there\\Z'", "tab\\there\x1A"},  // escapes read as the server reads them
      {u"varchar(255)", "'a\tb\nc\\\\d\\'e'", "a\\tb\\nc\\\\d'e"},
      {u"text", "''", ""},
      // Long enough for the scan's sixteen-byte steps, stops past the first.
      {u"text", "'0123456789abcdefghij\tklmnopqrstuvwxyz0123\\'456789ABCDEFGH\\\\IJ\nK'",
       "0123456789abcdefghij\\tklmnopqrstuvwxyz0123'456789ABCDEFGH\\\\IJ\\nK"},
      {u"varchar(10)", "NULL", "\\N"},
      {u"varchar(10)", "'NULL'", "NULL"},
      {u"varchar(10)", "'\\\\N'", "\\\\N"},
      {u"int(11)", "-42", "-42"},
      {u"int(11)", "1.5", nullptr},  // rounded as a number, cut as a text
      {u"bigint(20) unsigned", "1e3", nullptr},
      {u"decimal(19,4)", "12.3456", "12.3456"},
      {u"decimal(19,4)", "12.34567", nullptr},
      {u"decimal(10,0)", "1E2", nullptr},
      {u"double", "1.5E+300", "1.5E+300"},
      {u"float", "-0.1", "-0.1"},
      {u"varchar(20)", "-0.50", "-0.50"},  // printed as written
      {u"varchar(20)", "007", nullptr},    // printed as 7
      {u"varchar(20)", "1E+20", nullptr},
      {u"varchar(20)", "-0", nullptr},
      {u"varchar(20)", "+5", nullptr},
      {u"varbinary(4)", "0x00FF5C09", "\\0\xFF\\\\\\t"},
      {u"text", "0x41", nullptr},  // bytes of a hex literal are not converted from the session's set
      {u"date", "'2024-02-29'", "2024-02-29"},
      {u"datetime", "20240229", nullptr},
      {u"bit(1)", "'a'", nullptr},
      {u"varchar(20)", "ST_GeomFromText('POINT(1 1)')", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.literal) + " into " + tk_unicode_to_utf8(c.type));
    t_ftd column(10, u"c", VT_BSTR, false, false, ole_variant(), 0);
    column.native_type = c.type;
    const sql_cell_slot slot{&column, 0};
    const sql_load_format format({&slot, 1});
    // Two rows, to see the separators.
    const std::string rows = std::string("(") + c.literal + "), (" + c.literal + ")";
    std::string out;
    const bool carried = format.append(out, rows);
    if (!c.field) {
      EXPECT_FALSE(carried);
      continue;
    }
    ASSERT_TRUE(carried);
    EXPECT_EQ(out, std::string(c.field) + "\n" + c.field + "\n");
  }
  // Several columns: fields separated by tabs.
  t_ftd a(10, u"a", VT_I4, false, false, ole_variant(), 0), b = a;
  a.native_type = u"int(11)";
  b.native_type = u"varchar(10)";
  const sql_cell_slot slots[] = {{&a, 0}, {&b, 1}};
  std::string out;
  EXPECT_TRUE(sql_load_format(slots).append(out, "(1, 'x'), (NULL, '')"));
  EXPECT_EQ(out, "1\tx\n\\N\t\n");
}

}  // namespace
