#include "sql_exception.h"

#include <errmsg.h>

#include "tk_interrupt.h"
#include "tk_logger.h"

namespace {

// A statement ended by the run's own request to stop (see sql_canceller)
// fails as the interruption it is.
bool interrupted(unsigned error_number) { return error_number == 1317 && tk_interrupt::requested(); }

std::string traced_message(const char* message, unsigned error_number) {
  TK_TRACE(3, "sql_exception::sql_exception( msg=%s)", message ? message : "");
  if (interrupted(error_number)) return tk_interrupt::message();
  return message ? std::string(message) : std::string();
}

unsigned level_of(unsigned error_number) {
  return sql_exception::is_connection_lost(error_number) || interrupted(error_number) ? 1 : 0;
}

}  // namespace

bool sql_exception::refuses_every_row(unsigned error_number) noexcept {
  switch (error_number) {
    case 1021:  // disk full
    case 1030:  // the storage engine's error
    case 1036:  // table read only
    case 1037:  // out of memory
    case 1038:  // out of sort memory
    case 1041:  // out of memory
    case 1044:  // access denied to the database
    case 1045:  // access denied
    case 1054:  // unknown column
    case 1099:  // table locked for reading
    case 1100:  // table not locked
    case 1114:  // table full
    case 1142:  // command denied
    case 1143:  // column access denied
    case 1146:  // no such table
    case 1180:  // commit failed
    case 1181:  // rollback failed
    case 1205:  // lock wait timeout
    case 1213:  // deadlock
    case 1290:  // the server runs read-only
    case 1317:  // the statement was ended (the run's request to stop)
    case 1792:  // read-only transaction
    case 1836:  // read-only mode
      return true;
    default:
      return is_connection_lost(error_number);
  }
}

bool sql_exception::is_connection_lost(unsigned error_number) noexcept {
  switch (error_number) {
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case CR_COMMANDS_OUT_OF_SYNC:
    case 1053:  // the server is shutting down
    case 1927:  // the connection was killed
      return true;
    default:
      // The server's network errors: it closes the connection after them.
      return error_number >= 1152 && error_number <= 1161;
  }
}

sql_exception::sql_exception(MYSQL* connection)
    : tk_exception(traced_message(mysql_error(connection), mysql_errno(connection)),
                   code_base | mysql_errno(connection), level_of(mysql_errno(connection))) {
  TK_TRACE(3, "Got MySQL error code=%d", code());
}

sql_exception::sql_exception(MYSQL_STMT* statement)
    : tk_exception(traced_message(mysql_stmt_error(statement), mysql_stmt_errno(statement)),
                   code_base | mysql_stmt_errno(statement), level_of(mysql_stmt_errno(statement))) {
  TK_TRACE(3, "Got MySQL error code=%d", code());
}

sql_exception::sql_exception(std::string message, unsigned error_number, unsigned level)
    : tk_exception(traced_message(message.c_str(), error_number), code_base | error_number,
                   interrupted(error_number) ? 1 : level) {
  TK_TRACE(3, "Got MySQL error code=%d", code());
}

sql_prep_stmt_failed_exception::sql_prep_stmt_failed_exception()
    : tk_exception("Failed to execute prepared statement", failure_code, 1) {}

sql_auth_not_supported_exception::sql_auth_not_supported_exception()
    : tk_exception(
          "The program does not support authentication protocol requested by server. See 'Troubleshooting' "
          "article of the product documentation.",
          1) {}
