#pragma once
// The failures of the MySQL destination. An error of the server or the
// client library is level 0: the driver reports a refused record and goes on
// with the next, and one that reaches the entry point (a failed connection)
// still ends the run with -1. An error after which the connection cannot be
// used (the server gone, the connection lost or killed) is level 1: going on
// would only repeat it for every later statement. A failed prepared
// statement is level 1. The code of a server or client-library error is its
// error number plus 0x400000, so the error handler's MySQL table can replace
// the library's text by a friendlier one.

#include <mysql.h>

#include <cstdint>
#include <string>

#include "tk_exception.h"

class sql_exception : public tk_exception {
 public:
  static constexpr uint32_t code_base = 0x400000;

  // From a connection: mysql_error and mysql_errno as they stand.
  explicit sql_exception(MYSQL* connection);
  // From a prepared statement's last error.
  explicit sql_exception(MYSQL_STMT* statement);
  // From known facts (message and the library's error number) at `level`.
  sql_exception(std::string message, unsigned error_number, unsigned level = 0);

  // The client library's error number (the code without the base).
  unsigned error_number() const noexcept { return code() & ~code_base; }
  // The 1-based number of the first row of the statement that failed, when
  // the failure ends the run at a statement of rows; 0 otherwise.
  uint64_t row() const noexcept { return row_; }
  void set_row(uint64_t row) noexcept { row_ = row; }
  // Whether the connection is unusable after this error.
  static bool is_connection_lost(unsigned error_number) noexcept;
  // Whether the error is the table's or the server's state (full, out of
  // memory, locked, read-only, a right missing, the table gone), which
  // would refuse every later row too.
  static bool refuses_every_row(unsigned error_number) noexcept;

 private:
  uint64_t row_ = 0;
};

// The long-data path of a record too large for one statement failed.
class sql_prep_stmt_failed_exception : public tk_exception {
 public:
  static constexpr uint32_t failure_code = 0x400BB9;
  sql_prep_stmt_failed_exception();
};

// A 4.1.0 server asks for an authentication protocol the client cannot speak.
class sql_auth_not_supported_exception : public tk_exception {
 public:
  sql_auth_not_supported_exception();
};
