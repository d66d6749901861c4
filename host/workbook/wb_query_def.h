// A query definition bound to a database; opening it gives a recordset.
#pragma once

#include <memory>
#include <string>

#include "wb_error_list.h"
#include "wb_status.h"

class wb_database;
class wb_recordset;

class wb_query_def {
 public:
  // `database` must outlive the query definition.
  wb_query_def(wb_database& database, std::u16string name, std::u16string sql)
      : database_(database), name_(std::move(name)), sql_(std::move(sql)) {}

  const std::u16string& name() const { return name_; }
  const std::u16string& sql() const { return sql_; }

  // Opens the query as a forward-only, read-only recordset (the only kind
  // the engine offers; it stays valid after the query definition and the
  // database are destroyed). 3129/3131 for a statement other than
  // "SELECT * FROM [table]", 3078 for an unknown table, 3274/3161 for an
  // unreadable sheet. With `first_rows`, the sheet's first pass is read
  // ahead past that many data rows (wb_recordset::open_ahead).
  wb_hresult open_recordset(std::unique_ptr<wb_recordset>& out, std::size_t first_rows = 0);

 private:
  wb_database& database_;
  std::u16string name_;
  std::u16string sql_;
};
