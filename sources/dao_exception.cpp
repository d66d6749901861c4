#include "dao_exception.h"

#include "tk_format.h"
#include "tk_logger.h"
#include "tk_unicode.h"
#include "wb_error_list.h"

namespace {

[[noreturn]] void unreadable(int step) {
  TK_TRACE(3, "Failed on step #%d", step);
  throw tk_exception(tk_format("Failed to read the error of the workbook engine (step #%d)", step), 1);
}

}  // namespace

const wb_error& dao_exception::first_error(const wb_error_list* errors) {
  if (!errors) unreadable(1);
  if (errors->count() == 0) unreadable(2);
  const wb_error& first = errors->item(0);
  if (first.description.empty()) unreadable(3);
  if (first.number == 0) unreadable(4);
  return first;
}

dao_exception::dao_exception(const wb_error& first)
    : tk_exception(tk_unicode_to_console(first.description), code_offset + static_cast<uint32_t>(first.number & 0xFFFF),
                   0) {
  TK_TRACE(3, "Got error: %s", message());
  TK_TRACE(3, "Got error code: %08X", code());
}

dao_exception::dao_exception(const wb_error_list* errors) : dao_exception(first_error(errors)) {}
