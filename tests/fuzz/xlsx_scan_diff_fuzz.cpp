// Differential fuzz target for the fast paths of the worksheet reader:
// - wb_xml_scanner against expat (wb_xml_parser): whenever expat reads the
//   input as a well-formed document, the scanner reports the very same
//   events (text compared per run between other events), whether it gets
//   the input whole, a byte at a time or in pieces of a size taken from the
//   input, or it declines the input. For ASCII input the scanner must also
//   fail wherever expat fails (it only skips the Unicode name-character
//   classes).
// - wb_parse_number against std::from_chars on the input's first bytes: the
//   same acceptance and the same double. The corpus's number_*.txt hold
//   the shortcut's limits (2^53, 19 digits, 22 decimals) on both sides,
//   numbers out of range and texts that are no number.
// The corpus's .xml files are also the scanner's test documents
// (tests/host/xlsx/host_xml_scan_test.cpp), named by what they must give.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "wb_value_text.h"
#include "xml_event_log.h"

namespace {

void check_number(std::string_view text) {
  double fast = 0;
  const bool fast_ok = wb_parse_number(text, fast);
  double slow = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), slow);
  const bool slow_ok = ec == std::errc() && end == text.data() + text.size() && std::isfinite(slow);
  if (fast_ok != slow_ok) std::abort();
  if (fast_ok && std::memcmp(&fast, &slow, sizeof fast) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  check_number(bytes.substr(0, 32));

  const xml_events::outcome expat = xml_events::with_expat(bytes);
  bool ascii = true;
  for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  const std::size_t small = size == 0 ? 1 : 1 + static_cast<unsigned char>(bytes.back()) % 13;
  for (std::size_t piece : {std::size_t{1} << 20, std::size_t{1}, small}) {
    const xml_events::outcome scanner = xml_events::with_scanner(bytes, piece);
    if (scanner.declined) continue;
    if (expat.ok && (!scanner.ok || scanner.log != expat.log)) std::abort();
    if (ascii && scanner.ok && !expat.ok) std::abort();
  }
  return 0;
}
