#include "wb_recordset.h"

#include <system_error>

#include "wb_text.h"

wb_recordset::~wb_recordset() = default;

wb_hresult wb_recordset::open(std::shared_ptr<wb_workbook_source> workbook, std::size_t sheet, bool header_row,
                              wb_error_list_ptr errors, std::unique_ptr<wb_recordset>& out) {
  return open_ahead(std::move(workbook), sheet, header_row, std::move(errors), 0, out);
}

wb_hresult wb_recordset::open_ahead(std::shared_ptr<wb_workbook_source> workbook, std::size_t sheet, bool header_row,
                                    wb_error_list_ptr errors, std::size_t first_rows,
                                    std::unique_ptr<wb_recordset>& out) {
  out.reset();
  std::unique_ptr<wb_recordset> rs(new wb_recordset());
  rs->workbook_ = std::move(workbook);
  rs->errors_ = std::move(errors);
  long dao_error = 0;
  rs->sheet_ = rs->workbook_->open_sheet(sheet, dao_error);
  if (!rs->sheet_) return rs->errors_->raise(dao_error);
  if (first_rows > 0) {
    try {
      rs->ahead_ = std::make_unique<wb_sheet_ahead>(*rs->sheet_, header_row, rs->workbook_->date1904());
    } catch (const std::system_error&) {
      // No thread: the pass is read here.
    }
  }
  if (!rs->ahead_) {
    if (!rs->schema_.scan(*rs->sheet_, header_row, rs->workbook_->date1904(), dao_error))
      return rs->errors_->raise(dao_error);
    wb_sheet_source& source = *rs->sheet_;
    return finish_open(std::move(rs), source, false, out);
  }
  rs->ahead_source_ = std::make_unique<wb_ahead_source>(rs->ahead_->log());
  if (!rs->ahead_source_->keep_first_rows(first_rows, header_row)) {
    // The whole sheet came with its first rows: its pass is over.
    rs->ahead_source_.reset();
    const bool read = rs->ahead_->finish(dao_error);
    if (!read) return rs->errors_->raise(dao_error);
    rs->schema_ = rs->ahead_->schema();
    rs->ahead_.reset();
    wb_sheet_source& source = *rs->sheet_;
    return finish_open(std::move(rs), source, false, out);
  }
  // The types of the first rows.
  rs->ahead_source_->replay_kept(true);
  if (!rs->schema_.scan(*rs->ahead_source_, header_row, rs->workbook_->date1904(), dao_error))
    return rs->errors_->raise(dao_error);
  rs->ahead_source_->replay_kept(false);
  rs->ahead_->expect(rs->schema_);
  rs->provisional_rows_ = first_rows;
  wb_sheet_source& source = *rs->ahead_source_;
  return finish_open(std::move(rs), source, true, out);
}

wb_hresult wb_recordset::finish_open(std::unique_ptr<wb_recordset> rs, wb_sheet_source& source, bool open_ended,
                                     std::unique_ptr<wb_recordset>& out) {
  rs->rows_ = std::make_unique<wb_row_reader>(source, rs->schema_, open_ended);
  rs->fields_.reserve(rs->schema_.columns().size());
  for (std::size_t i = 0; i < rs->schema_.columns().size(); ++i)
    rs->fields_.emplace_back(rs->schema_.columns()[i], rs->rows_->values()[i], &rs->rows_->buffer(i));
  const wb_hresult hr = rs->move_first();
  if (wb_failed(hr) && rs->schema_.row_count() != 0) return hr;
  rs->errors_->clear();
  out = std::move(rs);
  return wb_s_ok;
}

wb_hresult wb_recordset::settle(bool& same) {
  same = false;
  if (!ahead_) return wb_s_ok;
  const bool at_end = eof_ && rows_->error() == 0;
  const std::uint32_t rows_read = rows_->rows_read();
  // A pass still reading goes on to its end without a reader.
  if (!at_end) ahead_->log().stop_copying();
  long dao_error = 0;
  if (!ahead_->finish(dao_error)) return errors_->raise(dao_error);
  const wb_sheet_schema& whole = ahead_->schema();
  same = at_end && !ahead_->texts_cut() && schema_.same_columns(whole) && rows_read == whole.row_count();
  if (same) schema_.take_counts(whole);
  return wb_s_ok;
}

bool wb_recordset::provisional_holds() const { return !ahead_ || !ahead_->expectation_broken(); }

wb_hresult wb_recordset::reopen_whole(std::unique_ptr<wb_recordset>& out) {
  out.reset();
  if (!ahead_) return errors_->raise(wb_dao_error::not_supported);
  ahead_->log().stop_copying();
  long dao_error = 0;
  if (!ahead_->finish(dao_error)) return errors_->raise(dao_error);
  std::unique_ptr<wb_recordset> rs(new wb_recordset());
  rs->workbook_ = workbook_;
  rs->errors_ = errors_;
  rs->schema_ = ahead_->schema();
  fields_.clear();
  rows_.reset();
  ahead_source_.reset();
  ahead_.reset();
  rs->sheet_ = std::move(sheet_);
  wb_sheet_source& source = *rs->sheet_;
  return finish_open(std::move(rs), source, false, out);
}

wb_hresult wb_recordset::move_first() {
  bof_ = eof_ = true;
  rows_->clear_values();
  if (!rows_->restart()) return errors_->raise(rows_->error());
  if (schema_.row_count() == 0) return errors_->raise(wb_dao_error::no_current_record);
  if (!rows_->next_row()) {
    rows_->clear_values();
    return errors_->raise(rows_->error() != 0 ? rows_->error() : wb_dao_error::unexpected_format);
  }
  bof_ = eof_ = false;
  return wb_s_ok;
}

wb_hresult wb_recordset::move_next() {
  if (eof_) return errors_->raise(wb_dao_error::no_current_record);
  bof_ = false;
  if (rows_->next_row()) return wb_s_ok;
  eof_ = true;
  rows_->clear_values();
  if (rows_->error() != 0) return errors_->raise(rows_->error());
  return wb_s_ok;
}

wb_hresult wb_recordset::move_previous() { return errors_->raise(wb_dao_error::not_supported); }

long wb_recordset::field_index(std::u16string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i)
    if (wb_equal_ignore_case(fields_[i].name(), name)) return static_cast<long>(i);
  return -1;
}
