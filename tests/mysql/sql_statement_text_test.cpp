// Statement texts the destination builds without a server: CREATE TABLE
// (column and key definitions, the row-size rule), the database statements,
// and the branches for old servers, which a current server cannot reach:
// the dialect's version is chosen by hand.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql_dialect.h"
#include "sql_engine.h"
#include "sql_indexes_initializer.h"
#include "sql_load_format.h"
#include "sql_schema.h"
#include "sql_schema_initializer.h"
#include "test_support.h"
#include "tk_mail_assertion.h"
#include "tk_unicode.h"
#include "udb_recordset.h"

namespace {

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
      std::u16string name = u"c";
      name += tk_utf8_to_unicode(std::to_string(i));
      schema.push_back(column(name.c_str(), VT_I4, 4));
      std::u16string index_name = u"ix";
      index_name += name;
      indexes.push_back(index(index_name.c_str(), false, false, {name}));
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

}  // namespace

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
