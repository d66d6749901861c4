// Fuzz target: a key description turned into an SQL filter. Byte 0 picks the
// table: text columns only, or text, number and binary columns; the rest is
// the key text, one character per byte. Only the conformance exception may
// be thrown; with text columns only, every single quote of the filter opens
// or closes a literal or is escaped, so the filter never ends inside one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tk_exception.h"
#include "udb_recordset.h"

namespace {

bool ends_outside_literals(const std::u16string& filter) {
  bool inside = false;
  for (size_t i = 0; i < filter.size(); ++i) {
    if (inside && filter[i] == u'\\') {
      ++i;  // the escaped character
    } else if (filter[i] == u'\'') {
      inside = !inside;
    }
  }
  return !inside;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool text_only = data[0] & 1;
  udb_recordset rs(nullptr, u"fuzz", u"t");
  rs.schema().push_back(t_ftd(40, u"city", VT_BSTR, false, false, ole_variant(), 0));
  rs.schema().push_back(t_ftd(40, u"Name", VT_BSTR, false, false, ole_variant(), 0));
  if (!text_only) {
    rs.schema().push_back(t_ftd(4, u"id", VT_I4, false, false, ole_variant(), 0));
    rs.schema().push_back(t_ftd(9, u"data", VT_ARRAY_UI1, false, false, ole_variant(), 0));
  }
  std::u16string key;
  for (size_t i = 1; i < size; ++i) key += static_cast<char16_t>(data[i]);
  try {
    std::u16string filter = rs.get_filter_subquery(key);
    if (text_only && !ends_outside_literals(filter)) std::abort();
  } catch (const tk_exception& e) {
    if (e.message() != "The structure of data source does not conform to the destination table.") std::abort();
  }
  return 0;
}
