#pragma once
// The one assertion for the system's failures. Their messages, codes and
// levels are fixed, so a test states the exception's exact type with all
// three and the helper compares the four together.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>
#include <typeinfo>

#include "tk_exception.h"
#include "tk_mail_assertion.h"

namespace testsupport {

// Runs `call`, which must throw exactly an E (not a class derived from it)
// with this level, code and message.
template <class E = tk_exception, class F>
void expect_failure(F&& call, unsigned level, uint32_t code, const std::string& message) {
  try {
    call();
    ADD_FAILURE() << "no exception; expected: " << message;
  } catch (const tk_exception& e) {
    EXPECT_EQ(std::tuple(std::string(typeid(e).name()), e.level(), e.code(), e.message()),
              std::tuple(std::string(typeid(E).name()), level, code, message));
  }
}

// Runs `call`, which must raise the internal error of the unit `source` (the
// name its TK_ASSERT gives) at `line`. The message's code is the hex of
// "<source>\<line>"; without a line (-1) the comparison stops before it.
template <class F>
void expect_internal_error(F&& call, const std::string& source, int line = -1) {
  std::string expected = "Internal error: \ncode=";
  for (const char c : source + "\\" + (line < 0 ? "" : std::to_string(line))) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned char>(c));
    expected += hex;
  }
  try {
    call();
    ADD_FAILURE() << "no internal error; expected one of " << source;
  } catch (const tk_exception& e) {
    const std::string message = line < 0 ? e.message().substr(0, expected.size()) : e.message();
    EXPECT_EQ(std::tuple(std::string(typeid(e).name()), e.level(), e.code(), message),
              std::tuple(std::string(typeid(tk_mail_assertion).name()), 2u, 0u, expected))
        << e.message();
  }
}

}  // namespace testsupport
