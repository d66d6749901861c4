#pragma once
// What the type statistics read of one field (num_map::class_of,
// dates_map::read), found ahead of them: by a CSV file's reading thread, as
// it splits the line (csv_record::note_fields), so that the caller's thread
// only folds the readings of the records the table takes.

#include <cstdint>

#include "dates_map.h"

struct field_note {
  static constexpr uint8_t number_read = 1;
  static constexpr uint8_t date_read = 2;
  uint8_t read = 0;    // which of the two were read
  int32_t number = 0;  // num_map::class_of
  bool inexact = false;
  dates_map::reading date;
};
