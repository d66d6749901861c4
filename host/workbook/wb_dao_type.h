// DAO field type codes the engine reports for worksheet columns.
#pragma once

#include <cstdint>

enum class wb_dao_type : std::int16_t {
  boolean = 1,   // dbBoolean
  currency = 5,  // dbCurrency
  double_ = 7,   // dbDouble
  date = 8,      // dbDate
  text = 10,     // dbText, size 255
  memo = 12,     // dbMemo, size 0
};
