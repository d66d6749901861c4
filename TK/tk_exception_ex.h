#pragma once
// A failure of the operating system: the caller's prefix followed by the
// system's text for the error number, which is also the exception's code.

#include <cerrno>

#include "tk_exception.h"

class tk_exception_ex : public tk_exception {
 public:
  // Takes the error number from errno as it stands at the call.
  explicit tk_exception_ex(std::string_view prefix = {}, unsigned level = 1) : tk_exception_ex(prefix, level, errno) {}
  tk_exception_ex(std::string_view prefix, unsigned level, int error_number);

  static std::string system_message(int error_number);
};
