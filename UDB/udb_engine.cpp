#include "udb_engine.h"

#include "tk_logger.h"

udb_engine::~udb_engine() = default;

void udb_engine::set_properties(const udb_properties* properties) {
  TK_TRACE(1, "udb_engine::set_properties");
  properties_ = properties;
}
