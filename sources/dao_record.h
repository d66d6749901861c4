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
  // Gives back the storage of long texts (wb_long_text_units or more), to
  // be called before the engine moves to another row: the next row's
  // cells then do not sit beside them. Those fields are empty until the
  // next refill().
  void release_long_values();

 private:
  void bind();
  // Whether the record still holds the bound fields, in order.
  bool intact() const;

  const wb_recordset* rows_;
  std::vector<dao_field*> fields_;  // owned by the base record, in order
  bool long_values_ = false;        // a field took a long text since the last release
};
