#include "sql_recordset.h"

#include <cstdlib>

#include "sql_database.h"
#include "sql_engine.h"
#include "sql_exception.h"
#include "sql_limited_query.h"
#include "sql_util.h"
#include "tk_logger.h"
#include "tk_unicode.h"

namespace {
constexpr int geometry_type = 255;  // MYSQL_TYPE_GEOMETRY
}  // namespace

sql_recordset::sql_recordset(sql_database& database, std::u16string name, std::u16string table_or_query, bool is_query,
                             const udb_names_map* names_map)
    : udb_recordset(&database, std::move(name), is_query ? std::u16string() : table_or_query),
      db_(&database),
      names_map_(names_map),
      is_query_(is_query),
      source_(std::move(table_or_query)) {
  TK_TRACE(2, is_query ? "sql_recordset::sql_recordset2" : "sql_recordset::sql_recordset1");
  initialize();
}

sql_recordset::~sql_recordset() = default;

void sql_recordset::append_quoted(std::string& out, std::u16string_view name) {
  tk_append_utf8(out, sql_engine::instance().get_safe_name(name));
}

uint64_t sql_recordset::get_rec_count() {
  TK_TRACE(2, "sql_recordset::get_rec_count");
  std::string sql = "SELECT COUNT(*) FROM ";
  if (is_query_) {
    sql += '(';
    tk_append_utf8(sql, source_);
    sql += ") as query";
  } else {
    append_quoted(sql, source_);
  }
  sql_tmp_recordset rs(sql, db_->connection());
  uint64_t count = 0;
  if (!rs.is_eof()) count = std::strtoull(rs.get_record()->operator[](0).to_string().c_str(), nullptr, 10);
  TK_TRACE(2, "sql_recordset::get_rec_count - END (result=%d)", count);
  return count;
}

void sql_recordset::initialize() {
  TK_TRACE(2, "sql_recordset::initialize");
  sql_engine& engine = sql_engine::instance();
  TK_TRACE(1, "is_blob_to_text=%d", engine.blob_to_text);
  rec_count_ = get_rec_count();
  TK_TRACE(1, "get_rec_count returns %d", rec_count_);

  {
    sql_limited_query sample(db_->connection(), source_, !is_query_, sample_rows);
    const bool build = schema_.empty();
    sample.store_to(schema_);
    local_select_ = "SELECT ";
    for (unsigned i = 0; i < sample.n_fields(); ++i) {
      const MYSQL_FIELD& f = sample.fields()[i];
      const std::u16string column = tk_utf8_to_unicode(std::string_view(f.name, f.name_length));
      TK_TRACE(1, "GOT FIELD: name=%s, type=%d, size=%d, flags=%d", column, static_cast<int>(f.type), f.length,
               f.flags);
      if (i > 0) local_select_ += ',';
      if (static_cast<int>(f.type) == geometry_type) {
        TK_TRACE(1, "Got MYSQL_TYPE_GEOMETRY");
        local_select_ += "ST_AsText(";
        append_quoted(local_select_, column);
        local_select_ += ") as ";
        append_quoted(local_select_, column);
      } else {
        append_quoted(local_select_, column);
      }
      if (build && i < schema_.size() && schema_.fields[i]) {
        t_ftd& field = *schema_.fields[i];
        if (engine.blob_to_text && ole_variant::is_binary(field.vartype)) {
          TK_TRACE(1, "Change type from BLOB to TEXT");
          field.vartype = VT_BSTR;
        }
        if (field.vartype == VT_DECIMAL) TK_TRACE(1, "Scale/precision: (%d,%d)", field.scale, field.precision);
      }
      if (f.flags & AUTO_INCREMENT_FLAG) {
        TK_TRACE(1, "Got auto_number column: '%s'", column);
        auto_number_column_ = column;
      }
    }
    local_select_ += " FROM ";
    if (is_query_) {
      local_select_ += '(';
      tk_append_utf8(local_select_, source_);
      local_select_ += ") as query";
    } else {
      append_quoted(local_select_, source_);
    }
    TK_TRACE(1, "local_select_qry=%s", local_select_);
  }

  if (is_query_) {
    TK_TRACE(1, "It's a SQL-query, nothing to do anymore");
  } else if (!auto_number_column_.empty()) {
    TK_TRACE(1, "Refining auto_number '%s' (last value)", auto_number_column_);
    std::string sql = "select max( ";
    append_quoted(sql, auto_number_column_);
    sql += ") from ";
    append_quoted(sql, source_);
    TK_TRACE(1, "auto_number query=%s", sql);
    try {
      sql_tmp_recordset rs(sql, db_->connection());
      if (!rs.is_eof()) auto_number_last_ = std::atoll(rs.get_record()->operator[](0).to_string().c_str());
      TK_TRACE(1, "got last value=%d", auto_number_last_);
    } catch (const sql_exception& e) {
      TK_TRACE(3, "Failed to extract last value for auto_number column");
      TK_TRACE(3, "ERROR: %s", e.message());
    }
  }
  TK_TRACE(2, "sql_recordset::initialize - END");
}

sql_tmp_recordset& sql_recordset::reader() {
  if (!reader_) reader_ = std::make_unique<sql_tmp_recordset>(local_select_, db_->connection());
  return *reader_;
}

udb_record* sql_recordset::get_record() { return reader().get_record(); }
bool sql_recordset::is_eof() { return reader().is_eof(); }
void sql_recordset::move_next() { reader().move_next(); }
void sql_recordset::move_prev() { reader().move_prev(); }

void sql_recordset::reset() {
  // An unbuffered result cannot rewind: the rows are asked for again.
  reader_.reset();
}
