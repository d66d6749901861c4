// Fuzz target: UTF-16 text (bytes taken in pairs) searched for a GUID.
// Invariant: a valid result points inside the text at 36 characters.
#include "fuzz_check.h"
#include "ole_guid_extractor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = utf16_pairs(data, size);
  ole_guid_extractor g(text);
  if (g.is_valid()) {
    check(g.start() + ole_guid_extractor::guid_length <= text.size());
    check(g.guid() == text.substr(g.start(), ole_guid_extractor::guid_length));
  } else {
    check(g.guid().empty() && !g.is_well_formed());
  }
  return 0;
}
