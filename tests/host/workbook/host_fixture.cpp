#include "host_fixture.h"

#include <charconv>
#include <cstdio>
#include <map>

#include "wb_query_def.h"
#include "wb_text.h"
#include "wb_value_text.h"

namespace host_test {

std::string utf8(std::u16string_view s) { return wb_to_utf8(s); }

std::unique_ptr<wb_engine> make_engine() {
  std::unique_ptr<wb_engine> engine;
  EXPECT_EQ(wb_engine::create_instance(wb_engine::ace_class_id, wb_engine::engine_interface_id, engine), wb_s_ok);
  return engine;
}

std::unique_ptr<wb_database> open_ok(wb_engine& engine, const std::string& path, const char16_t* connect) {
  std::unique_ptr<wb_database> db;
  const wb_hresult hr = engine.open_database(wb_to_utf16(path), false, true, connect, db);
  EXPECT_EQ(hr, wb_s_ok) << path << ": "
                         << (engine.errors().count() ? utf8(engine.errors().item(0).description) : std::string());
  return db;
}

std::string shortest(double v) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

namespace {

std::string text_of(const wb_value& v) {
  switch (v.kind) {
    case wb_value_kind::null:
      return "NULL";
    case wb_value_kind::number:
      return shortest(v.number);
    case wb_value_kind::currency: {
      std::string out = "$";  // not "$" + ...: g++ 12 warns falsely (-Wrestrict) on that form
      return out += shortest(static_cast<double>(v.currency) / 10000.0);
    }
    case wb_value_kind::boolean:
      return v.boolean ? "TRUE" : "FALSE";
    case wb_value_kind::text: {
      const std::string text = utf8(v.text);
      return "'" + text + "'";
    }
    case wb_value_kind::date: {
      char16_t buf[wb_value_text_capacity];
      return utf8(std::u16string_view(buf, wb_format_ole_date(v.number, buf)));
    }
  }
  return "?";
}

const std::map<wb_dao_type, const char*> type_names = {
    {wb_dao_type::boolean, "boolean"}, {wb_dao_type::currency, "currency"}, {wb_dao_type::double_, "double"},
    {wb_dao_type::date, "date"},       {wb_dao_type::text, "text"},         {wb_dao_type::memo, "memo"}};

// The items on one line, control characters and backslashes escaped.
std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += " | ";
    for (const char c : item) {
      char hex[8] = {c};
      if (c == '\\' || static_cast<unsigned char>(c) < 0x20)
        std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
      out += hex;
    }
  }
  return out + "\n";
}

// The table names of a workbook, in order.
std::vector<std::string> table_names(const std::string& path) {
  std::vector<std::string> names;
  auto engine = make_engine();
  auto db = open_ok(*engine, path);
  if (!db) return names;
  for (std::size_t i = 0; i < db->table_count(); ++i) {
    wb_table_def def;
    EXPECT_EQ(db->table(i, def), wb_s_ok);
    EXPECT_EQ(def.attributes, 0);
    names.push_back(utf8(def.name));
  }
  return names;
}

}  // namespace

table read_table(const std::string& path, const std::u16string& table_name, const char16_t* connect) {
  table t;
  auto engine = make_engine();
  auto db = open_ok(*engine, path, connect);
  if (!db) return t;
  std::unique_ptr<wb_query_def> qd;
  EXPECT_EQ(db->create_query_def(u"", u"SELECT * FROM [" + table_name + u"]", qd), wb_s_ok);
  std::unique_ptr<wb_recordset> rs;
  const wb_hresult hr = qd->open_recordset(rs);
  EXPECT_EQ(hr, wb_s_ok) << (engine->errors().count() ? utf8(engine->errors().item(0).description) : "");
  if (!rs) return t;
  t.record_count = rs->record_count();
  for (std::size_t i = 0; i < rs->field_count(); ++i) {
    const wb_field& f = rs->field(i);
    std::string c = utf8(f.name()) + " " + type_names.at(f.type()) + " " + std::to_string(f.size());
    if (wb_value v; f.property(u"Format", v)) c += " \"" + utf8(v.text) + "\"";
    t.columns.push_back(c);
  }
  while (!rs->eof()) {
    t.rows.emplace_back();
    for (std::size_t i = 0; i < rs->field_count(); ++i) t.rows.back().push_back(text_of(rs->field(i).value()));
    EXPECT_EQ(rs->move_next(), wb_s_ok);
  }
  t.unreadable = rs->unreadable_values();
  return t;
}

std::string listing(const std::string& path) {
  std::string out;
  for (const std::string& name : table_names(path)) {
    const table t = read_table(path, wb_to_utf16(name));
    out += "== " + name + "\n" + joined(t.columns);
    for (const auto& row : t.rows) out += joined(row);
    if (t.unreadable)
      out.append("(").append(std::to_string(t.unreadable)).append(" values of no value of their kind)\n");
  }
  return out;
}

std::string listing_of(const std::string& bytes, const std::string& name) {
  return listing(written_file(bytes, name).path);
}

void expect_table_unreadable(const std::string& path, const std::u16string& table_name) {
  auto engine = make_engine();
  auto db = open_ok(*engine, path);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->table_count(), 1u);
  std::unique_ptr<wb_recordset> rs;
  EXPECT_EQ(db->open_recordset(u"SELECT * FROM [" + table_name + u"]", rs), wb_dao_hresult(3274));
  EXPECT_EQ(engine->errors().item(0).number, 3274);
}

open_failure open_error(const std::string& path, const char16_t* connect) {
  open_failure f;
  auto engine = make_engine();
  std::unique_ptr<wb_database> db;
  f.hr = engine->open_database(wb_to_utf16(path), false, true, connect, db);
  EXPECT_EQ(db, nullptr);
  if (engine->errors().count() == 1) {
    f.number = engine->errors().item(0).number;
    f.description = utf8(engine->errors().item(0).description);
  }
  return f;
}

}  // namespace host_test
