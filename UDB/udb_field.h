#pragma once
// One named value of one row: the value (the inherited ole_variant), the
// column's declared size (characters for text, bytes for binary) and the
// not-null and auto-increment flags. Owns its name and its value's storage;
// refilling a field (set_name, the variant setters) reuses both.

#include <cstdint>
#include <string>
#include <string_view>

#include "ole_variant.h"

class udb_field : public ole_variant {
 public:
  udb_field() = default;
  udb_field(std::u16string name, uint32_t size, const ole_variant& value, bool not_null = false,
            bool auto_increment = false);
  udb_field(const udb_field&) = default;
  udb_field(udb_field&&) noexcept = default;
  udb_field& operator=(const udb_field&) = default;
  udb_field& operator=(udb_field&&) noexcept = default;
  ~udb_field() override;

  // The size the value really occupies: bytes of a binary value, UTF-16
  // units of a text, the declared size for anything else.
  size_t get_size() const noexcept {
    if (get_type() == VT_BSTR) return text_units();
    if (is_binary()) return get_safe_array_size();
    return size_;
  }

  const std::u16string& name() const noexcept { return name_; }
  void set_name(std::u16string_view name) { name_.assign(name.data(), name.size()); }
  uint32_t declared_size() const noexcept { return size_; }
  void set_declared_size(uint32_t size) noexcept { size_ = size; }
  bool is_not_null() const noexcept { return not_null_; }
  void set_not_null(bool on) noexcept { not_null_ = on; }
  bool is_auto_increment() const noexcept { return auto_increment_; }
  void set_auto_increment(bool on) noexcept { auto_increment_ = on; }

  ole_variant& value() noexcept { return *this; }
  const ole_variant& value() const noexcept { return *this; }
  // Replaces the value only (name, size and flags stay; the value shows
  // itself).
  void set_value(const ole_variant& value) {
    ole_variant::operator=(value);
    shows_ = shown::itself;
  }

  // A text that shows a workbook's number or boolean cell (a column of
  // mixed kinds holds each cell as its text), and the cell's value (a
  // boolean's 1 or 0): a column of numbers, dates or times takes the value.
  enum class shown : uint8_t { itself, number, boolean };
  shown shows() const noexcept { return shows_; }
  double shown_value() const noexcept { return shown_value_; }
  void set_shown(shown cell, double value) noexcept {
    shows_ = cell;
    shown_value_ = value;
  }

 private:
  uint32_t size_ = 0;
  std::u16string name_;
  bool not_null_ = false;
  bool auto_increment_ = false;
  shown shows_ = shown::itself;
  double shown_value_ = 0;
};
