#pragma once
// An internal error: a broken assumption of the program. Its message carries
// a code that encodes the source unit and line, so that support can find the
// place of the failure from a user's report.

#include "tk_exception.h"

class tk_mail_assertion : public tk_exception {
 public:
  tk_mail_assertion(const char* source, int line);

  // "%s\%d" of source and line, each byte as lower-case hex without leading zeros.
  static std::string make_code(const char* source, int line);
};

// Raises the internal error when `cond` does not hold; `source` names the unit.
#define TK_ASSERT(cond, source)                               \
  do {                                                        \
    if (!(cond)) throw tk_mail_assertion((source), __LINE__); \
  } while (0)
