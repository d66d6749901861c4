#include "sql_field_upsizer.h"

#include "sql_destination.h"
#include "t_ftd.h"
#include "tk_logger.h"
#include "udb_recordset.h"

sql_field_upsizer::sql_field_upsizer(sql_destination& destination, udb_recordset& table)
    : csv_field_upsizer(&destination, &table), destination_(destination) {}

sql_field_upsizer::~sql_field_upsizer() = default;

void sql_field_upsizer::do_upsize(const t_ftd& column) {
  TK_TRACE(2, "sql_field_upsizer::do_upsize");
  const sql_dialect& dialect = destination_.dialect();
  const std::string sql =
      dialect.change_column_type(table_->name(), column.name, sql_dialect::type_name(sql_type_key::text));
  TK_TRACE(3, "%s", sql);
  destination_.execute(sql);
}
