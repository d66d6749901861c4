#include "sql_list_tables_rs.h"

#include "tk_logger.h"

sql_list_tables_rs::sql_list_tables_rs(MYSQL* connection) : sql_tmp_recordset(statement, connection) {
  TK_TRACE(2, "sql_list_tables_rs::ctor");
}
