#pragma once
// One cell of the current row of a worksheet table: a udb_field whose name,
// declared size, flags and value come from the engine's field. The field
// stays bound to the engine's field, so the recordset refills the same
// object row after row (refill()): numbers, dates and booleans never
// allocate, and text reuses the field's buffer. A long text is not copied:
// the field takes the engine's buffer over (wb_field::take_text).
//
// Dates: the engine's OLE date number becomes an ole_date whose midnight
// prints as the date alone, the way the automation text of a date does. The
// text forms then turn the zero date 1899-12-30, which the engine uses for
// pure times, into a time: "1899-12-30" alone is "00:00:00", and in a
// longer text the date part becomes "0000-00-00".

#include <cstdint>
#include <string>

#include "udb_field.h"

class wb_field;

class dao_field : public udb_field {
 public:
  // Binds to `source`, which must outlive the field, and reads its
  // current value.
  explicit dao_field(const wb_field& source);
  ~dao_field() override;

  // Reads the engine field's value of the current row.
  void refill();
  // After a long text (wb_long_text_units or more) since the last call: its
  // storage goes, and the field is empty until the next refill().
  void release_long_value() noexcept {
    if (!long_value_) return;
    long_value_ = false;
    release_storage();
  }
  bool holds_long_value() const noexcept { return long_value_; }

  // The variant type of a DAO field type code.
  static VARTYPE get_vartype(int16_t dao_type) noexcept;
  int16_t dao_type() const noexcept { return dao_type_; }
  // The value's type, or the column's when the value is empty.
  VARTYPE get_type() const noexcept;

  std::string to_string() const override;
  std::u16string to_wstring() const override;

 private:
  const wb_field* source_;
  int16_t dao_type_;
  bool long_value_ = false;
};
