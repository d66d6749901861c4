#include "sql_exception.h"

#include "tk_logger.h"

namespace {

std::string traced_message(const char* message) {
  TK_TRACE(3, "sql_exception::sql_exception( msg=%s)", message ? message : "");
  return message ? std::string(message) : std::string();
}

}  // namespace

sql_exception::sql_exception(MYSQL* connection)
    : tk_exception(traced_message(mysql_error(connection)), code_base | mysql_errno(connection), 0) {
  TK_TRACE(3, "Got MySQL error code=%d", code());
}

sql_exception::sql_exception(MYSQL_STMT* statement)
    : tk_exception(traced_message(mysql_stmt_error(statement)), code_base | mysql_stmt_errno(statement), 0) {
  TK_TRACE(3, "Got MySQL error code=%d", code());
}

sql_exception::sql_exception(std::string message, unsigned error_number, unsigned level)
    : tk_exception(traced_message(message.c_str()), code_base | error_number, level) {
  TK_TRACE(3, "Got MySQL error code=%d", code());
}

sql_prep_stmt_failed_exception::sql_prep_stmt_failed_exception()
    : tk_exception("Failed to execute prepared statement", failure_code, 1) {}

sql_auth_not_supported_exception::sql_auth_not_supported_exception()
    : tk_exception(
          "The program does not support authentication protocol requested by server. See 'Troubleshooting' "
          "article of the product documentation.",
          1) {}
