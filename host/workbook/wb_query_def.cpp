#include "wb_query_def.h"

#include "wb_database.h"

wb_hresult wb_query_def::open_recordset(std::unique_ptr<wb_recordset>& out, std::size_t first_rows) {
  return database_.open_recordset_ahead(sql_, first_rows, out);
}
