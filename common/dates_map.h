#pragma once
// Date statistics: for each column, whether every value is a date and time
// (state 1, DATETIME), a date (2, DATE), a time of day (3, TIME), or not all
// of one kind (0, CHAR(19)). The arrival type is 1 for a column that arrived
// as dates, 0 otherwise.
//
// A state is proposed only where the server changes the column exactly for
// every value:
// - texts in the server's own forms: YYYY-MM-DD, YYYY-MM-DD HH:MM:SS and
//   [-]H:MM:SS up to 838 hours (a fraction of a second only when it is
//   zero, since the columns keep whole seconds), valid calendar dates;
// - or texts that all follow one slash pattern, M/D/YYYY or D/M/YYYY (with
//   an optional H:MM or H:MM:SS), whose day/month order the column itself
//   tells (a first field above 12 is a day, a second one above 12 a day;
//   every value equal both ways needs no order). The entry's pattern then
//   names the server's STR_TO_DATE reading of it, and the column's texts
//   are rewritten into the server's form before its type changes. A column
//   that mixes forms, or whose order cannot be told, stays text;
// - stored dates (a workbook's date cells) by their kind.

#include <cstdint>
#include <vector>

#include "types_map.h"

class udb_field;
struct field_note;

class dates_map : public types_map {
 public:
  static constexpr int32_t state_char19 = 0;
  static constexpr int32_t state_datetime = 1;
  static constexpr int32_t state_date = 2;
  static constexpr int32_t state_time = 3;

  // With `dates_only`, columns that did not arrive as dates get no entry.
  dates_map(std::u16string table, const udb_schema& schema, bool dates_only);
  void add_rec_stat(const udb_record& record) override { add_rec_stat(record, nullptr); }
  // With `notes` (one per field), the readings found ahead.
  void add_rec_stat(const udb_record& record, const field_note* notes);

  // What one value is: its kind (ole_date::kind_*: none, date and time, date,
  // time) in the server's own forms, or a slash date with its first two
  // fields, its year and its clock (0 none, 1 H:MM, 2 H:MM:SS).
  struct reading {
    int32_t kind = 0;
    bool slash = false;
    int first = 0, second = 0, year = 0;
    int clock = 0;
  };
  static reading read(const udb_field& field);

 private:
  // How the values of a column read so far.
  struct column_form {
    enum class kind : uint8_t { unknown, server, slash } form = kind::unknown;
    bool month_first = true;  // every value is a valid M/D/YYYY date
    bool day_first = true;    // every value is a valid D/M/YYYY date
    bool same_both_ways = true;
    int clock = -1;  // of the first value; every value must share it
  };
  void take_slash(types_map_entry& e, column_form& form, const reading& r);

  std::vector<column_form> forms_;  // one per entry
};
