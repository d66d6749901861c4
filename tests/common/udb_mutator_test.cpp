#include <gtest/gtest.h>

#include <sstream>
#include <tuple>
#include <utility>

#include "t_ftd.h"
#include "tk_unicode.h"
#include "udb_db_mutator.h"
#include "udb_indexes.h"
#include "udb_record.h"
#include "udb_schema.h"

namespace {

std::string utf8(std::u16string_view text) { return tk_unicode_to_utf8(text); }

// The lines of a "Type Mappings" section written as one text.
std::vector<std::u16string> to_lines(const std::string& text) {
  std::vector<std::u16string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(tk_utf8_to_unicode(line));
  return out;
}

// Every rule the mutator holds, compactly:
//   db{key=value} Table->new{key=value}[F1->id type=INT length=4 | F2 deleted]
std::string describe(const udb_db_mutator& db) {
  std::string out = "db";
  auto properties = [&out](const udb_properties& p) {
    const char* separator = "{";
    for (const auto& [key, value] : p.properties())
      out.append(std::exchange(separator, ";")).append(utf8(key)).append("=").append(utf8(value));
    if (!p.properties().empty()) out += "}";
  };
  properties(db);
  for (const auto& [name, table] : db.table_mutators()) {
    out.append(" ").append(utf8(name));
    if (!table->new_name().empty()) out.append("->").append(utf8(table->new_name()));
    properties(*table);
    if (!table->has_field_mutators()) continue;
    const char* separator = "[";
    for (const auto& [source, f] : table->field_mutators()) {
      const udb_field_mapping& m = f->mapping();
      out.append(std::exchange(separator, " | ")).append(utf8(source));
      if (f->new_name() != source) out.append("->").append(utf8(f->new_name()));
      if (!m.type.empty()) out.append(" type=").append(utf8(m.type));
      if (m.length) out.append(" length=").append(std::to_string(m.length));
      if (m.scale) out.append(" scale=").append(std::to_string(m.scale));
      if (m.precision) out.append(" precision=").append(std::to_string(m.precision));
      if (!m.default_value.empty()) out.append(" default=").append(utf8(m.default_value));
      if (f->is_deleted()) out.append(" deleted");
    }
    out += "]";
  }
  return out;
}

TEST(udb_db_mutator_load, MappingSyntax) {
  struct row {
    const char* name;
    const char* lines;
    bool ok;
    const char* rules;  // describe() after the load; a failed load keeps none
  };
  // clang-format off
  const row rows[] = {
      {"the documented example", "database:\ntables:\n  - name: Sheet1\n    new_name: customers\n    fields:\n      - name: F1\n        new_name: id\n        type: INT\n      - name: F2\n        status: deleted",
       true, "db Sheet1->customers[F1->id type=INT | F2 deleted]"},
      {"database properties: a second colon is ignored, a later key wins", "database:\n  engine: MyISAM\n  url: http://x\n  engine:  Aria \ntables:",
       true, "db{engine=Aria}"},
      {"column keywords; numbers take their leading digits", "tables:\n  - name: T\n    fields:\n      - name: c\n        type: DECIMAL\n        length: 12abc\n        scale: x7\n        precision: 99999999999\n        default_value: 0.00",
       true, "db T[c type=DECIMAL length=12 precision=4294967295 default=0.00]"},
      {"only the status deleted counts", "tables:\n  - name: T\n    fields:\n      - name: c\n        status: Deleted\n      - name: e\n        status: deleted ",
       true, "db T[c | e deleted]"},
      {"properties close a table; eight-space lines are properties", "tables:\n  - name: A\n    new_name: a2\n    properties:\n        engine: MyISAM\n        type: INT\n        comment: a: b\n  - name: B",
       true, "db A->a2{engine=MyISAM;type=INT} B"},
      {"fields again inside a field; blank lines skipped", "tables:\n  - name: A\n    fields:\n      - name: x\n   \n    fields:\n      - name: y",
       true, "db A[x | y]"},
      {"a table twice merges, a later column rule replaces", "tables:\n  - name: A\n    fields:\n      - name: x\n        type: INT\n  - name: A\n    new_name: A2\n    fields:\n      - name: x\n        new_name: z",
       true, "db A->A2[x->z]"},
      {"blanks after whole-line keywords; names keep their case", "database:  \n  k: v\ntables: \n  - name: T\n  - name: t",
       true, "db{k=v} T t"},
      {"without tables: the rest is skipped", "database:\n  k: v\n  - name: T\ntables\n  - name: U",
       true, "db{k=v;- name=T}"},
      {"three-space table indentation", "tables:\n   - name: T", false, "db"},
      {"keywords are case-sensitive", "tables:\n  - name: T\n    New_name: x", false, "db"},
      {"fields after properties", "tables:\n  - name: T\n    properties:\n        engine: MyISAM\n    fields:", false, "db"},
      {"table new_name after fields", "tables:\n  - name: T\n    fields:\n      - name: c\n    new_name: x", false, "db"},
      {"fields twice in a row", "tables:\n  - name: T\n    fields:\n    fields:", false, "db"},
      {"column keyword before a column", "tables:\n  - name: T\n    fields:\n        type: INT", false, "db"},
      {"column without fields", "tables:\n  - name: T\n      - name: c", false, "db"},
      {"unknown column keyword", "tables:\n  - name: T\n    fields:\n      - name: c\n        size: 4", false, "db"},
  };
  // clang-format on
  for (const row& x : rows) {
    SCOPED_TRACE(x.name);
    udb_db_mutator db;
    ASSERT_TRUE(db.load_mappings(to_lines("database:\n  stale: 1\ntables:\n  - name: Old")));
    EXPECT_EQ(db.load_mappings(to_lines(x.lines)), x.ok);
    EXPECT_EQ(describe(db), x.rules);
  }
}

// ---- Rewrites -----------------------------------------------------------------

constexpr const char* sales_mapping =
    "database:\n  engine: InnoDB\ntables:\n  - name: Sales\n    new_name: sales_2024\n    fields:\n"
    "      - name: Region\n        new_name: region_code\n      - name: Notes\n        status: deleted\n"
    "      - name: Amount\n        new_name: amount\n        type: NUMERIC\n        length: 9\n"
    "        default_value: 0\n        precision: 10\n        scale: 2\n      - name: Kept\n"
    "    properties:\n        engine: MyISAM\n  - name: Empty\n    new_name: nothing_else";

udb_schema sales_schema() {
  udb_schema s;
  s.push_back(t_ftd(4, u"Id", VT_I4, true, false, ole_variant(), 0));
  s.push_back(t_ftd(20, u"Region", VT_BSTR, false, false, ole_variant(), 0));
  s.push_back(t_ftd(255, u"Notes", VT_BSTR, false, false, ole_variant(), 0));
  s.push_back(t_ftd(8, u"Amount", VT_R8, false, false, ole_variant(), 0));
  s.push_back(t_ftd(8, u"Kept", VT_DATE, false, false, ole_variant(u"2024-01-01"), 1));
  s.push_back(t_ftd(8, u"amount", VT_R8, false, false, ole_variant(), 0));  // no rule: names compare exactly
  return s;
}

// Sources carry no indexes: only the columns are rewritten.
TEST(udb_db_mutator_rewrite, SchemaAndTableProperties) {
  udb_db_mutator db;
  ASSERT_TRUE(db.load_mappings(to_lines(sales_mapping)));
  udb_schema schema = sales_schema();
  udb_indexes indexes;
  EXPECT_EQ(db.modify1(u"Sales", schema, indexes), u"sales_2024");
  // The base reads no type names: a typed column keeps its tag and takes the
  // type text as written; a column without a type keeps type, size and default.
  const t_ftd expected[] = {
      t_ftd(4, u"Id", VT_I4, true, false, ole_variant(), 0),
      t_ftd(20, u"region_code", VT_BSTR, false, false, ole_variant(), 0),
      t_ftd(9, u"amount", VT_R8, false, false, ole_variant(u"0"), 0, u"NUMERIC"),
      t_ftd(8, u"Kept", VT_DATE, false, false, ole_variant(u"2024-01-01"), 1),
      t_ftd(8, u"amount", VT_R8, false, false, ole_variant(), 0),
  };
  ASSERT_EQ(schema.size(), std::size(expected));
  for (size_t i = 0; i < schema.size(); ++i) {
    SCOPED_TRACE(i);
    const t_ftd& f = *schema.fields[i];
    const t_ftd& e = expected[i];
    EXPECT_EQ(std::tuple(f.name, f.vartype, f.size, f.native_type, f.reserved, f.def_value.to_wstring()),
              std::tuple(e.name, e.vartype, e.size, e.native_type, e.reserved, e.def_value.to_wstring()));
    EXPECT_EQ(std::pair(f.precision, f.scale), i == 2 ? std::pair(10u, 2u) : std::pair(0u, 0u));
  }
  // A table's properties by its source or new name.
  for (const char16_t* table : {u"Sales", u"sales_2024"})
    EXPECT_EQ(db.get_table_properties(table)->get_property(u"engine"), u"MyISAM");
  for (const char16_t* table : {u"SALES", u"Empty", u"nothing_else", u"Unknown"})
    EXPECT_EQ(db.get_table_properties(table), nullptr);
  // Table names compare exactly; a rule with only a new name keeps the columns.
  for (const auto& [table, name] : {std::pair{u"SALES", u"SALES"}, std::pair{u"Empty", u"nothing_else"}}) {
    udb_schema untouched = sales_schema();
    EXPECT_EQ(db.modify1(table, untouched, indexes), name);
    EXPECT_EQ(untouched.fields[2]->name, u"Notes");
  }
}

TEST(udb_db_mutator_rewrite, RecordsRenamedDroppedAndReused) {
  udb_db_mutator db;
  ASSERT_TRUE(db.load_mappings(to_lines(sales_mapping)));
  udb_record row;
  row.add(u"Id").set_i4(1);
  row.add(u"Region").set_text(u"north");
  row[1].set_declared_size(20);
  row.add(u"Notes").set_text(u"note");
  row.add(u"Amount").set_r8(12.5);
  row.add(u"Kept").set_null();
  EXPECT_EQ(&db.modify2(u"SALES", row), &row);
  EXPECT_EQ(&db.modify2(u"Empty", row), &row);

  const udb_record& out = db.modify2(u"Sales", row);
  ASSERT_EQ(out.size(), 4u);
  const char16_t* names[] = {u"Id", u"region_code", u"amount", u"Kept"};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(out[i].name(), names[i]);
  EXPECT_EQ(std::pair(out[1].text(), out[1].declared_size()), std::pair(std::u16string(u"north"), 20u));
  EXPECT_EQ(std::pair(out[2].get_r8(), out[2].declared_size()), std::pair(12.5, 9u));  // the base converts nothing
  EXPECT_TRUE(out[3].is_null());
  EXPECT_EQ(row[1].name(), u"Region");  // the source record is left as it was

  // The next row reuses the output record, its fields and their storage.
  const udb_field* field = &out[1];
  row[1].set_text(u"a region name long enough to live on the heap");
  db.modify2(u"Sales", row);
  const char16_t* buffer = out[1].text().data();
  row[1].set_text(u"shorter region");
  EXPECT_EQ(&db.modify2(u"Sales", row), &out);
  EXPECT_EQ(std::tuple(&out[1], out[1].text().data(), out[1].text()),
            std::tuple(field, buffer, std::u16string(u"shorter region")));

  // A short CSV line gives another layout, with a plan of its own; field names compare exactly.
  udb_record other;
  other.add(u"Amount").set_r8(1);
  other.add(u"Notes").set_text(u"x");
  other.add(u"region").set_text(u"r");
  const udb_record& out2 = db.modify2(u"Sales", other);
  ASSERT_EQ(out2.size(), 2u);
  EXPECT_EQ(std::pair(out2[0].name(), out2[1].name()), std::pair(std::u16string(u"amount"), std::u16string(u"region")));
  EXPECT_EQ(db.modify2(u"Sales", row)[1].name(), u"region_code");
}

}  // namespace
