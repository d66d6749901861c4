#pragma once
// Owners of the client library's handles other than the connection (which
// the engine embeds): a result set is freed and a prepared statement closed
// when its owner goes, on every path.

#include <mysql.h>

#include <memory>

struct sql_result_closer {
  void operator()(MYSQL_RES* result) const noexcept { mysql_free_result(result); }
};
using sql_result = std::unique_ptr<MYSQL_RES, sql_result_closer>;

struct sql_stmt_closer {
  void operator()(MYSQL_STMT* statement) const noexcept { mysql_stmt_close(statement); }
};
using sql_stmt = std::unique_ptr<MYSQL_STMT, sql_stmt_closer>;
