#include "sql_database.h"

#include <cstdlib>

#include "sql_exception.h"
#include "sql_handles.h"
#include "sql_indexes_initializer.h"
#include "sql_schema_initializer.h"
#include "sql_table.h"
#include "sql_tmp_recordset.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"
#include "tk_unicode.h"
#include "udb_field.h"
#include "udb_name_compare.h"

sql_database::sql_database(std::u16string name, MYSQL* connection, uint32_t mode, const sql_dialect& dialect,
                           create_settings settings, uint32_t packet_limit, sql_local_infile* infile)
    : sql_destination(std::move(name), mode, dialect, std::move(settings)),
      connection_(connection),
      max_allowed_packet_(packet_limit),
      infile_(infile) {
  TK_TRACE(2, "sql_database::sql_database(%s, mode=%d)", name_, mode_);
  init_tables();
}

sql_database::~sql_database() { TK_TRACE(2, "sql_database::dtor"); }

std::u16string sql_database::foreign_key_referrer(const std::u16string& table) const {
  return sql_tmp_recordset::first_qualified_name(dialect().foreign_key_referrers(table), connection_);
}

void sql_database::init_tables() {
  TK_TRACE(2, "sql_database::init_tables");
  if (dialect().version() >= sql_dialect::version_5_0_1) {
    TK_TRACE(1, "Extracting tables in new way");
    TK_TRACE(2, "sql_list_tables_rs::ctor");
    sql_tmp_recordset rs(dialect().list_tables(), connection_);
    for (; !rs.is_eof(); rs.move_next()) {
      const udb_record& row = *rs.get_record();
      TK_TRACE(1, "Got table name: '%s'", row[0].to_wstring());
      add_table_name(row[0].to_wstring());
    }
    return;
  }
  TK_TRACE(1, "Extracting tables in old way");
  sql_result result(mysql_list_tables(connection_, nullptr));
  if (!result) throw sql_exception(connection_);
  while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
    const unsigned long* lengths = mysql_fetch_lengths(result.get());
    std::u16string table = tk_utf8_to_unicode(std::string_view(row[0] ? row[0] : "", row[0] ? lengths[0] : 0));
    TK_TRACE(1, "Got table name: '%s'", table);
    add_table_name(std::move(table));
  }
}

std::unique_ptr<udb_recordset> sql_database::create_table(const std::u16string& name, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  TK_TRACE(2, "sql_database::create_table(%s)", name);
  if (mode_ & mode_read_only) throw tk_mail_assertion("sql_data", __LINE__);
  if (is_table_exist(name, false)) return get_table(name, mode_append);

  std::u16string char_set, engine;
  table_options(name, char_set, engine);
  sql_schema_initializer columns(schema, indexes, dialect());
  const std::vector<std::string>& definitions = columns.get_init_chunks();
  sql_indexes_initializer keys(indexes, dialect());
  const std::string sql = dialect().create_table(name, definitions, keys.get_init_chunks(columns), char_set, engine,
                                                 settings().table_engine, {});
  TK_TRACE(3, "Run SQL-query: %s\n", sql);
  query_append(sql);

  add_table_name(name);
  TK_TRACE(1, "Step #1");
  TK_TRACE(1, "udb_names_map::add_fn_map(%s)", name);
  names_map_.add_fn_map(name, columns.generated_names());
  TK_TRACE(1, "Step #2");
  return get_table(name, mode_created);
}

namespace {

// Whether the server's file of a table may be too long a name: it writes a
// character other than an ASCII letter, digit or '_' in up to five bytes,
// and a file name (with its extension) takes 255 at most.
bool may_be_too_long_for_a_file(std::u16string_view name) {
  size_t bytes = 4;  // the extension
  for (const char16_t c : name) {
    const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
    bytes += plain ? 1 : 5;
  }
  return bytes > 255;
}

constexpr unsigned table_exists_error = 1050;

}  // namespace

void sql_database::try_definition(const std::u16string& name, const udb_schema& schema, const udb_indexes& indexes) {
  TK_TRACE(2, "sql_database::try_definition(%s)", name);
  std::u16string char_set, engine;
  table_options(name, char_set, engine);
  if (char_set.empty()) char_set = settings().char_set;
  sql_schema_initializer columns(schema, indexes, dialect());
  sql_indexes_initializer keys(indexes, dialect());
  const std::u16string trial = unused_table_name();
  const std::vector<std::string>& definitions = columns.get_init_chunks();
  const std::vector<std::string> key_definitions = keys.get_init_chunks(columns);
  // The server's refusal names the table tried: it is told of the table.
  const auto refused = [&](const sql_exception& e) {
    std::string message = e.message();
    const std::string tried = tk_unicode_to_utf8(trial);
    for (size_t at = message.find(tried); at != std::string::npos; at = message.find(tried, at))
      message.replace(at, tried.size(), tk_unicode_to_utf8(name));
    return sql_exception(std::move(message), e.error_number(), e.level());
  };
  bool as_table = false;
  try {
    query_append(dialect().create_temporary_table(trial, definitions, key_definitions, char_set, engine,
                                                  settings().table_engine));
    query_append(dialect().drop_temporary_table(trial));
  } catch (const sql_exception& e) {
    switch (e.error_number()) {
      case 1044:  // no right to make temporary tables in the database
      case 1142:
      case 1227:
        TK_TRACE(3, "The definition of '%s' is not tried: %s", name, e.message());
        return;
      case 1478:  // the engine has no temporary tables: a table of its own
        as_table = true;
        break;
      default:
        throw refused(e);
    }
  }
  const auto try_table = [&](const std::u16string& table) {
    query_append(
        dialect().create_table(table, definitions, key_definitions, char_set, engine, settings().table_engine, {}));
    try {
      query_append(dialect().drop_table(table));
    } catch (const sql_exception& e) {
      throw tk_exception(u"The table '" + table + u"', made to try the definition of '" + name +
                             u"', is left in the database: " + tk_utf8_to_unicode(e.message()),
                         1);
    }
  };
  if (as_table) {
    try {
      try_table(trial);
    } catch (const sql_exception& e) {
      throw refused(e);
    }
  }
  // A name the server may not make a file of is tried itself, unless an
  // object of the database (a table, a view) holds it already.
  if (!may_be_too_long_for_a_file(name) || is_table_exist(name, false)) return;
  try {
    try_table(name);
  } catch (const sql_exception& e) {
    if (e.error_number() != table_exists_error) throw;
  }
}

void sql_database::delete_tab(const std::u16string& name) {
  TK_TRACE(2, "sql_database::delete_tab (%s)", name);
  if ((mode_ & mode_read_only) || !is_table_exist(name, false)) throw tk_mail_assertion("sql_data", __LINE__);
  execute(dialect().drop_table(listed_name(name)));
  udb_database::delete_tab(name);
}

std::unique_ptr<udb_recordset> sql_database::get_table(const std::u16string& name, uint32_t mode) {
  TK_TRACE(2, "sql_database::get_table(%s)", name);
  // The table is opened by the name it has on the server.
  if (!is_table_exist(name, false)) {
    TK_TRACE(3, "Table '%s' does not exists", name);
    throw tk_mail_assertion("sql_data", __LINE__);
  }
  return std::make_unique<sql_table>(*this, listed_name(name), mode);
}

void sql_database::execute(std::string_view sql) {
  TK_TRACE(2, "sql_database::query(%s)", sql);
  query_append(sql);
}

uint32_t sql_database::max_allowed_packet() {
  TK_TRACE(2, "sql_engine::get_max_allowed_packet");
  if (max_allowed_packet_ != 0) return max_allowed_packet_;
  sql_tmp_recordset rs(dialect().show_max_allowed_packet(), connection_);
  if (!rs.is_eof()) {
    const udb_record* row = rs.get_record();
    if (row && row->size() >= 2) {
      const std::string text = (*row)[1].to_string();
      max_allowed_packet_ = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
    }
  }
  TK_TRACE(1, "max_packet_size=%d", max_allowed_packet_);
  return max_allowed_packet_;
}

void sql_database::query_append(std::string_view sql) {
  TK_TRACE(1, "sql_database::query_append(q_len=%d)", sql.size());
  sender_.wait();
  TK_TRACE(1, "sql_database::do_query1(%s)", sql);
  mysql_real_query(connection_, sql.data(), static_cast<unsigned long>(sql.size()));
  sql_result result(mysql_errno(connection_) == 0 ? mysql_use_result(connection_) : nullptr);
  if (mysql_errno(connection_) != 0) {
    TK_TRACE(3, "QUERY=%s", sql.substr(0, 4096));
    throw sql_exception(connection_);
  }
}

void sql_database::prepared_statement(std::string_view sql, const udb_record& record) {
  std::vector<const udb_field*> cells;
  cells.reserve(record.size());
  for (size_t i = 0; i < record.size(); ++i) cells.push_back(&record[i]);
  prepared_statement(sql, cells);
}

void sql_database::prepared_statement(std::string_view sql, std::span<const udb_field* const> cells) {
  TK_TRACE(2, "sql_database::prepared_statement(%s, %d)", sql.substr(0, 4096), cells.size());
  sender_.wait();
  sql_stmt stmt(mysql_stmt_init(connection_));
  if (!stmt) throw sql_prep_stmt_failed_exception();
  if (mysql_stmt_prepare(stmt.get(), sql.data(), static_cast<unsigned long>(sql.size())) != 0) {
    TK_TRACE(3, "mysql_stmt_prepare failed: error=%s", mysql_stmt_error(stmt.get()));
    throw sql_prep_stmt_failed_exception();
  }

  std::vector<const udb_field*> bound;
  for (size_t i = 0; i < cells.size(); ++i) {
    const udb_field* cell = cells[i];
    if (cell && !cell->is_empty() && cell->get_size() > sql_max_inline_field_size) {
      TK_TRACE(1, "Binding field #%d", i);
      bound.push_back(cell);
    } else {
      TK_TRACE(1, "Field #%d is not supposed to be bound", i);
    }
  }
  std::vector<MYSQL_BIND> binds(bound.size());
  std::vector<unsigned long> lengths(bound.size(), 0);
  for (size_t i = 0; i < bound.size(); ++i) {
    binds[i] = MYSQL_BIND{};
    // Text is text of the session's character set, which the server turns
    // into the column's (as bytes it would be stored as they are).
    binds[i].buffer_type = bound[i]->is_binary() ? MYSQL_TYPE_BLOB : MYSQL_TYPE_STRING;
    binds[i].length = &lengths[i];
  }
  if (mysql_stmt_bind_param(stmt.get(), binds.data()) != 0) {
    TK_TRACE(3, "Binding failed: error=%s", mysql_stmt_error(stmt.get()));
    throw sql_prep_stmt_failed_exception();
  }

  auto send = [&](unsigned param, size_t pos, const char* data, size_t n) {
    TK_TRACE(1, "prepared_statement: pos=%d, buf=%s", pos, std::string_view(data, std::min<size_t>(n, 64)));
    if (mysql_stmt_send_long_data(stmt.get(), param, data, static_cast<unsigned long>(n)) != 0) {
      TK_TRACE(3, "mysql_stmt_send_long_data failed (pos=%d, res=%d, error=%s)", pos, 1, mysql_stmt_error(stmt.get()));
      throw sql_prep_stmt_failed_exception();
    }
  };
  std::string chunk;
  for (size_t i = 0; i < bound.size(); ++i) {
    const udb_field& cell = *bound[i];
    const unsigned param = static_cast<unsigned>(i);
    TK_TRACE(1, "Reading field #%d (size=%d)", i, cell.get_size());
    if (cell.is_binary()) {
      const std::vector<uint8_t>& bytes = cell.bytes();
      for (size_t pos = 0; pos < bytes.size(); pos += long_data_chunk_bytes)
        send(param, pos, reinterpret_cast<const char*>(bytes.data()) + pos,
             std::min(long_data_chunk_bytes, bytes.size() - pos));
      continue;
    }
    // Text read as UTF-8 goes as it stands (bytes of a character split
    // between chunks join again at the server).
    if (const auto utf8 = cell.utf8()) {
      for (size_t pos = 0; pos < utf8->size(); pos += long_data_chunk_bytes)
        send(param, pos, utf8->data() + pos, std::min(long_data_chunk_bytes, utf8->size() - pos));
      continue;
    }
    // Other text goes as UTF-8, converted a slice at a time into one chunk
    // buffer and sent whenever a full chunk is ready.
    std::u16string wide;
    const std::u16string* text = &cell.text();
    if (cell.get_type() != VT_BSTR) {
      wide = cell.to_wstring();
      text = &wide;
    }
    chunk.clear();
    chunk.reserve(long_data_chunk_bytes * 2);
    size_t sent = 0;
    constexpr size_t slice_units = long_data_chunk_bytes / 4;
    for (size_t pos = 0; pos < text->size();) {
      size_t n = std::min(slice_units, text->size() - pos);
      // Never split a surrogate pair between slices.
      if (pos + n < text->size() && (*text)[pos + n - 1] >= 0xD800 && (*text)[pos + n - 1] <= 0xDBFF) ++n;
      tk_append_utf8(chunk, std::u16string_view(*text).substr(pos, n));
      pos += n;
      while (chunk.size() >= long_data_chunk_bytes) {
        send(param, sent, chunk.data(), long_data_chunk_bytes);
        sent += long_data_chunk_bytes;
        chunk.erase(0, long_data_chunk_bytes);
      }
    }
    if (!chunk.empty()) send(param, sent, chunk.data(), chunk.size());
  }

  if (mysql_stmt_execute(stmt.get()) != 0) {
    TK_TRACE(3, "QUERY=%s", sql.substr(0, 4096));
    TK_TRACE(3, "mysql_stmt_execute failed: error=%s", mysql_stmt_error(stmt.get()));
    size_t row_size = 0;
    for (const udb_field* cell : cells)
      if (cell && !cell->is_empty()) row_size += cell->get_size();
    TK_TRACE(3, "row size=%d", row_size);
    // The server's refusal of the row (a value its column cannot hold) is
    // that row's, as it is for any other statement.
    if (mysql_stmt_errno(stmt.get()) != 0) throw sql_exception(stmt.get());
    throw sql_prep_stmt_failed_exception();
  }
}
