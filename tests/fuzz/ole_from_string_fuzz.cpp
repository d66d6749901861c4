// Fuzz target: text parsed into a variant of a chosen tag, printed, re-read,
// and converted to a second chosen tag. Byte 0 picks the tag, byte 1 the
// target of the conversion; the rest is the text.
// Invariants: a dedicated tag gives that tag or VT_EMPTY and re-reads its
// own text form to the same value; only the exceptions the conversions
// name are thrown.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "fuzz_check.h"
#include "ole_cast_exception.h"
#include "ole_type_exception.h"
#include "ole_variant.h"
#include "tk_mail_assertion.h"

namespace {

constexpr VARTYPE tags[] = {VT_EMPTY,     VT_NULL,  VT_I2,       VT_I4,      VT_R4,   VT_R8,   VT_CY,
                            VT_DATE,      VT_BSTR,  VT_BOOL,     VT_DECIMAL, VT_I1,   VT_UI1,  VT_UI2,
                            VT_UI4,       VT_I8,    VT_UI8,      VT_INT,     VT_UINT, VT_BLOB, VT_BLOB_OBJECT,
                            VT_ARRAY_UI1, VT_ERROR, VT_DISPATCH, VT_LPSTR};

constexpr VARTYPE dedicated_tags[] = {VT_I2, VT_I4, VT_I1, VT_UI1,     VT_UI2,  VT_UI4,       VT_I8,   VT_UI8,
                                      VT_R4, VT_R8, VT_CY, VT_DECIMAL, VT_DATE, VT_ARRAY_UI1, VT_BLOB, VT_BOOL};

bool dedicated(VARTYPE vt) {
  return std::find(std::begin(dedicated_tags), std::end(dedicated_tags), vt) != std::end(dedicated_tags);
}

// The text form reads back to the same value (a date to some date; a float,
// a NaN and an empty byte array have no exact text form).
void check_round_trip(const ole_variant& v) {
  const VARTYPE vt = v.get_type();
  if (!dedicated(vt) || vt == VT_R4 || (vt == VT_R8 && std::isnan(v.get_r8())) ||
      ((vt == VT_ARRAY_UI1 || vt == VT_BLOB) && v.bytes().empty()))
    return;
  ole_variant back;
  back.from_string(v.to_string(), vt);
  if (vt == VT_DATE)
    check(back.get_type() == VT_DATE);
  else if (vt == VT_DECIMAL)
    check(back.get_type() == VT_DECIMAL && back.get_decimal() == v.get_decimal());
  else
    check(back == v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const VARTYPE vt = tags[data[0] % std::size(tags)];
  const VARTYPE target = tags[data[1] % std::size(tags)];
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);

  ole_variant v;
  try {
    v.from_string(text, vt);
  } catch (const ole_type_exception&) {
    check(!dedicated(vt));
    return 0;
  } catch (const tk_mail_assertion&) {
    // Text that is not text of the code page, for the text tags.
    check(!dedicated(vt));
    return 0;
  }
  if (dedicated(vt)) {
    check(v.get_type() == vt || v.get_type() == VT_EMPTY);
    check_round_trip(v);
  }
  std::string out = v.to_string();
  (void)v.to_wstring();
  check(v.is_text_form_empty() == out.empty());
  (void)v.to_bool();
  (void)v.to_long();
  if (v.is_numeric() || v.is_empty() || v.is_null()) (void)v.to_double();
  std::string piece;
  for (size_t pos = 0; v.get_at(piece, pos, 3) != 0;) pos += 3;

  ole_variant converted = v;
  try {
    converted.change_type(target);
  } catch (const ole_cast_exception&) {
    check(converted == v);  // a failed conversion leaves the value as it was
  }
  out = converted.to_string();
  return 0;
}
