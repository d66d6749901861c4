#include "wb_recordset.h"

#include "wb_text.h"

wb_recordset::~wb_recordset() = default;

wb_hresult wb_recordset::open(std::shared_ptr<wb_workbook_source> workbook, std::size_t sheet, bool header_row,
                              wb_error_list_ptr errors, std::unique_ptr<wb_recordset>& out) {
  out.reset();
  std::unique_ptr<wb_recordset> rs(new wb_recordset());
  rs->workbook_ = std::move(workbook);
  rs->errors_ = std::move(errors);
  long dao_error = 0;
  rs->sheet_ = rs->workbook_->open_sheet(sheet, dao_error);
  if (!rs->sheet_) return rs->errors_->raise(dao_error);
  if (!rs->schema_.scan(*rs->sheet_, header_row, rs->workbook_->date1904(), dao_error))
    return rs->errors_->raise(dao_error);
  rs->rows_ = std::make_unique<wb_row_reader>(*rs->sheet_, rs->schema_);
  rs->fields_.reserve(rs->schema_.columns().size());
  for (std::size_t i = 0; i < rs->schema_.columns().size(); ++i)
    rs->fields_.emplace_back(rs->schema_.columns()[i], rs->rows_->values()[i], &rs->rows_->buffer(i));
  const wb_hresult hr = rs->move_first();
  if (wb_failed(hr) && rs->schema_.row_count() != 0) return hr;
  rs->errors_->clear();
  out = std::move(rs);
  return wb_s_ok;
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
