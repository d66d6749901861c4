#pragma once
// The MySQL form of the CSV field upsizer: widens a column to TEXT with an
// ALTER TABLE statement run through the destination database's query
// operation (the server, or the dump file).

#include "csv_field_upsizer.h"

class sql_field_upsizer : public csv_field_upsizer {
 public:
  using csv_field_upsizer::csv_field_upsizer;
  ~sql_field_upsizer() override;

 protected:
  void do_upsize(const t_ftd& column) override;
};
