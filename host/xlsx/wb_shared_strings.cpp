#include "wb_shared_strings.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>

#include "wb_xml_parser.h"
#include "wb_xml_scanner.h"

namespace {

class sst_handler final : public wb_xml_handler {
 public:
  explicit sst_handler(wb_shared_strings& table, std::size_t& count_hint) : table_(table), count_hint_(count_hint) {}

  void on_start(wb_xml_ns ns, std::string_view local, const char** attributes) override {
    if (ns != wb_xml_ns::main) return;
    if (local == "si") {
      in_si_ = true;
      text_.clear();
    } else if (local == "rPh") {
      ++phonetic_depth_;
    } else if (local == "t") {
      collecting_ = in_si_ && phonetic_depth_ == 0;
    } else if (local == "sst") {
      if (const char* c = wb_xml_parser::attribute(attributes, "uniqueCount")) {
        std::from_chars(c, c + std::char_traits<char>::length(c), count_hint_);
      }
    }
  }

  void on_end(wb_xml_ns ns, std::string_view local) override {
    if (ns != wb_xml_ns::main) return;
    if (local == "t") {
      collecting_ = false;
    } else if (local == "rPh") {
      if (phonetic_depth_ > 0) --phonetic_depth_;
    } else if (local == "si") {
      in_si_ = false;
      table_.append(text_);
    }
  }

  void on_text(std::string_view text) override {
    if (collecting_) text_.append(text);
  }

 private:
  wb_shared_strings& table_;
  std::size_t& count_hint_;
  std::string text_;
  bool in_si_ = false;
  bool collecting_ = false;
  int phonetic_depth_ = 0;
};

}  // namespace

bool wb_shared_strings::load(wb_byte_reader& reader, long& dao_error) {
  std::size_t count_hint = 0;
  sst_handler handler(*this, count_hint);
  // The part is read once: by the scanner when it is plain UTF-8 (the usual
  // case), otherwise by expat.
  wb_xml_scanner scanner(reader, handler);
  bool more = scanner.parse_chunk();
  entries_.reserve(std::min<std::size_t>(count_hint, std::size_t{1} << 22));
  while (more) more = scanner.parse_chunk();
  long error = scanner.error();
  if (scanner.declined()) {
    wb_xml_parser parser(reader, handler);
    if (parser.restart()) {
      more = parser.parse_chunk();
      entries_.reserve(std::min<std::size_t>(count_hint, std::size_t{1} << 22));
      while (more) more = parser.parse_chunk();
    }
    error = parser.error();
  }
  if (error != 0) {
    dao_error = error;
    return false;
  }
  entries_.shrink_to_fit();
  return true;
}

char* wb_shared_strings::reserve(std::size_t bytes) {
  if (!blocks_.empty() && capacity_ - used_ >= bytes) return blocks_.back().get() + used_;
  // A long string gets a block of its own, so a block's unused tail stays
  // below an eighth of the block.
  const std::size_t size = bytes > block_bytes / 8 ? bytes : block_bytes;
  if (size == bytes && !blocks_.empty()) {
    // Keep filling the current block afterwards: put the big one before it.
    blocks_.insert(blocks_.end() - 1, std::make_unique_for_overwrite<char[]>(size));
    return blocks_[blocks_.size() - 2].get();
  }
  blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
  used_ = 0;
  capacity_ = size;
  return blocks_.back().get();
}

void wb_shared_strings::append(std::string_view utf8) {
  if (utf8.empty()) {
    entries_.push_back(entry{"", 0});
    return;
  }
  char* dest = reserve(utf8.size());
  std::memcpy(dest, utf8.data(), utf8.size());
  if (dest == blocks_.back().get() + used_) used_ += utf8.size();
  entries_.push_back(entry{dest, static_cast<std::uint32_t>(utf8.size())});
}
