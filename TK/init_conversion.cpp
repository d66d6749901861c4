#include "init_conversion.h"

#include <ctime>

#include "tk_logger.h"

namespace {
void trace_moment(const char* pattern) {
  if (!tk_trace_on(3)) return;
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  tk_trace_write(3, pattern, t.tm_mday, t.tm_mon + 1, t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
}
}  // namespace

init_conversion::init_conversion(bool& finished, bool com_initialised)
    : finished_(finished), com_initialised_(com_initialised) {
  TK_TRACE(2, "init_conversion::ctor");
  trace_moment("Conversion started on %02d/%02d/%04d at %02d:%02d:%02d");
  // There is no component runtime to start on this platform; the flag is kept
  // so the driver's calling convention stays the same.
}

init_conversion::~init_conversion() {
  TK_TRACE(2, "init_conversion::dtor");
  trace_moment("Conversion ended on %02d/%02d/%04d at %02d:%02d:%02d");
  finished_ = true;
}
