#include "mysql_converter_impl.h"

#include <cstdlib>
#include <set>

#include "dates_map.h"
#include "num_map.h"
#include "sql_util.h"
#include "tk_exception.h"
#include "tk_logger.h"
#include "tk_string.h"
#include "tk_unicode.h"
#include "udb_database.h"
#include "udb_profile.h"
#include "udb_recordset.h"
#include "udb_schema.h"

mysql_converter_impl::mysql_converter_impl() { TK_TRACE(2, "mysql_converter_impl::ctor"); }

mysql_converter_impl::~mysql_converter_impl() { TK_TRACE(2, "mysql_converter_impl::dtor"); }

void mysql_converter_impl::store_mysql_settings(const std::string& host, const std::string& user,
                                                const std::string& password, const std::string& port) {
  TK_TRACE(2, "mysql_converter_impl::store_mysql_settings(%s,%s,%s,%s)", host, user, password, port);
  user_ = trim(user);
  password_ = trim(password);
  host_ = trim(host);
  port_ = trim(port);
  if (port_.empty()) port_ = "3306";
}

namespace {

// Whether a column whose server type text is `current` already has `type`
// ("INT" and "int(11)", "VARCHAR (255)" and "varchar(255)" are the same).
bool same_type(std::u16string_view type, std::u16string_view current) {
  auto norm = [](std::u16string_view t) {
    std::u16string out;
    for (char16_t c : t) {
      if (c == u' ') continue;
      out += (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    }
    // Display widths of integer types carry no meaning.
    for (std::u16string_view integer : {u"bigint(", u"int("}) {
      if (out.rfind(integer, 0) == 0 && out.back() == u')') out.resize(integer.size() - 1);
    }
    return out;
  };
  return !current.empty() && norm(type) == norm(current);
}

// A dump flag of a profile: 1 for exactly "1", 0 for any other value; an
// empty or missing value leaves it.
template <class T>
void read_dump_flag(const udb_profile& profile, const char16_t* key, T& flag) {
  const std::u16string& value = profile.get_value(u"MySQL settings", key);
  if (!value.empty()) flag = value == u"1" ? 1 : 0;
}

}  // namespace

bool mysql_converter_impl::load_mysql_profile(const udb_profile& profile) {
  const char16_t* const section = u"MySQL settings";
  // The profile's host always decides: an empty host means the local server.
  host_ = tk_unicode_to_utf8(profile.get_value(section, u"host"));
  if (const std::u16string& v = profile.get_value(section, u"user"); !v.empty()) user_ = tk_unicode_to_utf8(v);
  if (const std::u16string& v = profile.get_value(section, u"password"); !v.empty()) password_ = tk_unicode_to_utf8(v);
  if (const std::u16string& v = profile.get_value(section, u"port"); !v.empty()) port_ = tk_unicode_to_utf8(v);
  read_dump_flag(profile, u"dump line break", dump_options_.dmp_line_br);
  read_dump_flag(profile, u"dump new version", dump_options_.dmp_new_ver);
  read_dump_flag(profile, u"dump add lock to insert", dump_options_.dmp_loc_wri);
  read_dump_flag(profile, u"dump insert comments", dump_options_.dmp_ins_com);
  read_dump_flag(profile, u"dump create database", dump_options_.dmp_ins_db);
  read_dump_flag(profile, u"dump create table", dump_options_.dmp_ins_tab);
  return true;
}

void mysql_converter_impl::connect_mysql_server() {
  TK_TRACE(2, "mysql_converter_impl::connect_mysql_server");
  int port = std::atoi(port_.c_str());
  if (port == 0) throw tk_exception("Invalid port number", 1);
  engine_.connect(host_, user_, password_, static_cast<unsigned>(port));
}

void mysql_converter_impl::del_mysql_base(const std::u16string& name) {
  TK_TRACE(2, "mysql_converter_impl::del_mysql_base (%s)", name);
  engine_.db_delete(name);
}

void mysql_converter_impl::store_change(const std::u16string& table, const t_ftd& column, const char16_t* type,
                                        bool empty_to_null) {
  pending_change c;
  c.empty_to_null = empty_to_null && !column.b_not_null;
  c.no_op = same_type(type, column.native_type);
  // Names are quoted as every statement of the destination quotes them:
  // bare for servers (and dumps) older than 4.1.
  const bool old_server = engine_.is_old_version();
  c.table = old_server ? table : engine_.get_safe_name(table);
  c.column = old_server ? column.name : engine_.get_safe_name(column.name);
  c.change = u"MODIFY " + c.column + u" " + type;
  if (column.b_not_null) c.change += u" NOT NULL";
  std::u16string def = make_mysql_def_val(column);
  if (!def.empty()) c.change += u" DEFAULT " + def;
  TK_TRACE(3, "Store SQL query: %s\n", c.statement());
  pending_statements_.push_back(std::move(c));
}

void mysql_converter_impl::post_process(const std::u16string& table, const udb_schema& schema, const types_map& stats,
                                        const char16_t* const (&types)[4], int32_t text_state,
                                        const std::vector<bool>& keep) {
  for (const types_map_entry& e : stats.entries()) {
    // A column that never saw a value keeps its type: nothing tells what it
    // should become.
    if (!e.seen) continue;
    if (e.state == e.arrival) continue;
    if (e.field_index >= schema.size() || !schema.fields[e.field_index] || e.state < 0 || e.state > 3) continue;
    if (e.field_index < keep.size() && keep[e.field_index]) continue;
    try {
      store_change(table, *schema.fields[e.field_index], types[e.state], e.seen_empty_text && e.state != text_state);
    } catch (const std::exception& ex) {
      TK_TRACE(3, "Got exception: %s", ex.what());
    }
  }
}

void mysql_converter_impl::date_post_process(const std::u16string& table, const udb_schema& schema,
                                             const dates_map& stats, const std::vector<bool>& keep) {
  TK_TRACE(2, "mysql_converter_impl::date_post_process(map size=%d)", stats.entries().size());
  static const char16_t* const types[4] = {u"CHAR(19)", u"DATETIME", u"DATE", u"TIME"};
  post_process(table, schema, stats, types, dates_map::state_char19, keep);
}

void mysql_converter_impl::num_post_process(const std::u16string& table, const udb_schema& schema, const num_map& stats,
                                            const std::vector<bool>& keep) {
  TK_TRACE(2, "mysql_converter_impl::num_post_process(map size=%d)", stats.entries().size());
  static const char16_t* const types[4] = {u"VARCHAR (255)", u"DOUBLE", u"BIGINT", u"INT"};
  post_process(table, schema, stats, types, num_map::state_varchar, keep);
}

bool mysql_converter_impl::run_statement(udb_database& database, const std::u16string& statement) {
  try {
    database.query(statement);
    return true;
  } catch (const std::exception& ex) {
    // A refused change keeps the column as it was; the data stays.
    TK_TRACE(3, "Got exception: %s", ex.what());
    return false;
  }
}

void mysql_converter_impl::mysql_refine_types(udb_database& database, bool live_server) {
  TK_TRACE(2, "mysql_converter_impl::mysql_refine_types");
  std::vector<pending_change> pending;
  pending.swap(pending_statements_);
  // A change to the type a column already has would only rebuild the table.
  if (live_server) std::erase_if(pending, [](const pending_change& c) { return c.no_op; });
  if (!live_server) {
    for (const pending_change& c : pending) {
      if (c.empty_to_null) run_statement(database, c.empty_to_null_statement());
      run_statement(database, c.statement());
    }
    return;
  }
  // On a live server every ALTER TABLE rebuilds the table: send the changes
  // of one table as one statement, and fall back to one statement per
  // change only when the server refuses the combined one. Empty texts are
  // made NULL for all the table's columns in one pass over its rows.
  size_t i = 0;
  while (i < pending.size()) {
    size_t j = i;
    std::set<std::u16string> columns;
    bool repeated = false;
    std::u16string nullify;
    while (j < pending.size() && pending[j].table == pending[i].table) {
      const pending_change& c = pending[j];
      repeated |= !columns.insert(c.column).second;
      if (c.empty_to_null && nullify.find(c.column + u" = NULLIF(") == std::u16string::npos) {
        nullify += nullify.empty() ? u"UPDATE " + c.table + u" SET " : u", ";
        nullify += c.column + u" = NULLIF(" + c.column + u", '')";
      }
      ++j;
    }
    const bool nulled = !nullify.empty() && run_statement(database, nullify);
    bool done = false;
    if (j - i > 1 && !repeated) {
      std::u16string combined = u"ALTER TABLE " + pending[i].table + u" ";
      for (size_t k = i; k < j; ++k) {
        if (k > i) combined += u", ";
        combined += pending[k].change;
      }
      done = run_statement(database, combined);
    }
    for (size_t k = i; k < j && !done; ++k) {
      // A refused change gives the column its empty texts back.
      if (!run_statement(database, pending[k].statement()) && nulled && pending[k].empty_to_null)
        run_statement(database, pending[k].null_to_empty_statement());
    }
    i = j;
  }
}
