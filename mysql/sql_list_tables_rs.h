#pragma once
// The base tables of the current database (views left out), one record per
// table with its name in the first field. Needs a server of 5.0.1 or later.

#include "sql_tmp_recordset.h"

class sql_list_tables_rs : public sql_tmp_recordset {
 public:
  static constexpr std::string_view statement = "show full tables where Table_type='BASE TABLE'";

  explicit sql_list_tables_rs(MYSQL* connection);
};
