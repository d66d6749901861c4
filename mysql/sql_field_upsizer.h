#pragma once
// The MySQL form of the CSV field upsizer: widens a column to TEXT with an
// ALTER TABLE statement run on the destination (the server, or the dump
// file).

#include "csv_field_upsizer.h"

class sql_destination;

class sql_field_upsizer : public csv_field_upsizer {
 public:
  sql_field_upsizer(sql_destination& destination, udb_recordset& table);
  ~sql_field_upsizer() override;

 protected:
  void do_upsize(const t_ftd& column) override;

 private:
  sql_destination& destination_;
};
