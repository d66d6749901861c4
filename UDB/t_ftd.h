#pragma once
// A column description (field type descriptor): a plain value type that the
// readers fill, the type refinement and mapping adjust, and the writers turn
// into column definitions.

#include <cstdint>
#include <string>

#include "ole_variant.h"

class udb_field;

struct t_ftd {
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
