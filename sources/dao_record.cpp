#include "dao_record.h"

#include <memory>

#include "dao_field.h"
#include "tk_logger.h"
#include "wb_recordset.h"

dao_record::dao_record(const wb_recordset& rows) : rows_(&rows) { bind(); }

dao_record::~dao_record() = default;

void dao_record::bind() {
  reset();
  fields_.clear();
  const std::size_t count = rows_->field_count();
  fields_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    auto field = std::make_unique<dao_field>(rows_->field(i));
    long_values_ = long_values_ || field->holds_long_value();
    fields_.push_back(field.get());
    push_back(std::move(field));
  }
}

bool dao_record::intact() const {
  if (size() != fields_.size()) return false;
  for (std::size_t i = 0; i < fields_.size(); ++i)
    if (&(*this)[i] != fields_[i]) return false;
  return true;
}

void dao_record::release_long_values() {
  if (!long_values_ || !intact()) return;
  long_values_ = false;
  for (dao_field* field : fields_) field->release_long_value();
}

void dao_record::refill() {
  if (!intact()) {
    TK_TRACE(1, "dao_record::refill - fields rebuilt");
    bind();
    return;  // bind() read the current row already
  }
  for (dao_field* field : fields_) {
    field->refill();
    long_values_ = long_values_ || field->holds_long_value();
  }
}
