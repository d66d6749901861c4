#include "csv_field.h"

#include <string>

#include "tk_wstring.h"

csv_field::csv_field(std::u16string_view name, std::u16string_view text) {
  set_name(name);
  set_text(text);
  set_declared_size(static_cast<uint32_t>(text.size()));
}

csv_field::csv_field(size_t position, std::u16string_view text) : csv_field(default_name(position), text) {}

csv_field::~csv_field() = default;

std::u16string csv_field::default_name(size_t position) { return u"F" + tk_widen_ascii(std::to_string(position)); }
