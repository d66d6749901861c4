#pragma once
// The current row of a worksheet table: one dao_field per engine field, in
// field order. Built once per recordset and refilled row after row.

#include <vector>

#include "udb_record.h"

class dao_field;
class wb_recordset;

class dao_record : public udb_record {
 public:
  // One field bound to each field of `rows`, which must outlive the record.
  explicit dao_record(const wb_recordset& rows);
  ~dao_record() override;

  // Reads the current row into the fields. A caller that restructured the
  // record (reset, resize) gets the bound fields back first.
  void refill();

 private:
  void bind();

  const wb_recordset* rows_;
  std::vector<dao_field*> fields_;  // owned by the base record, in order
};
