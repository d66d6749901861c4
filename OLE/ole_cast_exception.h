#pragma once
// Raised by ole_variant::change_type when a value cannot take the asked tag;
// the value is then left as it was.

#include "tk_exception.h"

class ole_cast_exception : public tk_exception {
 public:
  ole_cast_exception();
};
