#pragma once
// Raised when text is parsed into a tag that only the generic conversion
// serves and that conversion fails (ole_variant::from_string).

#include "tk_exception.h"

class ole_type_exception : public tk_exception {
 public:
  ole_type_exception();
};
