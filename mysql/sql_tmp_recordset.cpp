#include "sql_tmp_recordset.h"

#include "sql_exception.h"
#include "tk_logger.h"
#include "tk_mail_assertion.h"

sql_tmp_recordset::sql_tmp_recordset(std::string_view sql, MYSQL* connection, bool blob_to_text)
    : connection_(connection), blob_to_text_(blob_to_text) {
  TK_TRACE(2, "sql_tmp_recordset::ctor2(%s)", sql);
  if (mysql_real_query(connection_, sql.data(), static_cast<unsigned long>(sql.size())) != 0)
    throw sql_exception(connection_);
  result_.reset(mysql_use_result(connection_));
  if (!result_ && mysql_errno(connection_) != 0) throw sql_exception(connection_);
  describe();
}

std::u16string sql_tmp_recordset::first_qualified_name(std::string_view sql, MYSQL* connection) {
  sql_tmp_recordset rs(sql, connection);
  if (rs.is_eof()) return {};
  const udb_record& row = *rs.get_record();
  return row.size() >= 2 ? row[0].to_wstring() + u"." + row[1].to_wstring() : std::u16string();
}

sql_tmp_recordset::~sql_tmp_recordset() {
  TK_TRACE(2, "sql_tmp_recordset::dtor");
  records_.clear();
  result_.reset();
  TK_TRACE(2, "sql_tmp_recordset::dtor - at the end");
}

void sql_tmp_recordset::describe() {
  if (!result_) {
    exhausted_ = true;
    return;
  }
  n_fields_ = mysql_num_fields(result_.get());
  fields_ = mysql_fetch_fields(result_.get());
  TK_TRACE(1, "n_fields=%d", n_fields_);
  fill_cache();
}

void sql_tmp_recordset::fill_cache() {
  TK_TRACE(2, "sql_tmp_recordset::fill_cache");
  if (exhausted_) return;
  while (records_.size() < page_rows) {
    MYSQL_ROW row = mysql_fetch_row(result_.get());
    if (!row) {
      // A null row is the end of the data, or a failure while streaming it.
      if (mysql_errno(connection_) != 0) throw sql_exception(connection_);
      exhausted_ = true;
      break;
    }
    const unsigned long* lengths = mysql_fetch_lengths(result_.get());
    records_.push_back(std::make_unique<sql_record>(n_fields_, row, lengths, fields_, blob_to_text_));
  }
  TK_TRACE(1, "records.size()=%d", records_.size());
  TK_TRACE(2, "sql_tmp_recordset::fill_cache - END");
}

void sql_tmp_recordset::append_record(const udb_record&) { throw tk_mail_assertion("sql_tmpr", __LINE__); }

udb_record* sql_tmp_recordset::get_record() {
  if (pos_ >= records_.size() && is_eof()) return nullptr;
  return records_[pos_].get();
}

bool sql_tmp_recordset::is_eof() {
  TK_TRACE(1, "sql_tmp_recordset::is_eof: pos=%d, records.size=%d", pos_, records_.size());
  if (pos_ < records_.size()) return false;
  TK_TRACE(1, "sql_tmp_recordset::clean_cache");
  records_.clear();
  pos_ = 0;
  fill_cache();
  TK_TRACE(1, "New records.size=%d", records_.size());
  return records_.empty();
}

void sql_tmp_recordset::move_next() {
  if (pos_ < records_.size()) ++pos_;
}

void sql_tmp_recordset::move_prev() {
  if (pos_ > 0) --pos_;
}

void sql_tmp_recordset::reset() { pos_ = 0; }
