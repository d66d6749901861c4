#include "tk_error_converter.h"

#include "tk_logger.h"
#include "tk_mail_assertion.h"

tk_error_converter::tk_error_converter(size_t count, const tk_err_entry* table) {
  TK_TRACE(2, "tk_error_converter::ctor (map size=%d)", count);
  load(count, table);
}

void tk_error_converter::load(size_t count, const tk_err_entry* table) {
  TK_TRACE(2, "tk_error_converter::load_map (map size=%d)", count);
  if (count == 0) return;
  TK_ASSERT(table != nullptr, "tk_errco");
  for (size_t i = 0; i < count; ++i) map_.emplace(table[i].code, table[i].text ? table[i].text : "");
}

std::string tk_error_converter::convert(uint32_t code) const {
  TK_TRACE(2, "tk_error_converter::convert(%d)", code);
  auto it = map_.find(code);
  if (it == map_.end()) {
    TK_TRACE(1, "Error message not found!");
    return std::string();
  }
  TK_TRACE(1, "Error message has been found: %s", it->second);
  return it->second;
}
