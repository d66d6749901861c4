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
  // `value` points to the recordset's slot for this field; both the
  // definition and the slot must outlive the field.
  wb_field(const wb_column_def& def, const wb_value& value) : def_(&def), value_(&value) {}

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

  // A named property, looked up ignoring case: "Format" (date columns
  // only), "Name", "Type", "Size", "Required", "Attributes", "Value".
  // Returns false for an absent property ("Description" is always absent,
  // "Format" on non-date columns); DAO reports that as error 3270.
  bool property(std::u16string_view name, wb_value& out) const;

 private:
  const wb_column_def* def_;
  const wb_value* value_;
};
