#pragma once
// A row read from the server: one sql_field per result column, named after
// the column, its value built from the raw cell by the column's type.

#include <mysql.h>

#include "udb_record.h"

class sql_record : public udb_record {
 public:
  sql_record() = default;
  // One fetched row; `row`, `lengths` and `fields` as the client library
  // returns them (a null row is an internal error); BLOB columns as text
  // when `blob_to_text`.
  sql_record(unsigned n_fields, MYSQL_ROW row, const unsigned long* lengths, const MYSQL_FIELD* fields,
             bool blob_to_text);
};
