#include "dao_recordset.h"

#include "dao_database.h"
#include "dao_exception.h"
#include "dao_field.h"
#include "tk_logger.h"
#include "wb_recordset.h"

namespace {

// DAO types the Access paths give a special shape.
constexpr int16_t dao_type_guid = 15;
constexpr int16_t dao_type_attachment = 101;
// Text length of a GUID in braces.
constexpr uint32_t guid_text_size = 38;

bool is_one_of(std::u16string_view format, std::u16string_view a, std::u16string_view b, std::u16string_view c) {
  return format == a || format == b || format == c;
}

}  // namespace

dao_detail::column_kind dao_detail::classify_column(int16_t dao_type, int32_t size, std::u16string_view format) {
  column_kind kind;
  kind.vartype = dao_field::get_vartype(dao_type);
  kind.size = static_cast<uint32_t>(size < 0 ? 0 : size);
  if (dao_type == dao_type_guid) {
    kind.vartype = VT_BSTR;
    kind.size = guid_text_size;
    kind.reserved = 1;
  } else if (dao_type == dao_type_attachment) {
    TK_TRACE(1, "Special processing for dbAttachment");
    kind.size = 0;
    kind.reserved = dao_type_attachment;
  } else if (kind.vartype == VT_DATE) {
    if (is_one_of(format, u"Short Date", u"Medium Date", u"Long Date")) {
      TK_TRACE(1, "Refine type for 'pure' date");
      kind.reserved = dao_date_kind::date;
    } else if (is_one_of(format, u"Short Time", u"Medium Time", u"Long Time")) {
      TK_TRACE(1, "Refine type for 'pure' time");
      kind.reserved = dao_date_kind::time;
    } else {
      TK_TRACE(1, "Make date field more precise");
      kind.reserved = dao_date_kind::date_time;
    }
  }
  return kind;
}

dao_recordset::dao_recordset(dao_database* database, const std::u16string& name, ole_com_ptr<wb_recordset> rows,
                             wb_table_def table)
    : udb_recordset(database, name, name), database_(database), rows_(std::move(rows)), table_def_(std::move(table)) {
  TK_TRACE(2, "dao_recordset::dao_recordset(%s)", name_);
  if (!rows_) throw tk_mail_assertion("dao_recs", __LINE__);
  record_count_ = rows_->record_count();
  TK_TRACE(1, "Got records count: %d", record_count_);
  init_schema();
  read_eof();
}

dao_recordset::~dao_recordset() {
  TK_TRACE(2, "dao_recordset::~dao_recordset");
  // The record's fields point into the engine's recordset: they go first.
  record_.reset();
}

void dao_recordset::init_schema() {
  TK_TRACE(2, "dao_recordset::init_schema");
  wb_value property;
  for (std::size_t i = 0; i < rows_->field_count(); ++i) {
    const wb_field& field = rows_->field(i);
    std::u16string_view format;
    if (field.property(u"Format", property) && property.kind == wb_value_kind::text) format = property.text;
    const dao_detail::column_kind kind = dao_detail::classify_column(field.type_code(), field.size(), format);
    auto column = std::make_unique<t_ftd>(kind.size, field.name(), kind.vartype, field.required(), false, ole_variant(),
                                          kind.reserved);
    if (field.property(u"Description", property) && property.kind == wb_value_kind::text) {
      column->description.assign(property.text);
      TK_TRACE(1, "Column description='%s'", column->description);
    }
    TK_TRACE(1, "DAO Field #%d: size=%d, DAO type=%d, def.value=%s, comment=%s", i, column->size, field.type_code(),
             column->def_value.to_string(), column->description);
    schema_.push_back(std::move(column));
  }
}

void dao_recordset::read_eof() { eof_ = rows_->eof(); }

bool dao_recordset::rows_past_limit() const { return rows_ && rows_->rows_past_limit(); }

bool dao_recordset::holds_values() const { return rows_ && rows_->holds_values(); }

uint64_t dao_recordset::cells_out_of_order() const { return rows_ ? rows_->cells_out_of_order() : 0; }

uint64_t dao_recordset::unreadable_values() const { return rows_ ? rows_->unreadable_values() : 0; }

uint64_t dao_recordset::uncalculated_formulas() const { return rows_ ? rows_->uncalculated_formulas() : 0; }
uint64_t dao_recordset::error_values() const { return rows_ ? rows_->error_values() : 0; }

void dao_recordset::release_long_values() {
  if (record_) record_->release_long_values();
}

void dao_recordset::fail() const { throw dao_exception(&rows_->errors()); }

udb_record* dao_recordset::get_record() {
  TK_TRACE(2, "dao_recordset::get_item");
  if (!rows_ || eof_) throw tk_mail_assertion("dao_recs", __LINE__);
  if (record_) {
    record_->refill();
  } else {
    record_ = std::make_unique<dao_record>(*rows_);
  }
  return record_.get();
}

bool dao_recordset::is_eof() {
  if (!rows_) throw tk_mail_assertion("dao_recs", __LINE__);
  return eof_;
}

void dao_recordset::move_next() {
  if (!rows_) throw tk_mail_assertion("dao_recs", __LINE__);
  release_long_values();
  if (wb_failed(rows_->move_next())) fail();
  read_eof();
}

void dao_recordset::move_prev() {
  if (!rows_) throw tk_mail_assertion("dao_recs", __LINE__);
  if (rows_->bof()) return;
  if (wb_failed(rows_->move_previous())) fail();
  read_eof();
}

void dao_recordset::reset() {
  if (!rows_) throw tk_mail_assertion("dao_recs", __LINE__);
  if (record_count_ == 0) return;
  release_long_values();
  if (wb_failed(rows_->move_first())) fail();
  read_eof();
}

bool dao_recordset::provisional() const { return rows_ && rows_->provisional(); }

long dao_recordset::provisional_rows() const { return rows_ ? static_cast<long>(rows_->provisional_rows()) : 0; }

bool dao_recordset::provisional_holds() const { return !rows_ || rows_->provisional_holds(); }

bool dao_recordset::settle() {
  if (!rows_) throw tk_mail_assertion("dao_recs", __LINE__);
  bool same = false;
  if (wb_failed(rows_->settle(same))) fail();
  if (same) record_count_ = rows_->record_count();
  return same;
}

std::unique_ptr<dao_recordset> dao_recordset::reopen_whole() {
  if (!rows_) throw tk_mail_assertion("dao_recs", __LINE__);
  record_.reset();
  ole_com_ptr<wb_recordset> whole;
  if (wb_failed(rows_->reopen_whole(whole.receive()))) fail();
  return std::make_unique<dao_recordset>(database_, name_, std::move(whole), table_def_);
}
