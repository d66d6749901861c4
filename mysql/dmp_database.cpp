#include "dmp_database.h"

#include <algorithm>

#include "dmp_recordset.h"
#include "sql_exception.h"
#include "sql_indexes_initializer.h"
#include "sql_old_validator.h"
#include "sql_schema_initializer.h"
#include "tk_file_wname.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_unicode.h"
#include "tk_wstring.h"
#include "udb_name_compare.h"

namespace {

constexpr const char* source_unit = "sql_dump";

// The database a dump creates is named after the file when the options
// name none; a control character of the file name would break the
// statement lines the client reads, and becomes '_'.
std::u16string database_name(const std::u16string& path, const dump_options& options) {
  std::u16string name = options.db_name.empty() ? tk_file_wname(path).name() : tk_ansi_to_unicode(options.db_name);
  for (char16_t& c : name)
    if (c < 0x20 || c == 0x7F) c = u'_';
  return name;
}

sql_dialect dump_dialect(const dump_options& options) {
  return sql_dialect(options.dmp_new_ver ? sql_dialect::dump_version_new : sql_dialect::dump_version_old,
                     sql_dialect::target::dump);
}

}  // namespace

dmp_database::dmp_database(const std::u16string& path, const dump_options& options, const header_stamp& stamp,
                           create_settings settings)
    : sql_destination(database_name(path, options), mode_created, dump_dialect(options), std::move(settings)),
      file_([&] {
        std::string narrow;
        tk_unicode_to_ansi2(path, narrow);
        return narrow;
      }()),
      options_(options) {
  TK_TRACE(1, "b_new_ver=%d", options_.dmp_new_ver);
  if (options_.dmp_ins_com) write_header(stamp);
  file_.write(line_break());
  write_statement(dialect().set_names(this->settings().char_set));
  write_statement(dialect().session_sql_mode());
  if (options_.dmp_ins_db && options_.dmp_ins_tab) {
    // The name comes from the file's: refused here as the server would
    // refuse it when the dump is loaded.
    sql_dialect::check_droppable(name_);
    // Written bare for the old servers, it must be a plain word that is no
    // number: any other character could end the statement (a ';' in the
    // file name).
    // Nor a word the servers reserve (`select`).
    // Names hold characters of the Basic Multilingual Plane only.
    const bool beyond_bmp =
        std::any_of(name_.begin(), name_.end(), [](char16_t c) { return c >= 0xD800 && c <= 0xDFFF; });
    if (name_.empty() || name_.size() > 64 || name_.back() == u' ' || beyond_bmp ||
        (!dialect().quotes_names() && (!sql_dialect::is_plain_word(name_) || (name_[0] >= u'0' && name_[0] <= u'9') ||
                                       !sql_old_validator().is_acceptable(name_))))
      throw tk_exception(u"Incorrect database name '" + name_ + u"'", 1);
    write_database_statements();
  }
}

dmp_database::~dmp_database() { TK_TRACE(2, "dmp_database::dtor"); }

void dmp_database::finish() {
  if (file_.is_open()) {
    unlock_tables("dmp_database::~dmp_database - right before unlock tables");
    // Loaded by a session that does not commit on its own (autocommit off),
    // the rows after the last statement that commits (a CREATE, an UNLOCK
    // TABLES) would be undone when it ends: the dump commits them.
    if (dialect().quotes_names()) write_statement(dialect().commit());
  }
  file_.commit();
}

void dmp_database::write_line(std::string_view text) {
  file_.write(text);
  file_.write(line_break());
}

void dmp_database::write_header(const header_stamp& stamp) {
  std::string path = stamp.file_name;
  for (char& c : path)
    if (c == '\\') c = '/';
  write_line(dialect().comment_line("File name: " + path));
  write_line(dialect().comment_line("Creation date: " + stamp.creation_date));
  write_line(dialect().comment_line("Created by " + options_.banner));
  write_line(dialect().comment_line("--------------------------------------------------"));
  write_line(dialect().comment_line(std::string("More conversion tools at ") + web_address));
}

void dmp_database::write_database_statements() {
  file_.write(line_break());
  write_statement(dialect().drop_database(name_, true));
  write_statement(dialect().create_database(name_, settings().char_set));
  write_statement(dialect().use_database(name_));
}

void dmp_database::execute(std::string_view sql) {
  TK_TRACE(2, "dmp_database::query(%s)", sql);
  write_statement(sql);
}

void dmp_database::write_statement(std::string_view sql) {
  file_.write(sql);
  file_.write(";");
  file_.write(line_break());
}

void dmp_database::lock_table(const std::u16string& name) {
  if (lock_pending_ && locked_table_ == name) return;
  unlock_tables("dmp_database::create_table - right before unlock tables");
  if (!options_.dmp_loc_wri) return;
  write_statement(dialect().lock_table(name));
  lock_pending_ = true;
  locked_table_ = name;
}

void dmp_database::unlock_tables(const char* trace) {
  if (!lock_pending_) return;
  lock_pending_ = false;
  locked_table_.clear();
  TK_TRACE(1, "%s", trace);
  write_statement(dialect().unlock_tables());
}

const dmp_database::created_table* dmp_database::find_created(std::u16string_view name) const {
  for (const created_table& table : created_)
    if (udb_detail::same_name(table.name, name)) return &table;
  return nullptr;
}

std::unique_ptr<udb_recordset> dmp_database::create_table(const std::u16string& name, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  TK_TRACE(2, "dmp_database::create_table(%s)", name);
  if (const created_table* existing = find_created(name)) {
    // Two sources for one table (worksheets mapped to one name, merge
    // mode): the rows join the table as it was created.
    TK_TRACE(3, "Table '%s' is already in the dump file, appending to it", existing->name);
    lock_table(existing->name);
    return std::make_unique<dmp_recordset>(*this, existing->name, existing->schema);
  }

  std::u16string char_set, engine;
  table_options(name, char_set, engine);
  // A table the server would refuse gets no text at all, and the report a
  // live run gives.
  const std::u16string& table_engine = engine.empty() ? settings().table_engine : engine;
  const size_t max_columns =
      tk_wstring::equal_no_case(table_engine, u"InnoDB") ? max_innodb_columns : max_table_columns;
  if (schema.size() > max_columns) throw sql_exception("Too many columns", too_many_columns_error);
  sql_schema_initializer columns(schema, indexes, dialect());
  const std::vector<std::string>& definitions = columns.get_init_chunks();
  if (definitions.empty()) throw tk_mail_assertion(source_unit, __LINE__);
  // A mapped VARCHAR's length is bounded by the bytes of a row, in its
  // character set's widest character (of the sets whose width is known).
  const std::u16string& set = char_set.empty() ? settings().char_set : char_set;
  const uint32_t max_varchar =
      tk_wstring::equal_no_case(set, u"utf8mb4")                                              ? 16383
      : tk_wstring::equal_no_case(set, u"utf8") || tk_wstring::equal_no_case(set, u"utf8mb3") ? 21844
      : tk_wstring::equal_no_case(set, u"latin1") || tk_wstring::equal_no_case(set, u"ascii") ? 65532
                                                                                              : 0;
  for (size_t i = 0; i < columns.schema().size(); ++i) {
    const t_ftd& column = *columns.schema().fields[i];
    unsigned error_number = 0;
    if (std::string refusal = dialect().column_refusal(column, columns.column_name(i), error_number); !refusal.empty())
      throw sql_exception(std::move(refusal), error_number);
    const std::u16string_view word = sql_dialect::type_word(column.native_type);
    if (max_varchar != 0 && column.vartype == VT_BSTR && column.size > max_varchar &&
        (tk_wstring::equal_no_case(word, u"VARCHAR") || tk_wstring::equal_no_case(word, u"NVARCHAR") ||
         tk_wstring::equal_no_case(word, u"VARCHARACTER")))
      throw sql_exception("Column length too big for column '" + tk_unicode_to_utf8(columns.column_name(i)) +
                              "' (max = " + std::to_string(max_varchar) + "); use BLOB or TEXT instead",
                          1074);
  }
  // One column at most counts by itself (AUTO_INCREMENT, SERIAL), and it
  // must be a key: the first column of one in InnoDB, of any in the others.
  const bool innodb = tk_wstring::equal_no_case(table_engine, u"InnoDB");
  size_t counting = 0;
  bool unkeyed = false;
  for (size_t i = 0; i < columns.schema().size(); ++i) {
    const t_ftd& column = *columns.schema().fields[i];
    const std::u16string type = tk_wstring::to_lower(column.native_type);
    const bool serial = sql_dialect::type_word(type) == u"serial";
    if (!serial && type.find(u"auto_increment") == std::u16string::npos) continue;
    ++counting;
    const std::u16string& column_name = columns.column_name(i);
    const bool keyed = serial || type.find(u"key") != std::u16string::npos ||
                       type.find(u"unique") != std::u16string::npos ||
                       std::any_of(indexes.begin(), indexes.end(), [&](const udb_index& index) {
                         const auto named = [&](const std::u16string& f) {
                           return udb_detail::same_name(f, column_name) || udb_detail::same_name(f, column.name);
                         };
                         return innodb ? !index.fields.empty() && named(index.fields[0])
                                       : std::any_of(index.fields.begin(), index.fields.end(), named);
                       });
    unkeyed = unkeyed || !keyed;
  }
  if (counting > 1 || unkeyed)
    throw sql_exception("Incorrect table definition; there can be only one auto column and it must be defined as a key",
                        1075);
  sql_indexes_initializer key_maker(indexes, dialect());
  const std::vector<std::string> keys = key_maker.get_init_chunks(columns);

  // The table is made in the session's set, whatever the database it is
  // loaded into (servers before 4.1 know of none).
  const std::u16string_view table_set =
      dialect().version() >= sql_dialect::version_4_1_0 ? std::u16string_view(set) : std::u16string_view(char_set);
  unlock_tables("dmp_database::create_table - right before unlock tables");
  if (options_.dmp_ins_tab) {
    if (options_.dmp_ins_com) write_line(dialect().comment_block("Table structure for table", name, line_break()));
    delete_tab(name);
    TK_TRACE(1, "Right before inserting CREATE TABLE statement");
    write_statement(
        dialect().create_table(name, definitions, keys, table_set, engine, settings().table_engine, line_break()));
  }
  if (options_.dmp_ins_com) write_line(dialect().comment_block("Dumping data for table", name, line_break()));
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
  write_statement(dialect().drop_table(name));
  remove_table_name(name);
  for (auto it = created_.begin(); it != created_.end(); ++it) {
    if (udb_detail::same_name(it->name, name)) {
      created_.erase(it);
      break;
    }
  }
}
