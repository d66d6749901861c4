// One field (column) of a recordset. Its value is the current record's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "wb_column_def.h"
#include "wb_dao_type.h"
#include "wb_value.h"

class wb_field {
 public:
  // `value` points to the recordset's slot for this field and `buffer`, if
  // given, to the text buffer that slot views for texts of the sheet's own;
  // the definition, the slot and the buffer must outlive the field.
  wb_field(const wb_column_def& def, const wb_value& value, std::u16string* buffer = nullptr)
      : def_(&def), value_(&value), buffer_(buffer) {}

  const std::u16string& name() const { return def_->name; }
  wb_dao_type type() const { return def_->type; }
  std::int16_t type_code() const { return static_cast<std::int16_t>(def_->type); }
  // 255 for text, 0 for memo, the storage size for fixed types.
  std::int32_t size() const { return def_->size; }
  bool required() const { return false; }
  std::int32_t attributes() const { return 0; }

  // The current record's value; NULL while there is no current record
  // (BOF or EOF). See wb_value for how long a text view lives.
  const wb_value& value() const { return *value_; }

  // Whether the current value is a long text (wb_long_text_units or more)
  // that the recordset holds in a buffer of its own, which take_text()
  // can hand over.
  bool has_movable_text() const {
    return value_->kind == wb_value_kind::text && buffer_ != nullptr && value_->text.size() >= wb_long_text_units &&
           value_->text.data() == buffer_->data() && value_->text.size() == buffer_->size();
  }
  // Hands the current value's text over without copying it: swaps the
  // recordset's buffer with `into`, which then holds the text. The value
  // goes on viewing it, now in `into`, so the caller leaves `into` as it is
  // until it moves the recordset on. Requires has_movable_text().
  void take_text(std::u16string& into) const {
    if (has_movable_text()) buffer_->swap(into);
  }

  // A named property, looked up ignoring case: "Format" (date columns
  // only), "Name", "Type", "Size", "Required", "Attributes", "Value".
  // Returns false for an absent property ("Description" is always absent,
  // "Format" on non-date columns); DAO reports that as error 3270.
  bool property(std::u16string_view name, wb_value& out) const;

 private:
  const wb_column_def* def_;
  const wb_value* value_;
  std::u16string* buffer_;
};
