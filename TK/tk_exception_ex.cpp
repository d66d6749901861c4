#include "tk_exception_ex.h"

#include <cstring>

#include "tk_logger.h"

std::string tk_exception_ex::system_message(int error_number) {
  char buf[256];
  // GNU strerror_r may return a static text instead of filling buf.
  const char* text = strerror_r(error_number, buf, sizeof buf);
  return text ? std::string(text) : std::string();
}

tk_exception_ex::tk_exception_ex(std::string_view prefix, unsigned level, int error_number)
    : tk_exception(std::string(prefix) + system_message(error_number), static_cast<uint32_t>(error_number), level) {
  TK_TRACE(2, "GetLastError: %s", system_message(error_number));
}
