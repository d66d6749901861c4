#include "mysql_converter_impl.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "dates_map.h"
#include "num_map.h"
#include "sql_destination.h"
#include "sql_exception.h"
#include "tk_exception.h"
#include "tk_logger.h"
#include "tk_string.h"
#include "tk_unicode.h"
#include "udb_profile.h"
#include "udb_recordset.h"
#include "udb_schema.h"

mysql_converter_impl::mysql_converter_impl() { TK_TRACE(2, "mysql_converter_impl::ctor"); }

mysql_converter_impl::~mysql_converter_impl() { TK_TRACE(2, "mysql_converter_impl::dtor"); }

void mysql_converter_impl::store_mysql_settings(const std::string& host, const std::string& user,
                                                const std::optional<std::string>& password, const std::string& port) {
  TK_TRACE(2, "mysql_converter_impl::store_mysql_settings(%s,%s,%s,%s)", host, user, password.value_or(""), port);
  user_ = trim(user);
  if (password) password_ = trim(*password);
  host_ = trim(host);
  port_ = trim(port);
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

// Whether the server takes `text` as a DEFAULT of a column of `type`: a
// column whose mapped default its refined type cannot hold keeps its type
// (the server would refuse the change, and a dump would stop loading
// there). Only the server's own forms count; a text in another form keeps
// its column's type.
bool default_fits(sql_dialect::refined_type type, std::u16string_view text) {
  using rt = sql_dialect::refined_type;
  if (text.empty() || type == rt::char19 || type == rt::varchar255) return true;
  size_t i = 0;
  // Digits from i on, as a number: how many, and their value (capped).
  auto digits = [&](size_t min, size_t max, long long& value) {
    const size_t from = i;
    value = 0;
    while (i < text.size() && i - from < max && text[i] >= u'0' && text[i] <= u'9') {
      if (value < 1000000000000000000LL) value = value * 10 + (text[i] - u'0');
      ++i;
    }
    return i - from >= min && (i == text.size() || text[i] < u'0' || text[i] > u'9');
  };
  auto at = [&](char16_t c) { return i < text.size() && text[i] == c && (++i, true); };
  long long v = 0, h = 0, m = 0, sec = 0;
  const auto clock = [&](long long max_hours) {
    return digits(1, 3, h) && h <= max_hours && at(u':') && digits(2, 2, m) && m < 60 && at(u':') &&
           digits(2, 2, sec) && sec < 60 && (!at(u'.') || digits(1, 6, v));
  };
  const auto day = [&] {
    long long y = 0, mo = 0, d = 0;
    if (!(digits(4, 4, y) && at(u'-') && digits(2, 2, mo) && at(u'-') && digits(2, 2, d))) return false;
    static constexpr int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return y >= 1000 && mo >= 1 && mo <= 12 && d >= 1 && d <= days[mo - 1] && (mo != 2 || d < 29 || leap);
  };
  bool ok = false;
  switch (type) {
    case rt::int_:
    case rt::bigint: {
      const bool minus = at(u'-') || at(u'+');
      ok = digits(1, 19, v) &&
           (type == rt::bigint ? v <= 999999999999999999LL : v <= (minus ? 2147483648LL : 2147483647LL));
      break;
    }
    case rt::double_:
      if (!at(u'-')) at(u'+');
      ok = digits(1, 300, v) && (!at(u'.') || digits(0, 300, v));
      if (ok && (at(u'e') || at(u'E'))) {
        if (!at(u'-')) at(u'+');
        ok = digits(1, 3, v);
      }
      break;
    case rt::date:
      ok = day();
      break;
    case rt::datetime:
      ok = day() && (i == text.size() || (at(u' ') && clock(23)));
      break;
    case rt::time:
      if (!at(u'-')) at(u'+');
      ok = clock(838);
      break;
    default:
      break;
  }
  return ok && i == text.size();
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
  // No port given: the client option files' port, else the default port.
  const int port = port_.empty() ? 0 : std::atoi(port_.c_str());
  if (port <= 0 && !port_.empty()) throw tk_exception("Invalid port number", 1);
  std::optional<std::string> password = password_;
  if (const char* from_environment = std::getenv(password_variable);
      !password && from_environment && *from_environment) {
    TK_TRACE(1, "Password from %s", password_variable);
    password = from_environment;
  }
  engine_.connect(host_, user_, password, static_cast<unsigned>(port));
}

void mysql_converter_impl::del_mysql_base(const std::u16string& name) {
  TK_TRACE(2, "mysql_converter_impl::del_mysql_base (%s)", name);
  engine_.db_delete(name);
}

void mysql_converter_impl::store_change(const sql_dialect& dialect, const std::u16string& table, const t_ftd& column,
                                        sql_dialect::refined_type type, const types_map_entry& stats) {
  const char16_t* type_text = sql_dialect::refined_type_text(type);
  if (column.vartype == VT_BSTR && !default_fits(type, column.def_value.to_wstring())) {
    if (!weighing_changes_)
      TK_TRACE(3, "Column '%s' keeps its type: its default does not fit %s", column.name, type_text);
    return;
  }
  pending_change c;
  c.table = table;
  c.column = column.name;
  // Empty texts of a column that stays text are kept.
  c.empty_to_null = stats.seen_empty_text && type != sql_dialect::refined_type::char19 &&
                    type != sql_dialect::refined_type::varchar255 && !column.b_not_null;
  if (!stats.pattern.empty())
    c.rewrite = dialect.rewrite_dates(table, column.name, stats.pattern, type == sql_dialect::refined_type::datetime);
  c.no_op = same_type(type_text, column.native_type);
  std::u16string from = column.native_type.empty() ? dialect.column_type(column, false) : column.native_type;
  for (char16_t& ch : from)
    if (ch >= u'a' && ch <= u'z') ch = static_cast<char16_t>(ch - u'a' + u'A');
  // A dump repeats a column's type too; the account names real changes only.
  if (!same_type(type_text, from)) c.shown = tk_unicode_to_console(column.name + u" " + from + u" \u2192 " + type_text);
  c.depends_on_rows = !c.rewrite.empty() || column.b_not_null || type == sql_dialect::refined_type::char19 ||
                      type == sql_dialect::refined_type::varchar255;
  c.change = dialect.modify_column(column.name, type_text, column.b_not_null, dialect.default_value(column));
  if (!weighing_changes_) TK_TRACE(3, "Store SQL query: %s\n", dialect.alter_table(table, {&c.change, 1}));
  pending_statements_.push_back(std::move(c));
}

void mysql_converter_impl::post_process(const sql_dialect& dialect, const std::u16string& table,
                                        const udb_schema& schema, const types_map& stats,
                                        const sql_dialect::refined_type (&types)[4], const std::vector<bool>& keep) {
  for (const types_map_entry& e : stats.entries()) {
    // A column that never saw a value keeps its type: nothing tells what it
    // should become.
    if (!e.seen) continue;
    if (e.state == e.arrival) continue;
    if (e.field_index >= schema.size() || !schema.fields[e.field_index] || e.state < 0 || e.state > 3) continue;
    if (e.field_index < keep.size() && keep[e.field_index]) continue;
    store_change(dialect, table, *schema.fields[e.field_index], types[e.state], e);
  }
}

void mysql_converter_impl::date_post_process(const sql_dialect& dialect, const std::u16string& table,
                                             const udb_schema& schema, const dates_map& stats,
                                             const std::vector<bool>& keep) {
  TK_TRACE(2, "mysql_converter_impl::date_post_process(map size=%d)", stats.entries().size());
  using type = sql_dialect::refined_type;
  static constexpr type types[4] = {type::char19, type::datetime, type::date, type::time};
  post_process(dialect, table, schema, stats, types, keep);
}

void mysql_converter_impl::num_post_process(const sql_dialect& dialect, const std::u16string& table,
                                            const udb_schema& schema, const num_map& stats,
                                            const std::vector<bool>& keep) {
  TK_TRACE(2, "mysql_converter_impl::num_post_process(map size=%d)", stats.entries().size());
  using type = sql_dialect::refined_type;
  static constexpr type types[4] = {type::varchar255, type::double_, type::bigint, type::int_};
  post_process(dialect, table, schema, stats, types, keep);
}

bool mysql_converter_impl::run_statement(sql_destination& destination, const std::string& statement) {
  try {
    destination.execute(statement);
    return true;
  } catch (const sql_exception& e) {
    // A refused change keeps the column as it was; the data stays.
    TK_TRACE(3, "Got exception: %s", e.message());
    return false;
  }
}

void mysql_converter_impl::mysql_refine_types(sql_destination& destination) {
  TK_TRACE(2, "mysql_converter_impl::mysql_refine_types");
  const sql_dialect& dialect = destination.dialect();
  std::vector<pending_change> pending;
  pending.swap(pending_statements_);
  if (!destination.live()) {
    for (const pending_change& c : pending) {
      if (c.empty_to_null) run_statement(destination, dialect.empty_text_to_null(c.table, c.column));
      if (!c.rewrite.empty()) run_statement(destination, c.rewrite);
      if (run_statement(destination, dialect.alter_table(c.table, {&c.change, 1})) && !c.shown.empty())
        applied_changes_.push_back(c.shown);
    }
    return;
  }
  // A change to the type a column already has would only rebuild the table.
  std::erase_if(pending, [](const pending_change& c) { return c.no_op; });
  // On a live server every ALTER TABLE rebuilds the table: send the changes
  // of one table as one statement, and fall back to one statement per
  // change only when the server refuses the combined one. Empty texts are
  // made NULL for all the table's columns in one pass over its rows.
  size_t i = 0;
  while (i < pending.size()) {
    size_t j = i;
    std::set<std::u16string> columns;
    bool repeated = false;
    std::vector<std::u16string> nullify;
    std::vector<std::string> changes;
    while (j < pending.size() && pending[j].table == pending[i].table) {
      const pending_change& c = pending[j];
      repeated |= !columns.insert(c.column).second;
      if (c.empty_to_null && std::find(nullify.begin(), nullify.end(), c.column) == nullify.end())
        nullify.push_back(c.column);
      changes.push_back(c.change);
      ++j;
    }
    const std::u16string& table = pending[i].table;
    const bool nulled = !nullify.empty() && run_statement(destination, dialect.empty_texts_to_null(table, nullify));
    for (size_t k = i; k < j; ++k)
      if (!pending[k].rewrite.empty()) run_statement(destination, pending[k].rewrite);
    const bool done = j - i > 1 && !repeated && run_statement(destination, dialect.alter_table(table, changes));
    for (size_t k = i; k < j; ++k) {
      if (done || run_statement(destination, dialect.alter_table(table, {&pending[k].change, 1}))) {
        if (!pending[k].shown.empty()) applied_changes_.push_back(pending[k].shown);
      } else if (nulled && pending[k].empty_to_null) {
        // A refused change gives the column its empty texts back.
        run_statement(destination, dialect.null_to_empty_text(table, pending[k].column));
      }
    }
    i = j;
  }
}
