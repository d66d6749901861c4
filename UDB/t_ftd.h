#pragma once
// A column description (field type descriptor): a plain value type that the
// readers fill, the type refinement and mapping adjust, and the writers turn
// into column definitions.

#include <cstdint>
#include <string>

#include "ole_variant.h"

class udb_field;

struct t_ftd {
  // Values of `reserved`. For a date column its low two bits tell the kind,
  // and three values also ask for the current moment as the default.
  static constexpr uint32_t date_kind_mask = 3;
  static constexpr uint32_t date_kind_unspecified = 0;
  static constexpr uint32_t date_kind_date_time = 1;
  static constexpr uint32_t date_kind_date = 2;
  static constexpr uint32_t date_kind_time = 3;
  static constexpr uint32_t date_time_default_now = 9;  // kind 1, DEFAULT the current moment
  static constexpr uint32_t date_default_today = 10;    // kind 2, DEFAULT the current date
  static constexpr uint32_t time_default_now = 11;      // kind 3, DEFAULT the current time
  // For a text column: a spatial column (two source kinds), or fixed width.
  static constexpr uint32_t text_geometry = 2;
  static constexpr uint32_t text_geometry_binary = 8;
  static constexpr uint32_t text_fixed_width = 16;

  bool is_geometry() const noexcept {
    return vartype == VT_BSTR && (reserved == text_geometry || reserved == text_geometry_binary);
  }
  uint32_t date_kind() const noexcept { return reserved & date_kind_mask; }

  uint32_t size = 0;       // declared length: characters for text, bytes for binary
  uint32_t precision = 0;  // total digits of a decimal column
  uint32_t scale = 0;      // digits after the point
  std::u16string name;
  VARTYPE vartype = VT_EMPTY;
  std::u16string native_type;  // the destination's type text once chosen
  bool b_auto_increment = false;
  bool b_not_null = false;
  ole_variant def_value;       // VT_EMPTY when there is no default
  uint32_t reserved = 0;       // subtype word; its meaning depends on vartype
  std::u16string description;  // the column comment

  t_ftd() = default;
  // From a field: its real size, name, tag and flags.
  t_ftd(const udb_field& field, const ole_variant& def_value, uint32_t reserved);
  t_ftd(uint32_t size, std::u16string name, VARTYPE vartype, bool b_not_null, bool b_auto_increment,
        const ole_variant& def_value, uint32_t reserved, std::u16string native_type = {});
};
