#pragma once
// Date statistics: for each column, whether every value is a date and time
// (state 1, DATETIME), a date (2, DATE), a time of day (3, TIME), or not all
// of one kind (0, CHAR(19)). The arrival type is 1 for a column that arrived
// as dates, 0 otherwise.

#include "types_map.h"

class dates_map : public types_map {
 public:
  static constexpr int32_t state_char19 = 0;
  static constexpr int32_t state_datetime = 1;
  static constexpr int32_t state_date = 2;
  static constexpr int32_t state_time = 3;

  // With `dates_only`, columns that did not arrive as dates get no entry.
  dates_map(std::u16string table, const udb_schema& schema, bool dates_only);
  void add_rec_stat(const udb_record& record) override;

  // The date kind of a value's text form: 0 none, 1 date and time, 2 date,
  // 3 time. `scratch` is reused between calls.
  static int32_t kind_of(const class udb_field& field, std::string& scratch);
};
