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
    fields_.push_back(field.get());
    push_back(std::move(field));
  }
}

void dao_record::refill() {
  bool intact = size() == fields_.size();
  for (std::size_t i = 0; intact && i < fields_.size(); ++i) intact = &(*this)[i] == fields_[i];
  if (!intact) {
    TK_TRACE(1, "dao_record::refill - fields rebuilt");
    bind();
    return;  // bind() read the current row already
  }
  for (dao_field* field : fields_) field->refill();
}
