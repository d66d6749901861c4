#pragma once
// The failure of a workbook engine call: the message is the description of
// the first entry of the engine's error collection, the code 0x10000 plus
// its DAO error number (so DAO 3274 is 68810), the level 0. The error
// handler replaces the codes it knows by friendlier texts.
//
// The engine and every object it made share one error collection; the
// layer builds the exception from the collection of the object whose call
// failed. When the collection cannot be read (none, empty, an entry without
// description or number), building the exception raises a level-1
// tk_exception instead.

#include <cstdint>

#include "tk_exception.h"

class wb_error_list;
struct wb_error;

class dao_exception : public tk_exception {
 public:
  static constexpr uint32_t code_offset = 0x10000;

  // From `errors`, the collection of the object whose call failed (null:
  // no collection).
  explicit dao_exception(const wb_error_list* errors);

  // The DAO error number (the code without its offset).
  long dao_number() const noexcept { return static_cast<long>(code() - code_offset); }

 private:
  explicit dao_exception(const wb_error& first);
  static const wb_error& first_error(const wb_error_list* errors);
};
