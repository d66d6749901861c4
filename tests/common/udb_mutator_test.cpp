#include <gtest/gtest.h>

#include <functional>

#include "t_ftd.h"
#include "tk_exception.h"
#include "tk_unicode.h"
#include "udb_db_mutator.h"
#include "udb_indexes.h"
#include "udb_profile.h"
#include "udb_record.h"
#include "udb_schema.h"

namespace {

std::string utf8(std::u16string_view text) { return tk_unicode_to_utf8(text); }

std::vector<std::u16string> to_lines(std::initializer_list<const char*> lines) {
  std::vector<std::u16string> out;
  for (const char* line : lines) out.push_back(tk_utf8_to_unicode(line));
  return out;
}

std::string describe_properties(const udb_properties& p) {
  if (p.properties().empty()) return "";
  std::string out;
  for (const auto& [k, v] : p.properties()) {
    out += out.empty() ? "{" : ";";
    out += utf8(k);
    out += "=";
    out += utf8(v);
  }
  out += "}";
  return out;
}

// A compact text of every rule the mutator holds, for table-driven checks:
//   db{key=value} Table->new{key=value}[F1->id type=INT length=4 | F2 deleted]
std::string describe(const udb_db_mutator& db) {
  std::string out = "db";
  auto put = [&out](std::initializer_list<std::string_view> parts) {
    for (std::string_view part : parts) out.append(part);
  };
  put({describe_properties(db)});
  for (const auto& [name, table] : db.table_mutators()) {
    put({" ", utf8(name)});
    if (!table->new_name().empty()) put({"->", utf8(table->new_name())});
    put({describe_properties(*table)});
    if (!table->has_field_mutators()) continue;
    out += "[";
    bool first = true;
    for (const auto& [source, f] : table->field_mutators()) {
      if (!first) out += " | ";
      first = false;
      const udb_field_mapping& m = f->mapping();
      put({utf8(source)});
      if (f->new_name() != source) put({"->", utf8(f->new_name())});
      if (!m.type.empty()) put({" type=", utf8(m.type)});
      if (m.length) put({" length=", std::to_string(m.length)});
      if (m.scale) put({" scale=", std::to_string(m.scale)});
      if (m.precision) put({" precision=", std::to_string(m.precision)});
      if (!m.default_value.empty()) put({" default=", utf8(m.default_value)});
      if (!m.character_set.empty()) put({" charset=", utf8(m.character_set)});
      if (f->is_deleted()) out += " deleted";
    }
    out += "]";
  }
  return out;
}

TEST(udb_db_mutator_load, MappingSyntax) {
  struct row {
    const char* name;
    std::initializer_list<const char*> lines;
    bool ok;
    const char* rules;  // describe() after the load
  };
  const row rows[] = {
      {"empty section", {}, true, "db"},
      {"the documented example",
       {"database:", "tables:", "  - name: Sheet1", "    new_name: customers", "    fields:", "      - name: F1",
        "        new_name: id", "        type: INT", "      - name: F2", "        status: deleted"},
       true,
       "db Sheet1->customers[F1->id type=INT | F2 deleted]"},
      {"no database block",
       {"tables:", "  - name: T", "    fields:", "      - name: a", "        type: VARCHAR", "        length: 40"},
       true,
       "db T[a type=VARCHAR length=40]"},
      {"database properties; a value with a colon is ignored; later key wins",
       {"database:", "  engine: MyISAM", "  url: http://x", "  no colon", "  character set: latin1", "  engine:  Aria ",
        "tables:"},
       true,
       "db{engine=Aria;character set=latin1}"},
      {"every column keyword",
       {"tables:", "  - name: T", "    fields:", "      - name: c", "        new_name: d", "        type: DECIMAL",
        "        length: 12", "        scale: 2", "        precision: 10", "        default_value: 0.00",
        "        character_set: utf8mb4"},
       true,
       "db T[c->d type=DECIMAL length=12 scale=2 precision=10 default=0.00 charset=utf8mb4]"},
      {"numbers take their leading digits",
       {"tables:", "  - name: T", "    fields:", "      - name: c", "        length: 12abc", "        scale: x7",
        "        precision: 99999999999"},
       true,
       "db T[c length=12 precision=4294967295]"},
      {"a status other than deleted is ignored",
       {"tables:", "  - name: T", "    fields:", "      - name: c", "        status: Deleted", "      - name: e",
        "        status: deleted "},
       true,
       "db T[c | e deleted]"},
      {"a table without new_name keeps its name; a table without fields has no column rules",
       {"tables:", "  - name: A", "    fields:", "      - name: x", "        new_name: y", "  - name: B"},
       true,
       "db A[x->y] B"},
      {"properties close the table; the next table may follow",
       {"tables:", "  - name: A", "    new_name: a2", "    properties:", "        engine: MyISAM",
        "        character set: latin1", "        comment: a: b", "  - name: B", "    properties:"},
       true,
       "db A->a2{engine=MyISAM;character set=latin1} B"},
      {"eight-space keywords after properties are properties",
       {"tables:", "  - name: A", "    properties:", "        type: INT"},
       true,
       "db A{type=INT}"},
      {"fields again inside a field starts the list again",
       {"tables:", "  - name: A", "    fields:", "      - name: x", "    fields:", "      - name: y"},
       true,
       "db A[x | y]"},
      {"new_name then fields",
       {"tables:", "  - name: A", "    new_name: B", "    fields:", "      - name: x"},
       true,
       "db A->B[x]"},
      {"the same table twice merges; a later rule of a column replaces the earlier",
       {"tables:", "  - name: A", "    fields:", "      - name: x", "        type: INT", "  - name: A",
        "    new_name: A2", "    fields:", "      - name: x", "        new_name: z", "      - name: w"},
       true,
       "db A->A2[w | x->z]"},
      {"blanks after whole-line keywords are allowed",
       {"database:  ", "  k: v", "tables: ", "  - name: T"},
       true,
       "db{k=v} T"},
      {"blank lines inside the list are skipped", {"tables:", "  - name: T", "   ", "    fields:"}, true, "db T"},
      {"case matters in names", {"tables:", "  - name: Sheet1", "  - name: sheet1"}, true, "db Sheet1 sheet1"},
      // The rest of the section is skipped without "tables:".
      {"no tables line after the database block",
       {"database:", "  k: v", "  - name: T", "tables"},
       true,
       "db{k=v;- name=T}"},
      {"first line neither database nor tables", {"table:", "tables:", "  - name: T"}, true, "db"},
      {"database not on the first line", {"tables:", "database:"}, false, "db"},
      // Failures: no rules are kept.
      {"three-space table indentation", {"tables:", "   - name: T"}, false, "db"},
      {"three-space field indentation", {"tables:", "  - name: T", "    fields:", "     - name: c"}, false, "db"},
      {"tab instead of spaces", {"tables:", "\t- name: T"}, false, "db"},
      {"keywords are case-sensitive", {"tables:", "  - name: T", "    New_name: x"}, false, "db"},
      {"fields after properties",
       {"tables:", "  - name: T", "    properties:", "        engine: MyISAM", "    fields:", "      - name: c"},
       false,
       "db"},
      {"new_name after properties", {"tables:", "  - name: T", "    properties:", "    new_name: x"}, false, "db"},
      {"a property line without eight spaces",
       {"tables:", "  - name: T", "    properties:", "      engine: x"},
       false,
       "db"},
      {"table new_name after fields",
       {"tables:", "  - name: T", "    fields:", "      - name: c", "    new_name: x"},
       false,
       "db"},
      {"table new_name twice", {"tables:", "  - name: T", "    new_name: a", "    new_name: b"}, false, "db"},
      {"fields twice in a row", {"tables:", "  - name: T", "    fields:", "    fields:"}, false, "db"},
      {"column keyword before any column", {"tables:", "  - name: T", "    fields:", "        type: INT"}, false, "db"},
      {"column keyword right after the table", {"tables:", "  - name: T", "        type: INT"}, false, "db"},
      {"column without fields", {"tables:", "  - name: T", "      - name: c"}, false, "db"},
      {"table keyword before any table", {"tables:", "    fields:"}, false, "db"},
      {"unknown column keyword",
       {"tables:", "  - name: T", "    fields:", "      - name: c", "        size: 4"},
       false,
       "db"},
      {"tables twice", {"tables:", "tables:"}, false, "db"},
  };
  for (const row& x : rows) {
    SCOPED_TRACE(x.name);
    udb_db_mutator db;
    // Rules from an earlier load never survive a new one.
    ASSERT_TRUE(db.load_mappings(to_lines({"database:", "  stale: 1", "tables:", "  - name: Old"})));
    const std::vector<std::u16string> lines = to_lines(x.lines);
    EXPECT_EQ(db.load_mappings(lines), x.ok);
    EXPECT_EQ(describe(db), x.rules);
  }
}

TEST(udb_db_mutator_load, FromProfileText) {
  // The profile keeps the indentation of the bare lines; a line with "=" is
  // a setting of the profile and never reaches the mappings.
  udb_profile p;
  p.parse(
      "[Type Mappings]\r\n"
      "tables:\r\n"
      "  - name: Orders\r\n"
      "    fields:\r\n"
      "      - name: note=x\r\n"
      "      - name: total\r\n"
      "        type: DECIMAL\r\n"
      "[Other]\r\n"
      "  - name: ignored\r\n");
  udb_db_mutator db;
  ASSERT_TRUE(db.load(p));
  EXPECT_EQ(describe(db), "db Orders[total type=DECIMAL]");

  udb_profile without;
  without.parse("[Generic settings]\nmode=1\n");
  EXPECT_TRUE(db.load(without));
  EXPECT_EQ(describe(db), "db");
}

// ---- Rewrites -----------------------------------------------------------------

const std::vector<const char*> sales_mapping = {
    "database:",
    "  engine: InnoDB",
    "tables:",
    "  - name: Sales",
    "    new_name: sales_2024",
    "    fields:",
    "      - name: Region",
    "        new_name: region_code",
    "      - name: Notes",
    "        status: deleted",
    "      - name: Amount",
    "        new_name: amount",
    "        type: NUMERIC",
    "        length: 9",
    "        default_value: 0",
    "        precision: 10",
    "        scale: 2",
    "      - name: Kept",
    "    properties:",
    "        engine: MyISAM",
    "  - name: Empty",
    "    new_name: nothing_else",
};

void load_sales(udb_db_mutator& db) {
  std::vector<std::u16string> lines;
  for (const char* l : sales_mapping) lines.push_back(tk_utf8_to_unicode(l));
  ASSERT_TRUE(db.load_mappings(lines));
}

udb_schema sales_schema() {
  udb_schema s;
  s.push_back(t_ftd(4, u"Id", VT_I4, true, false, ole_variant(), 0));
  s.push_back(t_ftd(20, u"Region", VT_BSTR, false, false, ole_variant(), 0));
  s.push_back(t_ftd(255, u"Notes", VT_BSTR, false, false, ole_variant(), 0));
  s.push_back(t_ftd(8, u"Amount", VT_R8, false, false, ole_variant(), 0));
  s.push_back(t_ftd(8, u"Kept", VT_DATE, false, false, ole_variant(u"2024-01-01"), 1));
  s.push_back(t_ftd(8, u"amount", VT_R8, false, false, ole_variant(), 0));  // another case: no rule
  return s;
}

TEST(udb_db_mutator_rewrite, SchemaAndIndexes) {
  udb_db_mutator db;
  load_sales(db);
  udb_schema schema = sales_schema();
  udb_indexes indexes;
  udb_index pk(u"PRIMARY", true, true);
  pk.fields = {u"Id", u"Region"};
  pk.field_attributes = {u"ASC", u"DESC"};
  udb_index by_notes(u"by_notes", false, false);
  by_notes.fields = {u"Notes"};
  udb_index mixed(u"mixed", true, false);
  mixed.fields = {u"Notes", u"Amount", u"amount", u"Kept"};
  indexes.push_back(pk);
  indexes.push_back(by_notes);
  indexes.push_back(mixed);

  EXPECT_EQ(db.modify1(u"Sales", schema, indexes), u"sales_2024");

  struct column {
    const char16_t* name;
    VARTYPE vartype;
    uint32_t size;
    const char16_t* native_type;
    uint32_t precision, scale, reserved;
    const char16_t* def_value;
  };
  const column expected[] = {
      {u"Id", VT_I4, 4, u"", 0, 0, 0, u""},
      {u"region_code", VT_BSTR, 20, u"", 0, 0, 0, u""},
      // The base reads no type names: the tag stays, the type text is as written.
      {u"amount", VT_R8, 9, u"NUMERIC", 10, 2, 0, u"0"},
      {u"Kept", VT_DATE, 8, u"", 0, 0, 1, u"2024-01-01"},
      {u"amount", VT_R8, 8, u"", 0, 0, 0, u""},
  };
  ASSERT_EQ(schema.size(), std::size(expected));
  for (size_t i = 0; i < schema.size(); ++i) {
    SCOPED_TRACE(i);
    const t_ftd& f = *schema.fields[i];
    EXPECT_EQ(f.name, expected[i].name);
    EXPECT_EQ(f.vartype, expected[i].vartype);
    EXPECT_EQ(f.size, expected[i].size);
    EXPECT_EQ(f.native_type, expected[i].native_type);
    EXPECT_EQ(f.precision, expected[i].precision);
    EXPECT_EQ(f.scale, expected[i].scale);
    EXPECT_EQ(f.reserved, expected[i].reserved);
    EXPECT_EQ(f.def_value.to_wstring(), expected[i].def_value);
  }

  // The dropped column left every index; an index left empty is gone.
  ASSERT_EQ(indexes.size(), 2u);
  EXPECT_EQ(indexes[0].name, u"PRIMARY");
  EXPECT_EQ(indexes[0].fields, (std::vector<std::u16string>{u"Id", u"region_code"}));
  EXPECT_EQ(indexes[0].field_attributes, (std::vector<std::u16string>{u"ASC", u"DESC"}));
  EXPECT_TRUE(indexes[0].b_primary);
  EXPECT_EQ(indexes[1].name, u"mixed");
  EXPECT_EQ(indexes[1].fields, (std::vector<std::u16string>{u"amount", u"amount", u"Kept"}));
  EXPECT_TRUE(indexes[1].b_unique);
}

TEST(udb_db_mutator_rewrite, TablesWithoutRulesPassUnchanged) {
  udb_db_mutator db;
  load_sales(db);
  struct row {
    const char16_t* table;
    const char16_t* new_name;
  };
  // Names compare exactly; a table with only a new name keeps its columns.
  for (const row& x :
       {row{u"sales", u"sales"}, row{u"SALES", u"SALES"}, row{u"Other", u"Other"}, row{u"Empty", u"nothing_else"}}) {
    SCOPED_TRACE(utf8(x.table));
    udb_schema schema = sales_schema();
    udb_indexes indexes;
    udb_index i(u"i", false, false);
    i.fields = {u"Notes"};
    indexes.push_back(i);
    EXPECT_EQ(db.modify1(x.table, schema, indexes), x.new_name);
    ASSERT_EQ(schema.size(), 6u);
    EXPECT_EQ(schema.fields[2]->name, u"Notes");
    EXPECT_EQ(schema.fields[3]->native_type, u"");
    ASSERT_EQ(indexes.size(), 1u);
    EXPECT_EQ(indexes[0].fields[0], u"Notes");

    udb_record r;
    r.add(u"Notes").set_text(u"n");
    EXPECT_EQ(&db.modify2(x.table, r), &r);
  }
}

udb_record sales_record(int id, const char16_t* region, const char16_t* notes, double amount) {
  udb_record r;
  r.add(u"Id").set_i4(id);
  r.add(u"Region").set_text(region);
  r[1].set_declared_size(20);
  r.add(u"Notes").set_text(notes);
  r.add(u"Amount").set_r8(amount);
  r.add(u"Kept").set_null();
  return r;
}

TEST(udb_db_mutator_rewrite, RecordsRenamedDroppedAndReused) {
  udb_db_mutator db;
  load_sales(db);
  udb_record first = sales_record(1, u"north", u"first note", 12.5);
  const udb_record& out1 = db.modify2(u"Sales", first);
  ASSERT_EQ(out1.size(), 4u);
  const std::u16string names[] = {u"Id", u"region_code", u"amount", u"Kept"};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(out1[i].name(), names[i]);
  EXPECT_EQ(out1[0].get_i4(), 1);
  EXPECT_EQ(out1[1].text(), u"north");
  EXPECT_EQ(out1[1].declared_size(), 20u);
  // The base reads no type names: the value keeps its own tag; the size is the rule's length.
  EXPECT_EQ(out1[2].get_r8(), 12.5);
  EXPECT_EQ(out1[2].declared_size(), 9u);
  EXPECT_TRUE(out1[3].is_null());
  // The source record is left as it was.
  EXPECT_EQ(first.size(), 5u);
  EXPECT_EQ(first[1].name(), u"Region");

  // The next row reuses the output record, its fields and their text storage.
  const udb_field* field_before = &out1[1];
  udb_record second = sales_record(2, u"south", u"", -3);
  second[1].set_text(u"a region name long enough to live on the heap");
  const udb_record& out2 = db.modify2(u"Sales", second);
  EXPECT_EQ(&out2, &out1);
  EXPECT_EQ(&out2[1], field_before);
  EXPECT_EQ(out2[1].text(), u"a region name long enough to live on the heap");
  const char16_t* text_buffer = out2[1].text().data();
  second[1].set_text(u"shorter region, same buffer");
  db.modify2(u"Sales", second);
  EXPECT_EQ(out2[1].text().data(), text_buffer);
  EXPECT_EQ(out2[0].get_i4(), 2);

  // Another layout (fields in another order, one missing) gets its own plan.
  udb_record other;
  other.add(u"Amount").set_r8(1);
  other.add(u"Notes").set_text(u"x");
  other.add(u"Extra").set_text(u"e");
  const udb_record& out3 = db.modify2(u"Sales", other);
  ASSERT_EQ(out3.size(), 2u);
  EXPECT_EQ(out3[0].name(), u"amount");
  EXPECT_EQ(out3[1].name(), u"Extra");
  EXPECT_EQ(out3[1].text(), u"e");
  // And the first layout again.
  const udb_record& out4 = db.modify2(u"Sales", first);
  ASSERT_EQ(out4.size(), 4u);
  EXPECT_EQ(out4[1].name(), u"region_code");
  EXPECT_EQ(out4[1].text(), u"north");
}

TEST(udb_db_mutator_rewrite, FieldNamesAreCaseSensitive) {
  udb_db_mutator db;
  load_sales(db);
  udb_record r;
  r.add(u"REGION").set_text(u"r");
  r.add(u"notes").set_text(u"n");
  const udb_record& out = db.modify2(u"Sales", r);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].name(), u"REGION");
  EXPECT_EQ(out[1].name(), u"notes");
}

TEST(udb_db_mutator_properties, TableProperties) {
  udb_db_mutator db;
  load_sales(db);
  EXPECT_EQ(db.get_property(u"engine"), u"InnoDB");
  struct row {
    const char16_t* table;
    const char16_t* engine;  // null: no properties
  };
  const row rows[] = {
      {u"Sales", u"MyISAM"},       // by source name
      {u"sales_2024", u"MyISAM"},  // by destination name
      {u"SALES", nullptr},         // names compare exactly
      {u"Empty", nullptr},         // a rule without properties
      {u"nothing_else", nullptr}, {u"Unknown", nullptr},
  };
  for (const row& x : rows) {
    SCOPED_TRACE(utf8(x.table));
    const udb_properties* p = db.get_table_properties(x.table);
    if (!x.engine) {
      EXPECT_EQ(p, nullptr);
      continue;
    }
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->get_property(u"engine"), x.engine);
    EXPECT_EQ(p->get_property(u"character set"), u"");
  }
  // Column rules answer their own properties.
  const udb_field_mutator* amount = db.find_table_mutator(u"Sales")->find_field(u"Amount");
  ASSERT_NE(amount, nullptr);
  EXPECT_EQ(amount->get_property(u"new_name"), u"amount");
  EXPECT_EQ(amount->get_property(u"type"), u"NUMERIC");
  EXPECT_EQ(amount->get_property(u"precision"), u"10");
  EXPECT_EQ(db.find_table_mutator(u"Sales")->find_field_by_new_name(u"region_code"),
            db.find_table_mutator(u"Sales")->find_field(u"Region"));
  EXPECT_EQ(db.find_table_mutator(u"Sales")->find_field_by_new_name(u"Region"), nullptr);
}

TEST(udb_db_mutator_properties, NewNameIndexAfterRenamingAgain) {
  // Two columns share a new name; one of them is renamed again later: the
  // other still answers to the shared name.
  udb_db_mutator db;
  ASSERT_TRUE(
      db.load_mappings(to_lines({"tables:", "  - name: T", "    fields:", "      - name: a", "        new_name: x",
                                 "      - name: b", "        new_name: x", "      - name: b", "        new_name: y"})));
  const udb_table_mutator* t = db.find_table_mutator(u"T");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->find_field_by_new_name(u"x"), t->find_field(u"a"));
  EXPECT_EQ(t->find_field_by_new_name(u"y"), t->find_field(u"b"));
}

}  // namespace
