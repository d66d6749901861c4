#include "wb_query_def.h"

#include "wb_database.h"

wb_hresult wb_query_def::open_recordset(std::unique_ptr<wb_recordset>& out) {
  return database_.open_recordset(sql_, out);
}
