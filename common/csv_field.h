#pragma once
// One value of a CSV record: always text (a VT_BSTR variant holding the
// characters that stood in the file, quotes resolved), with its declared
// size equal to its length in UTF-16 units. A field read without a schema
// to name it is called "F<n>" after its 1-based position.

#include <cstddef>
#include <string>
#include <string_view>

#include "udb_field.h"

class csv_field : public udb_field {
 public:
  csv_field() = default;
  csv_field(std::u16string_view name, std::u16string_view text);
  // Named "F<position>".
  csv_field(size_t position, std::u16string_view text);
  ~csv_field() override;

  // "F<position>" (1-based).
  static std::u16string default_name(size_t position);
};
