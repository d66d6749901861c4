#include "sql_table.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "error_handler.h"
#include "sql_database.h"
#include "sql_exception.h"
#include "sql_field.h"
#include "sql_field_finder.h"
#include "sql_tmp_recordset.h"
#include "tk_format.h"
#include "tk_interrupt.h"
#include "tk_logger.h"
#include "tk_unicode.h"
#include "tk_wstring.h"
#include "udb_validator.h"

namespace {

constexpr const char* conformance_message =
    "The structure of data source does not conform to the destination table. For more information see "
    "Troubleshooting article";

// Open modes that ask for the columns only.
constexpr uint32_t mode_no_indexes_mask = 32u | 64u;

// Shows a failure of a send that cannot stop the run (the destructor's, the
// one before switching to one statement per record).
void report_send_failure(std::u16string_view table, const tk_exception& e) {
  const std::string text = tk_format("Table '%s': ERROR '%s'", table, e.message());
  TK_TRACE(3, "%s", text);
  if (error_handler* handler = error_handler::instance_ptr()) handler->handle(tk_exception(text, 0));
}

// The descriptor of one result column.
t_ftd describe(const MYSQL_FIELD& field) {
  t_ftd column;
  column.name = tk_utf8_to_unicode(std::string_view(field.name, field.name_length));
  column.vartype = sql_field::vartype_of(static_cast<int>(field.type), field.flags);
  // The server's length is in bytes of the column's character set; the
  // refinement from SHOW COLUMNS gives text columns their character count.
  column.size = static_cast<uint32_t>(field.length);
  column.b_not_null = (field.flags & NOT_NULL_FLAG) != 0;
  column.b_auto_increment = (field.flags & AUTO_INCREMENT_FLAG) != 0;
  if (column.vartype == VT_DECIMAL) {
    column.scale = field.decimals;
    // The display length counts the sign and the point.
    uint32_t digits = static_cast<uint32_t>(field.length);
    if (digits > 0 && !(field.flags & UNSIGNED_FLAG)) --digits;
    if (digits > 0 && field.decimals > 0) --digits;
    column.precision = digits;
  }
  return column;
}

}  // namespace

sql_table::sql_table(sql_database& database, std::u16string table, uint32_t mode)
    : sql_row_writer(&database, table, table), db_(database), dialect_(database.dialect()) {
  TK_TRACE(2, "sql_table::ctor");
  const uint32_t packet = db_.max_allowed_packet();
  packet_cap_ = packet > packet_slack ? packet - packet_slack : max_statement_bytes;
  statement_cap_ = std::min(max_statement_bytes, packet_cap_);
  TK_TRACE(2, "sql_table::initialize(%d)", mode);
  read_columns();
  {
    sql_tmp_recordset rs(dialect_.table_transactions(table_), db_.connection());
    const udb_record* row = rs.is_eof() ? nullptr : rs.get_record();
    transactional_ = row && row->size() >= 1 && (*row)[0].to_string() == "YES";
    triggered_ = row && row->size() >= 2 && (*row)[1].to_string() != "0";
  }
  // Strict for every table: a server that is not would store a value
  // altered with a warning, which the path of rows sent one by one (past a
  // record too large for a batch) does not look for.
  db_.execute(dialect_.session_strict_all_tables());
  if ((mode & ~mode_no_indexes_mask) == 0) {
    TK_TRACE(1, "Mode=no_indexes, nothing to do");
    return;
  }
  read_indexes();
}

sql_table::~sql_table() {
  try {
    flush();
  } catch (const tk_exception& e) {
    report_send_failure(table_, e);
  } catch (...) {
    // Nothing may leave a destructor; the trace has what the library said.
  }
}

void sql_table::read_columns() {
  {
    // The columns as the result of a statement describes them, without rows.
    sql_tmp_recordset sample(dialect_.select_no_rows(table_), db_.connection());
    for (unsigned i = 0; i < sample.n_fields(); ++i) schema_.push_back(describe(sample.fields()[i]));
  }
  // The definition statements answer with binary columns on some servers.
  sql_tmp_recordset rs(dialect_.show_columns(table_), db_.connection(), true);
  for (; !rs.is_eof(); rs.move_next()) {
    const udb_record& row = *rs.get_record();
    if (row.size() < 5) continue;
    const std::u16string name = row[0].to_wstring();
    const std::string type = row[1].to_string();
    TK_TRACE(1, "Field '%s' has type: %s", name, type);
    t_ftd* field = schema_.find(name);
    if (!field) continue;
    // A generated column takes no value: the table computes it. To the rows
    // it is as if the table had no such column.
    if (row.size() >= 6 && row[5].to_string().find("GENERATED") != std::string::npos) {
      TK_TRACE(1, "Field '%s' is generated", name);
      std::erase_if(schema_.fields, [field](const std::unique_ptr<t_ftd>& f) { return f.get() == field; });
      continue;
    }
    // The server's own type text, so that a column change to the type the
    // column already has can be told apart.
    field->native_type = tk_widen_ascii(type);
    int a = 0, b = 0;
    char tail = 0;
    if (std::sscanf(type.c_str(), "varchar(%d%c", &a, &tail) == 2 && tail == ')') {
      TK_TRACE(1, "Refining type/size for varchar(%d)", a);
      field->vartype = VT_BSTR;
      field->size = static_cast<uint32_t>(a);
    } else if (std::sscanf(type.c_str(), "float(%d,%d)", &a, &b) == 2 && a != 0 && b != 0 && a > b) {
      TK_TRACE(1, "Refining type for FLOAT(%d,%d)", a, b);
      field->vartype = VT_DECIMAL;
      field->precision = static_cast<uint32_t>(a);
      field->scale = static_cast<uint32_t>(b);
    } else if (ole_variant::is_binary(field->vartype) &&
               tk_wstring::to_lower(tk_widen_ascii(type)).find(u"text") != std::u16string::npos) {
      TK_TRACE(1, "Change type from BLOB to TEXT");
      field->vartype = VT_BSTR;
    }

    const udb_field& def = row[4];
    if (def.is_null() || def.is_empty()) continue;
    const std::u16string text = def.to_wstring();
    TK_TRACE(1, "Got default value: %s", text);
    if (field->vartype == VT_BOOL && (text == u"b'0'" || text == u"b'1'")) {
      TK_TRACE(1, "Special processing for boolean");
      field->def_value = ole_variant(text == u"b'1'");
    } else if (field->vartype == VT_DATE) {
      if (text.empty() || text == u"0000-00-00" || text == u"0000-00-00 00:00:00" || text == u"00000000000000") {
        TK_TRACE(1, "Skip empty def.values for date column");
      } else if (tk_wstring::starts_with(text, u"CURRENT_TIMESTAMP", true)) {
        TK_TRACE(1, "Special processing for CURRENT_TIMESTAMP");
        field->reserved = t_ftd::date_time_default_now;
      } else {
        field->def_value = ole_variant(std::u16string_view(text));
      }
    } else {
      field->def_value = ole_variant(std::u16string_view(text));
    }
    TK_TRACE(1, "Default value's type: %08X", field->def_value.get_type());
  }
}

void sql_table::read_indexes() {
  sql_tmp_recordset rs(dialect_.show_index(table_), db_.connection(), true);
  // Rows come per index in column order: Non_unique (1), Key_name (2), Column_name (4).
  udb_index index;
  auto store = [&]() {
    if (index.name.empty()) return;
    TK_TRACE(1, "Got index '%s' (primary=%d, unique=%d)", index.name, index.b_primary, index.b_unique);
    add_index(index);
  };
  for (; !rs.is_eof(); rs.move_next()) {
    const udb_record& row = *rs.get_record();
    if (row.size() < 5) continue;
    const std::u16string key = row[2].to_wstring();
    if (key != index.name) {
      store();
      index = udb_index(key, row[1].to_string() == "0", key == u"PRIMARY");
    }
    index.fields.push_back(row[4].to_wstring());
  }
  store();
}

bool sql_table::same_layout(const udb_record& record) const {
  if (record.size() != layout_names_.size() || slots_.empty()) return false;
  if (record.layout() != 0 && record.layout() == layout_) return true;
  for (size_t i = 0; i < record.size(); ++i)
    if (record[i].name() != layout_names_[i]) return false;
  return true;
}

void sql_table::prepare_layout(const udb_record& record) {
  // Until the match is complete no layout is known: a record that does not
  // conform leaves none that a later record could take for its own.
  slots_.clear();
  layout_names_.clear();
  if (schema_.size() > record.size()) {
    TK_TRACE(1, "Size of record is less than size of schema");
    const auto validator = dialect_.create_fn_validator(record);
    for (size_t i = 0; i < record.size(); ++i) {
      // A column of the field's own name, or of the name the table would
      // have been given for it.
      const std::u16string_view mapped = validator->get_mapped_name(record[i].name());
      TK_TRACE(1, "Name=%s, mapped name=%s", record[i].name(), mapped);
      const t_ftd* column = schema_.find(record[i].name());
      if (!column) column = schema_.find(mapped);
      if (!column) {
        TK_TRACE(3, "Field %s not found", mapped);
        throw tk_exception(conformance_message, 0);
      }
      slots_.push_back({column, i});
    }
  } else {
    TK_TRACE(1, "Size of schema is less or equal to the size of record");
    const sql_field_finder finder(record, dialect_);
    for (const auto& column : schema_.fields) {
      if (!column) continue;
      const ptrdiff_t at = finder.get_field_idx(column->name);
      if (at < 0) {
        TK_TRACE(3, "Field %s not found in appending record", column->name);
        throw tk_exception(conformance_message, 0);
      }
      slots_.push_back({column.get(), static_cast<size_t>(at)});
    }
  }
  layout_names_.clear();
  for (size_t i = 0; i < record.size(); ++i) layout_names_.push_back(record[i].name());
  layout_ = record.layout();

  using verb = sql_dialect::insert_verb;
  batch_head_.clear();
  dialect_.append_insert_head(batch_head_, verb::insert_ignore, table_, slots_);
  single_head_.clear();
  dialect_.append_insert_head(single_head_, verb::insert, table_, slots_);
  load_format_.reset();
  if (transactional_ && !triggered_ && db_.local_infile()) {
    load_format_ = std::make_unique<sql_load_format>(slots_);
    load_statement_ = dialect_.load_data(table_, slots_, db_.settings().char_set);
  }
}

void sql_table::settle() noexcept {
  // What the destructor would send goes now, while its stored rows and
  // refusals can still be told.
  try {
    flush();
  } catch (const tk_exception& e) {
    report_send_failure(table_, e);
  } catch (...) {
  }
}

void sql_table::flush() {
  post_pending();
  db_.sender().wait();
}

void sql_table::post_pending() {
  if (stopped_) {
    pending_.clear();
    row_starts_.clear();
  }
  if (pending_.empty()) return;
  TK_TRACE(1, "Run SQL query: [%s]", std::string_view(pending_).substr(0, 4096));
  // The block in flight must be through before its buffers take the next.
  db_.sender().wait();
  sent_.text.swap(pending_);
  sent_.starts.swap(row_starts_);
  sent_.first_row = batch_first_row_;
  // The batch is gone whether or not the server takes it: a failure is
  // reported once, and the next row starts a fresh statement.
  pending_.clear();
  row_starts_.clear();
  ++posted_;
  db_.sender().post([this] { send_or_stop(sent_); });
}

void sql_table::send_or_stop(const batch& b) {
  try {
    send(b);
  } catch (const sql_exception& e) {
    // Whatever fails a block's statements (opening its transaction too)
    // ends the run at the block.
    if (e.row() == 0) refuse_statement(e, b, 0);
    throw;
  } catch (...) {
    stopped_ = true;
    throw;
  }
}

void sql_table::send(const batch& b) {
  if (!transactional_ || triggered_) return send_rows_alone(b);
  if (load_format_ && !load_refused_ && send_load(b)) return;
  if (b.text.size() <= statement_cap_) {
    send_batch(b, b.text, 0, b.starts.size(), true);
    return;
  }
  send_inserts(b, 0, b.starts.size());
}

std::string_view sql_table::batch::row(size_t i) const {
  const size_t begin = starts[i];
  // Rows are separated by ", ".
  const size_t end = i + 1 < starts.size() ? starts[i + 1] - 2 : text.size();
  return std::string_view(text).substr(begin, end - begin);
}

void sql_table::send_rows_alone(const batch& b) {
  MYSQL* connection = db_.connection();
  size_t next = 0;
  while (next < b.starts.size()) {
    tk_interrupt::check();
    // One INSERT per row, several to an exchange: the server runs them in
    // order and stops at the first it refuses, which tells the row.
    job_statement_.clear();
    size_t end = next;
    for (; end < b.starts.size(); ++end) {
      const std::string_view row = b.row(end);
      if (end > next && job_statement_.size() + 1 + single_head_.size() + row.size() > statement_cap_) break;
      if (end > next) job_statement_ += ';';
      job_statement_ += single_head_;
      job_statement_ += row;
    }
    TK_TRACE(1, "Run SQL query: [%s] (%d rows alone)", std::string_view(job_statement_).substr(0, 4096), end - next);
    if (mysql_set_server_option(connection, MYSQL_OPTION_MULTI_STATEMENTS_ON) != 0) throw sql_exception(connection);
    size_t failed = end;
    unsigned code = 0;
    std::string message;
    int status = mysql_real_query(connection, job_statement_.data(), job_statement_.size());
    for (size_t k = next;; ++k) {
      if (status > 0 || (status != 0 && k == next)) {
        failed = k;
        code = mysql_errno(connection);
        message = mysql_error(connection);
        break;
      }
      if (MYSQL_RES* result = mysql_store_result(connection)) mysql_free_result(result);
      status = mysql_next_result(connection);
      if (status == -1) break;
    }
    // Statements of one text are this writer's alone.
    // The rows before the one refused are stored, whatever follows.
    tell_stored(failed - next, failed - next);
    if (mysql_set_server_option(connection, MYSQL_OPTION_MULTI_STATEMENTS_OFF) != 0 && failed == end)
      throw sql_exception(connection);
    if (failed == end) {
      next = end;
      continue;
    }
    next = failed + 1;
    if (code == duplicate_key_error) {
      tell_stored(1, 0);
      continue;
    }
    const sql_exception e(message, code);
    // A refusal of the table's or the server's would refuse every later row
    // too: it ends the run. Any other is the row's.
    if (sql_exception::refuses_every_row(code)) refuse_statement(e, b, failed);
    refuse_later(b.first_row + failed + 1, std::make_exception_ptr(e));
  }
}

void sql_table::send_inserts(const batch& b, size_t first, size_t end) {
  while (first < end) {
    tk_interrupt::check();
    job_statement_.assign(batch_head_);
    size_t last = first;
    for (; last < end; ++last) {
      const std::string_view row = b.row(last);
      // The same margin as a batch being built: the head once more.
      if (last > first && job_statement_.size() + 2 + row.size() + batch_head_.size() > statement_cap_) break;
      if (last > first) job_statement_ += ", ";
      job_statement_ += row;
    }
    send_batch(b, job_statement_, first, last, true);
    first = last;
  }
}

bool sql_table::send_load(const batch& b) {
  sql_local_infile* feed = db_.local_infile();
  if (!feed) return false;
  load_text_.clear();
  if (!load_format_->append(load_text_, std::string_view(b.text).substr(b.starts.front()))) {
    TK_TRACE(1, "Rows of table '%s' go as INSERT statements", table_);
    return false;
  }
  MYSQL* connection = db_.connection();
  const std::string rollback = dialect_.rollback();
  TK_TRACE(1, "Run SQL query: [%s] (%d rows)", load_statement_, b.starts.size());
  db_.query_append(dialect_.start_transaction());
  feed->offer(load_text_);
  try {
    db_.query_append(load_statement_);
  } catch (const sql_exception& e) {
    feed->release();
    mysql_real_query(connection, rollback.data(), rollback.size());
    const unsigned code = e.error_number();
    const bool no_local_infile = code == not_allowed_command || code == local_infile_disabled ||
                                 code == local_infile_rejected || code == local_infile_capability_disabled;
    if (!no_local_infile) {
      if (sql_exception::refuses_every_row(code)) refuse_statement(e, b, 0);
      // A row's refusal (a trigger's, a CHECK's): the INSERT statements
      // find the row.
      TK_TRACE(2, "LOAD DATA refused (%d): %s", code, e.message());
      return false;
    }
    // The server (or its settings) takes no local infile: the run's rows go
    // as INSERT statements from now on.
    TK_TRACE(3, "LOAD DATA LOCAL refused (%d): %s", code, e.message());
    feed->set_available(false);
    load_refused_ = true;
    return false;
  }
  feed->release();
  const uint64_t stored = mysql_affected_rows(connection);
  std::string message;
  unsigned code = 0;
  bool may_hide = false;
  if ((mysql_warning_count(connection) == 0 || !bad_warning(message, code, may_hide)) && !may_hide) {
    db_.query_append(dialect_.commit());
    tell_stored(b.starts.size(), stored);
    if (!loading_) TK_TRACE(3, "Rows of table '%s' go through LOAD DATA LOCAL", table_);
    loading_ = true;
    return true;
  }
  // LOCAL turns refusals into warnings: undo the block and let the INSERT
  // statements tell the rows apart.
  TK_TRACE(2, "LOAD DATA warning %d: %s", code, message);
  db_.query_append(rollback);
  return false;
}

void sql_table::send_batch(const batch& b, std::string_view sql, size_t first, size_t end, bool whole) {
  MYSQL* connection = db_.connection();
  const std::string rollback = dialect_.rollback();
  db_.query_append(dialect_.start_transaction());
  try {
    db_.query_append(sql);
  } catch (const sql_exception& e) {
    mysql_real_query(connection, rollback.data(), rollback.size());
    // A refusal of the table's or the server's ends the run; for a row's (a
    // trigger's, a CHECK's, a value the server cannot read) the batch is
    // split until the refused rows stand alone.
    if (sql_exception::refuses_every_row(e.error_number())) refuse_statement(e, b, first);
    if (whole) TK_TRACE(3, "Sending the rows of table '%s' in parts", table_);
    retry_rows(b, first, end);
    return;
  } catch (...) {
    mysql_real_query(connection, rollback.data(), rollback.size());
    throw;
  }
  const uint64_t stored = mysql_affected_rows(connection);
  std::string message;
  unsigned code = 0;
  bool may_hide = false;
  if (mysql_warning_count(connection) == 0 || !bad_warning(message, code, may_hide)) {
    if (!may_hide) {
      db_.query_append(dialect_.commit());
      tell_stored(end - first, stored);
      return;
    }
  }
  // INSERT IGNORE turns the strict mode's errors into warnings: a value cut
  // or replaced would be stored without a word. Undo the batch and let
  // every row stand or fall on its own.
  db_.query_append(rollback);
  std::string ignored;
  unsigned rollback_code = 0;
  bool unused = false;
  if (mysql_warning_count(connection) != 0 && bad_warning(ignored, rollback_code, unused) &&
      rollback_code == non_transactional_rollback) {
    // The table keeps no transactions: the rows are stored as the server
    // altered them; the user is told.
    TK_TRACE(3, "Batch warning %d: %s", code, message);
    throw sql_exception(message, code);
  }
  if (whole) TK_TRACE(3, "Sending the rows of table '%s' in parts", table_);
  retry_rows(b, first, end);
}

void sql_table::retry_rows(const batch& b, size_t first, size_t end) {
  // A batch of many refused rows takes many statements: a request to stop
  // is honoured between them.
  tk_interrupt::check();
  if (end - first > 1) {
    // Halves, each tried whole: a few statements find the refused rows
    // among thousands.
    const size_t mid = first + (end - first) / 2;
    for (const auto& [lo, hi] : {std::pair{first, mid}, std::pair{mid, end}}) {
      if (hi - lo == 1) {
        retry_rows(b, lo, hi);
        continue;
      }
      std::string sql(batch_head_);
      for (size_t i = lo; i < hi; ++i) {
        if (i > lo) sql += ", ";
        sql += b.row(i);
      }
      send_batch(b, sql, lo, hi, false);
    }
    return;
  }
  MYSQL* connection = db_.connection();
  const std::string rollback = dialect_.rollback();
  std::string sql(batch_head_);
  sql.append(b.row(first));
  const uint64_t row_number = b.first_row + first + 1;
  try {
    db_.query_append(dialect_.start_transaction());
    db_.query_append(sql);
  } catch (const sql_exception& e) {
    mysql_real_query(connection, rollback.data(), rollback.size());
    if (sql_exception::refuses_every_row(e.error_number())) refuse_statement(e, b, first);
    refuse_later(row_number, std::current_exception());
    return;
  } catch (const tk_exception&) {
    mysql_real_query(connection, rollback.data(), rollback.size());
    refuse_later(row_number, std::current_exception());
    return;
  }
  const uint64_t stored = mysql_affected_rows(connection);
  std::string message;
  unsigned code = 0;
  bool may_hide = false;
  if (mysql_warning_count(connection) != 0 && (bad_warning(message, code, may_hide) || may_hide)) {
    db_.query_append(rollback);
    refuse_later(row_number, std::make_exception_ptr(sql_exception(message, code)));
  } else {
    db_.query_append(dialect_.commit());
    tell_stored(1, stored);
  }
}

void sql_table::refuse_statement(const sql_exception& e, const batch& b, size_t first) {
  // The values of a statement of IGNORE rows come back as warnings: an
  // error is the table's or the server's (a full table or disk, a lock, a
  // right, the connection) and would refuse every row after it too. The
  // rows sent before stay stored; the run ends here rather than lose the
  // rest one batch at a time.
  stopped_ = true;
  sql_exception failure(e.message(), e.error_number(), 1);
  failure.set_row(b.first_row + first + 1);
  throw failure;
}

void sql_table::refuse_later(uint64_t row_number, std::exception_ptr refusal) {
  auto report = [this, row_number, refusal] {
    try {
      std::rethrow_exception(refusal);
    } catch (const tk_exception& e) {
      refuse_row(row_number, e);
    }
  };
  if (db_.sender().on_worker())
    db_.sender().tell(report);
  else
    report();
}

void sql_table::tell_stored(uint64_t rows, uint64_t stored) {
  if (rows == 0) return;
  const uint64_t held = stored < rows ? rows - stored : 0;
  if (db_.sender().on_worker())
    db_.sender().tell([this, stored, held] { commit_rows(stored, held); });
  else
    commit_rows(stored, held);
}

void sql_table::refuse_too_large() {
  TK_TRACE(3, "Statement over the packet limit of %d bytes", packet_cap_);
  refuse_row(n_records_ + 1, sql_exception(packet_too_large, packet_too_large_error, 0));
}

bool sql_table::bad_warning(std::string& message, unsigned& code, bool& may_hide) {
  const unsigned counted = mysql_warning_count(db_.connection());
  unsigned listed = 0;
  bool found = false;
  sql_tmp_recordset warnings(dialect_.show_warnings(), db_.connection());
  for (; !warnings.is_eof(); warnings.move_next()) {
    ++listed;
    const udb_record& w = *warnings.get_record();
    if (found || w.size() < 3) continue;
    const unsigned number = static_cast<unsigned>(std::atoi(w[1].to_string().c_str()));
    if (number == duplicate_key_error || w[0].to_string() == "Note") continue;
    message = w[2].to_string();
    code = number;
    found = true;
  }
  // The server lists a limited number of warnings; the rest may hide one.
  may_hide = !found && listed < counted;
  return found;
}

void sql_table::append_record(const udb_record& record) {
  TK_TRACE(2, "sql_table::append_record");
  const size_t size = record.get_total_size();
  TK_TRACE(1, "record size=%d", size);
  if (size > max_statement_bytes) {
    TK_TRACE(3, "Row is too big (%d bytes), swtich to slow_append", size);
    db_.stop_batching();
    try {
      flush();
    } catch (const tk_exception& e) {
      report_send_failure(table_, e);
    }
  }
  if (!same_layout(record)) {
    if (!pending_.empty()) TK_TRACE(3, "cached_rec_size=%d, that.size=%d", layout_names_.size(), record.size());
    flush();
    prepare_layout(record);
  }
  if (db_.batching())
    fast_append(record);
  else
    slow_append(record);
  ++n_records_;
}

void sql_table::fast_append(const udb_record& record) {
  TK_TRACE(1, "sql_table::fast_append");
  TK_TRACE(1, "that.size=%d", record.size());
  const size_t cap = load_format_ && !load_refused_
                         ? (posted_ < 4 ? std::min(max_load_bytes, first_load_bytes << posted_) : max_load_bytes)
                         : statement_cap_;
  const bool opening = pending_.empty();
  const size_t mark = pending_.size();
  if (opening) {
    TK_TRACE(1, "Initialize new query...");
    if (pending_.capacity() < cap) pending_.reserve(cap + 65536);
    pending_ += batch_head_;
    batch_first_row_ = n_records_;
  }
  // A row starts at its "(", after the ", " that separates it.
  row_starts_.push_back(opening ? pending_.size() : pending_.size() + 2);
  dialect_.append_row(pending_, record, slots_, opening, false);
  const size_t row_bytes = pending_.size() - row_starts_.back();

  if (batch_head_.size() + row_bytes > packet_cap_) {
    // The row alone is more than the server takes: what is pending goes
    // first, then the row is refused. (A row over the batch cap that the
    // server takes goes in a statement of its own.)
    pending_.resize(opening ? 0 : mark);
    row_starts_.pop_back();
    flush();
    refuse_too_large();
    return;
  }
  // The cap counts the head once more, as a margin for the statement's end.
  if (!opening && pending_.size() + batch_head_.size() > cap) {
    // The row does not fit: it moves to the head of the next statement.
    row_.assign(pending_, mark + 2, std::string::npos);
    pending_.resize(mark);
    row_starts_.pop_back();
    post_pending();
    pending_ += batch_head_;
    batch_first_row_ = n_records_;
    row_starts_.push_back(pending_.size());
    pending_ += row_;
  }
  TK_TRACE(1, "*** FAST INSERT MODE ***");
}

void sql_table::slow_append(const udb_record& record) {
  TK_TRACE(1, "sql_table::slow_append");
  TK_TRACE(1, "mysql_db.get_mode()=%d", db_.mode());
  const size_t size = record.get_total_size();
  const bool big = size > max_statement_bytes;
  statement_.assign(single_head_);
  dialect_.append_row(statement_, record, slots_, true, big);
  TK_TRACE(1, "Run SQL query: %s", std::string_view(statement_).substr(0, 4096));
  if (statement_.size() > packet_cap_) return refuse_too_large();
  if (!big) {
    db_.query_append(statement_);
    tell_stored(1, 1);
    return;
  }
  const uint32_t max_packet = db_.max_allowed_packet();
  TK_TRACE(1, "get_max_allowed_packet=%d", max_packet);
  if (size > max_packet) {
    TK_TRACE(3, "row_tot_size > max_allowed_packet");
    refuse_row(n_records_ + 1, tk_exception("Row size exceeds 'max_allowed_packet'", 0));
    return;
  }
  std::vector<const udb_field*> cells;
  cells.reserve(slots_.size());
  for (const sql_cell_slot& s : slots_) cells.push_back(&record[s.cell]);
  db_.prepared_statement(statement_, cells);
  tell_stored(1, 1);
}
