// Differential fuzz target for the fast paths of the worksheet reader:
// - wb_xml_scanner against expat (wb_xml_parser): whenever expat reads the
//   input as a well-formed document, the scanner reports the very same
//   events (text compared per run between other events), whether it gets
//   the input whole or in small pieces, or it declines the input. For
//   ASCII input the scanner must also fail wherever expat fails (it only
//   skips the Unicode name-character classes).
// - wb_parse_number against std::from_chars on the input's first bytes.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "wb_byte_reader.h"
#include "wb_value_text.h"
#include "wb_xml_parser.h"
#include "wb_xml_scanner.h"

namespace {

// Hands out at most `piece` bytes per read.
class piecewise_reader final : public wb_byte_reader {
 public:
  piecewise_reader(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  long read(void* buffer, std::size_t size) override {
    std::size_t n = std::min({size, piece_, bytes_.size() - pos_});
    if (n != 0) std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<long>(n);
  }
  bool rewind() override {
    pos_ = 0;
    return true;
  }
  long error() const override { return 0; }

 private:
  std::string_view bytes_;
  std::size_t piece_;
  std::size_t pos_ = 0;
};

// Every event in one string; adjacent text pieces join.
class recorder final : public wb_xml_handler {
 public:
  std::string log;
  void on_start(wb_xml_ns ns, std::string_view local, const char** attributes) override {
    flush();
    log += "<";
    log += static_cast<char>('0' + static_cast<int>(ns));
    log += local;
    for (const char** a = attributes; *a != nullptr; a += 2) {
      log += ' ';
      log += a[0];
      log += '=';
      log += a[1];
      log += '\x01';
    }
    log += '>';
  }
  void on_end(wb_xml_ns ns, std::string_view local) override {
    flush();
    log += "</";
    log += static_cast<char>('0' + static_cast<int>(ns));
    log += local;
    log += '>';
  }
  void on_text(std::string_view text) override { text_.append(text); }
  void flush() {
    if (text_.empty()) return;
    log += "[";
    log += text_;
    log += "]";
    text_.clear();
  }

 private:
  std::string text_;
};

struct outcome {
  bool ok = false;
  bool declined = false;
  std::string log;
};

outcome with_expat(std::string_view bytes) {
  wb_memory_reader reader(bytes);
  recorder r;
  wb_xml_parser parser(reader, r);
  outcome o;
  o.ok = parser.parse_all();
  r.flush();
  o.log = std::move(r.log);
  return o;
}

outcome with_scanner(std::string_view bytes, std::size_t piece) {
  piecewise_reader reader(bytes, piece);
  recorder r;
  wb_xml_scanner scanner(reader, r);
  outcome o;
  o.ok = scanner.parse_all();
  o.declined = scanner.declined();
  r.flush();
  o.log = std::move(r.log);
  return o;
}

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

  const outcome expat = with_expat(bytes);
  bool ascii = true;
  for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  const std::size_t small = size == 0 ? 1 : 1 + static_cast<unsigned char>(bytes.back()) % 13;
  for (std::size_t piece : {std::size_t{1} << 20, small}) {
    const outcome scanner = with_scanner(bytes, piece);
    if (scanner.declined) continue;
    if (expat.ok && (!scanner.ok || scanner.log != expat.log)) std::abort();
    if (ascii && scanner.ok && !expat.ok) std::abort();
  }
  return 0;
}
