#include "udb_converter.h"

#include "tk_logger.h"

void udb_converter::set_mode(int32_t mode) {
  TK_TRACE(1, "udb_converter::set_mode(%d)", mode);
  mode_ = mode;
}

bool udb_converter::load_profile(const udb_profile&) {
  TK_TRACE(2, "udb_converter::load_profile");
  throw tk_exception("Conversion profiles are not available in this build.", 1);
}
