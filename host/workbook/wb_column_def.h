// One column of a worksheet table as the type decision made it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "wb_dao_type.h"

struct wb_column_def {
  std::u16string name;
  wb_dao_type type = wb_dao_type::text;
  std::int32_t size = 255;
  // The "Format" property: "Short Date", "Long Time" or "General Date" for
  // date columns, empty (absent) for the others.
  std::u16string_view format;
};
