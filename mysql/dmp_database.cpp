#include "dmp_database.h"

#include "dmp_recordset.h"
#include "error_handler.h"
#include "sql_engine.h"
#include "sql_indexes_initializer.h"
#include "sql_schema_initializer.h"
#include "tk_file_wname.h"
#include "tk_format.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_unicode.h"
#include "tk_wstring.h"
#include "udb_name_compare.h"
#include "udb_properties.h"

namespace {

constexpr const char* source_unit = "sql_dump";

// Version numbers a dump is written for.
constexpr uint32_t dump_version_new = 0x40100;  // 4.1.0
constexpr uint32_t dump_version_old = 0x31401;  // 3.20.1

// The character set SET NAMES announces. The file is UTF-8 whatever the
// tables are stored in: a UTF-8 set is named as the settings give it, any
// other (or none) is replaced by UTF8, so the client reads the bytes as
// they were written. The CREATE DATABASE clause still takes the setting.
std::string set_names_charset(std::u16string_view char_set) {
  for (std::u16string_view utf8 : {u"utf8", u"utf8mb3", u"utf8mb4"})
    if (tk_wstring::equal_no_case(char_set, utf8)) return tk_unicode_to_utf8(char_set);
  return "UTF8";
}

}  // namespace

dmp_database::dmp_database(const std::u16string& path, const dump_options& options, const header_stamp& stamp)
    : udb_database(options.db_name.empty() ? tk_file_wname(path).name() : tk_ansi_to_unicode(options.db_name),
                   mode_created),
      file_([&] {
        std::string narrow;
        tk_unicode_to_ansi2(path, narrow);
        return narrow;
      }()),
      options_(options) {
  sql_engine& engine = sql_engine::instance();
  engine.version = options_.dmp_new_ver ? dump_version_new : dump_version_old;
  engine.lock_pending = false;
  TK_TRACE(1, "b_new_ver=%d", options_.dmp_new_ver);
  if (options_.dmp_ins_com) write_header(stamp);
  std::string line(line_break());
  line += "SET NAMES ";
  line += set_names_charset(engine.char_set);
  line += ';';
  write_line(line);
  if (options_.dmp_ins_db && options_.dmp_ins_tab) write_database_statements();
}

dmp_database::~dmp_database() {
  TK_TRACE(2, "dmp_database::dtor");
  try {
    close();
  } catch (const tk_exception& e) {
    // The driver learns of the end of the file only here: a failed write
    // still ends the run with its report.
    TK_TRACE(3, "%s", e.message());
    if (error_handler* handler = error_handler::instance_ptr()) handler->handle(e);
  }
}

void dmp_database::close() {
  if (!file_.is_open() && !file_.failed()) return;
  unlock_tables("dmp_database::~dmp_database - right before unlock tables");
  file_.close();
}

void dmp_database::write_line(std::string_view text) {
  file_.write(text);
  file_.write(line_break());
}

void dmp_database::write_header(const header_stamp& stamp) {
  std::string path = stamp.file_name;
  for (char& c : path)
    if (c == '\\') c = '/';
  write_line("# File name: " + path);
  write_line("# Creation date: " + stamp.creation_date);
  write_line("# Created by " + options_.banner);
  write_line("# --------------------------------------------------");
  write_line(std::string("# More conversion tools at ") + web_address);
}

void dmp_database::write_database_statements() {
  const std::u16string& char_set = sql_engine::instance().char_set;
  std::string sql(line_break());
  sql += "DROP DATABASE IF EXISTS ";
  append_name(sql, name_);
  write_statement(sql);
  sql = "CREATE DATABASE ";
  append_name(sql, name_);
  // Without a character set the server's default applies.
  if (!char_set.empty()) {
    sql += " character set ";
    tk_append_utf8(sql, char_set);
  }
  write_statement(sql);
  sql = "USE ";
  append_name(sql, name_);
  write_statement(sql);
}

void dmp_database::append_name(std::string& out, std::u16string_view name) const {
  const bool quoted = options_.dmp_new_ver;
  if (quoted) out += '`';
  tk_append_utf8(out, name);
  if (quoted) out += '`';
}

std::string dmp_database::name_of(std::u16string_view name) const {
  std::string out;
  append_name(out, name);
  return out;
}

void dmp_database::write_statement(std::string_view sql) {
  file_.write(sql);
  file_.write(";");
  file_.write(line_break());
}

void dmp_database::write_comment_block(const char* title, std::u16string_view table) {
  std::string text(line_break());
  text += '#';
  text += line_break();
  text += "# ";
  text += title;
  text += " '";
  tk_append_utf8(text, table);
  text += '\'';
  text += line_break();
  text += '#';
  text += line_break();
  write_line(text);
}

void dmp_database::lock_table(const std::u16string& name) {
  sql_engine& engine = sql_engine::instance();
  if (engine.lock_pending && locked_table_ == name) return;
  unlock_tables("dmp_database::create_table - right before unlock tables");
  if (!options_.dmp_loc_wri) return;
  write_statement("LOCK TABLES " + name_of(name) + " WRITE");
  engine.lock_pending = true;
  locked_table_ = name;
}

void dmp_database::unlock_tables(const char* trace) {
  sql_engine& engine = sql_engine::instance();
  if (!engine.lock_pending) return;
  engine.lock_pending = false;
  locked_table_.clear();
  TK_TRACE(1, "%s", trace);
  write_statement("UNLOCK TABLES");
}

const dmp_database::created_table* dmp_database::find_created(std::u16string_view name) const {
  for (const created_table& table : created_)
    if (udb_detail::same_name(table.name, name)) return &table;
  return nullptr;
}

std::unique_ptr<udb_recordset> dmp_database::create_table(const std::u16string& name, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  TK_TRACE(2, "dmp_database::create_table(%s)", name);
  sql_engine& engine = sql_engine::instance();
  if (const created_table* existing = find_created(name)) {
    // Two sources for one table (worksheets mapped to one name, merge
    // mode): the rows join the table as it was created.
    TK_TRACE(3, "Table '%s' is already in the dump file, appending to it", existing->name);
    lock_table(existing->name);
    return std::make_unique<dmp_recordset>(*this, existing->name, existing->schema);
  }

  std::u16string charset, table_type;
  if (const udb_properties* properties = engine.get_table_properties(name)) {
    charset = properties->get_property(u"character set");
    table_type = properties->get_property(u"engine");
  }
  if (table_type.empty()) table_type = options_.dmp_new_ver ? engine.engine : u"MyISAM";

  sql_schema_initializer columns(schema, indexes, engine.version);
  const std::vector<std::u16string>& definitions = columns.get_init_chunks();
  if (definitions.empty()) throw tk_mail_assertion(source_unit, __LINE__);
  sql_indexes_initializer key_maker(indexes, engine.version);
  const std::vector<std::u16string> keys = key_maker.get_init_chunks(columns);

  unlock_tables("dmp_database::create_table - right before unlock tables");
  if (options_.dmp_ins_tab) {
    if (options_.dmp_ins_com) write_comment_block("Table structure for table", name);
    delete_tab(name);
    TK_TRACE(1, "Right before inserting CREATE TABLE statement");
    const char* lb = line_break();
    std::string sql = "CREATE TABLE ";
    tk_append_utf8(sql, options_.dmp_new_ver ? engine.get_safe_name(name) : name);
    sql += " (";
    sql += lb;
    for (size_t i = 0; i < definitions.size(); ++i) {
      if (i > 0) {
        sql += ',';
        sql += lb;
      }
      sql += "  ";
      tk_append_utf8(sql, definitions[i]);
    }
    for (const std::u16string& key : keys) {
      sql += ',';
      sql += lb;
      sql += "  ";
      tk_append_utf8(sql, key);
    }
    sql += lb;
    sql += ')';
    sql += options_.dmp_new_ver ? " ENGINE=" : " TYPE=";
    tk_append_utf8(sql, table_type);
    if (!charset.empty()) {
      sql += " character set ";
      tk_append_utf8(sql, charset);
    }
    write_statement(sql);
  }
  if (options_.dmp_ins_com) write_comment_block("Dumping data for table", name);
  lock_table(name);

  add_table_name(name);
  names_map_.add_fn_map(name, columns.generated_names());
  // The writer's columns carry the names they were created with.
  created_table table{name, udb_schema(columns.schema())};
  for (size_t i = 0; i < table.schema.size(); ++i) table.schema.fields[i]->name = columns.column_name(i);
  created_.push_back(std::move(table));
  return std::make_unique<dmp_recordset>(*this, name, created_.back().schema);
}

void dmp_database::delete_tab(const std::u16string& name) {
  TK_TRACE(2, "dmp_database::delete_tab(%s)", name);
  // Under LOCK TABLES only the locked tables may be named.
  unlock_tables("dmp_database::delete_tab - right before unlock tables");
  std::string sql = "DROP TABLE IF EXISTS ";
  tk_append_utf8(sql, options_.dmp_new_ver ? sql_engine::instance().get_safe_name(name) : name);
  sql += " CASCADE";
  write_statement(sql);
  remove_table_name(name);
  for (auto it = created_.begin(); it != created_.end(); ++it) {
    if (udb_detail::same_name(it->name, name)) {
      created_.erase(it);
      break;
    }
  }
}

std::unique_ptr<udb_recordset> dmp_database::query(const std::u16string& sql) {
  TK_TRACE(2, "dmp_database::query(%s)", sql);
  std::string text;
  tk_append_utf8(text, sql);
  write_statement(text);
  return nullptr;
}
