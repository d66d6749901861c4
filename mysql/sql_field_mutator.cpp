#include "sql_field_mutator.h"

#include "tk_wstring.h"

namespace {

// "DECIMAL(10,2)": precision 10 and scale 2; false when the text has no
// such suffix.
bool read_precision_scale(std::u16string_view type, uint32_t& precision, uint32_t& scale) {
  // The parentheses after the name ("DECIMAL(10,2) NOT NULL").
  const size_t open = type.find(u'(');
  const size_t close = type.find(u')');
  if (open == std::u16string_view::npos || close == std::u16string_view::npos || close < open) return false;
  uint32_t numbers[2] = {0, 0};
  size_t count = 0;
  bool digits = false;
  for (char16_t c : type.substr(open + 1, close - open - 1)) {
    if (c >= u'0' && c <= u'9') {
      if (numbers[count] > 100000) return false;
      numbers[count] = numbers[count] * 10 + static_cast<uint32_t>(c - u'0');
      digits = true;
    } else if (c == u',' && count == 0 && digits) {
      count = 1;
      digits = false;
    } else if (c != u' ') {
      return false;
    }
  }
  if (!digits) return false;
  precision = numbers[0];
  scale = numbers[1];
  return true;
}

}  // namespace

void sql_field_mutator::resolve_type() {
  uint32_t size = length_;
  vartype_ = sql_dialect::vartype_from_name(mapping_.type, size);
  length_ = size;
  // A DECIMAL written with its digits carries them into the column descriptor.
  if (vartype_ == VT_DECIMAL && mapping_.precision == 0 && mapping_.scale == 0)
    read_precision_scale(mapping_.type, mapping_.precision, mapping_.scale);
}

sql_native_type sql_field_mutator::native_type_record(uint32_t length) const {
  return sql_native_type{mapping_.type, length, mapping_.precision, mapping_.scale};
}

std::u16string sql_field_mutator::native_type_text(uint32_t length) const {
  // DECIMAL without digits is MySQL's own DECIMAL(10,0); "DECIMAL(0,0)" is not a type.
  if (mapping_.precision == 0 &&
      tk_wstring::equal_no_case(mapping_.type, sql_dialect::type_name(sql_type_key::decimal)))
    return mapping_.type;
  return sql_dialect::mapped_type(native_type_record(length));
}
