// Fuzz target: UTF-16 text (bytes taken in pairs) searched for a GUID.
// Invariant: a valid result points inside the text at 36 characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ole_guid_extractor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  ole_guid_extractor g(text);
  if (g.is_valid()) {
    if (g.start() + ole_guid_extractor::guid_length > text.size()) std::abort();
    if (g.guid() != text.substr(g.start(), ole_guid_extractor::guid_length)) std::abort();
  } else if (!g.guid().empty() || g.is_well_formed()) {
    std::abort();
  }
  return 0;
}
