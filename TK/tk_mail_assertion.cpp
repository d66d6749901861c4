#include "tk_mail_assertion.h"

#include <cstdio>

#include "tk_logger.h"

std::string tk_mail_assertion::make_code(const char* source, int line) {
  TK_TRACE(2, "make_err_meggase(%s, %d)", source ? source : "", line);
  char place[276];
  std::snprintf(place, sizeof place, "%s\\%d", source ? source : "", line);
  std::string code;
  for (const char* p = place; *p; ++p) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned char>(*p));
    code += hex;
  }
  TK_TRACE(2, "result=%s", code);
  return code;
}

tk_mail_assertion::tk_mail_assertion(const char* source, int line)
    : tk_exception("Internal error: \ncode=" + make_code(source, line), 2) {
  TK_TRACE(2, "tk_mail_assertion::ctor(%s)", message());
}
