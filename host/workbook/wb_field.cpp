#include "wb_field.h"

#include "wb_text.h"

bool wb_field::property(std::u16string_view name, wb_value& out) const {
  out = wb_value{};
  if (wb_ascii_equal_ignore_case(name, "format")) {
    if (def_->format.empty()) return false;
    out.set_text(def_->format);
  } else if (wb_ascii_equal_ignore_case(name, "name")) {
    out.set_text(def_->name);
  } else if (wb_ascii_equal_ignore_case(name, "type")) {
    out.set_number(type_code());
  } else if (wb_ascii_equal_ignore_case(name, "size")) {
    out.set_number(size());
  } else if (wb_ascii_equal_ignore_case(name, "required")) {
    out.set_boolean(required());
  } else if (wb_ascii_equal_ignore_case(name, "attributes")) {
    out.set_number(attributes());
  } else if (wb_ascii_equal_ignore_case(name, "value")) {
    out = *value_;
  } else {
    return false;
  }
  return true;
}
