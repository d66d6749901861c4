// The events of one XML document as a single text, read by expat
// (wb_xml_parser) or by the hand-written scanner (wb_xml_scanner), so that
// the two can be compared: by the scanner's tests and by the differential
// fuzz target (tests/fuzz/xlsx_scan_diff_fuzz.cpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "wb_byte_reader.h"
#include "wb_xml_parser.h"
#include "wb_xml_scanner.h"

namespace xml_events {

// Hands out at most `piece` bytes per read, so that tokens straddle reads.
class piecewise_reader final : public wb_byte_reader {
 public:
  piecewise_reader(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  long read(void* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, piece_, bytes_.size() - pos_});
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

// Writes <ns:local name=value\x01...>, </ns:local> and [text], where ns is
// the wb_xml_ns number and adjacent text pieces are joined. \x01 cannot
// occur in a document, so attributes never run into each other.
class recorder final : public wb_xml_handler {
 public:
  std::string log;
  void on_start(wb_xml_ns ns, std::string_view local, const char** attributes) override {
    tag("<", ns, local);
    for (const char** a = attributes; *a != nullptr; a += 2)
      log.append(" ").append(a[0]).append("=").append(a[1]) += '\x01';
    log += '>';
  }
  void on_end(wb_xml_ns ns, std::string_view local) override {
    tag("</", ns, local);
    log += '>';
  }
  void on_text(std::string_view text) override { text_ += text; }
  void flush() {
    if (!text_.empty()) log.append("[").append(text_) += ']';
    text_.clear();
  }

 private:
  void tag(const char* open, wb_xml_ns ns, std::string_view local) {
    flush();
    log.append(open).append(std::to_string(static_cast<int>(ns))).append(":").append(local);
  }
  std::string text_;
};

struct outcome {
  bool ok = false;
  bool declined = false;  // the scanner left the document to expat
  long error = 0;
  std::string log;
};

// The events `Parser` reports over `reader`.
template <class Parser>
outcome events(wb_byte_reader& reader) {
  recorder r;
  Parser parser(reader, r);
  outcome out;
  out.ok = parser.parse_all();
  if constexpr (std::is_same_v<Parser, wb_xml_scanner>) out.declined = parser.declined();
  out.error = parser.error();
  r.flush();
  out.log = std::move(r.log);
  return out;
}

inline outcome with_expat(std::string_view bytes) {
  wb_memory_reader reader(bytes);
  return events<wb_xml_parser>(reader);
}

// `piece`: the most bytes the scanner gets per read.
inline outcome with_scanner(std::string_view bytes, std::size_t piece) {
  piecewise_reader reader(bytes, piece);
  return events<wb_xml_scanner>(reader);
}

}  // namespace xml_events
