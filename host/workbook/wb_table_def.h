// One entry of a database's table collection: a worksheet.
#pragma once

#include <cstdint>
#include <string>

struct wb_table_def {
  std::u16string name;          // "Sheet1$", "'My Data$'"
  std::int32_t attributes = 0;  // 0 for worksheets
};
