#include "tk_exception.h"

#include "tk_unicode.h"

namespace {
std::string or_unknown(std::string message) {
  if (message.empty()) return "Unknown exception";
  return message;
}
}  // namespace

tk_exception::tk_exception(std::string message, unsigned level)
    : message_(or_unknown(std::move(message))), level_(level) {}

tk_exception::tk_exception(std::u16string_view message, unsigned level)
    : message_(or_unknown(tk_unicode_to_console(message))), level_(level) {}

tk_exception::tk_exception(std::string message, uint32_t code, unsigned level)
    : message_(or_unknown(std::move(message))), code_(code), level_(level) {}
