// One entry of the engine's error collection, as DAO reports it.
#pragma once

#include <string>

struct wb_error {
  long number = 0;             // DAO error number, e.g. 3024
  std::u16string description;  // DAO's text, e.g. "Could not find file '/x.xlsx'."
};
