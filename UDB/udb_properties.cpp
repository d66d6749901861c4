#include "udb_properties.h"

udb_properties::~udb_properties() = default;

std::u16string udb_properties::get_property(std::u16string_view key) const {
  for (const auto& [k, v] : properties_)
    if (k == key) return v;
  return std::u16string();
}

const udb_properties* udb_properties::get_table_properties(std::u16string_view) const { return nullptr; }

void udb_properties::set_property(std::u16string key, std::u16string value) {
  for (auto& [k, v] : properties_) {
    if (k == key) {
      v = std::move(value);
      return;
    }
  }
  properties_.emplace_back(std::move(key), std::move(value));
}
