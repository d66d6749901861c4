#pragma once
// The text encoding of a CSV file, and the decoding of its lines into
// UTF-16.
//
// An encoding is UTF-8, UTF-16 in either byte order, a single-byte code page
// (decoded through a table of 256 characters), or another code page that ICU
// converts and whose line feeds, carriage returns, quotes and delimiters are
// the ASCII bytes, never part of a longer sequence (Shift_JIS, GBK, Big5,
// GB18030, EUC-KR): the reader splits lines and counts quotes on the bytes
// before decoding them. Code pages that break this rule (EBCDIC, UTF-32,
// UTF-7, the ISO-2022 family) are refused by name.
//
// A code page is named by a Windows code page number (1252, 1251, 932; 65001
// is UTF-8, 1200 and 1201 are UTF-16LE and UTF-16BE) or by an ICU converter
// name ("ISO-8859-15", "Shift_JIS", "UTF-16LE").
//
// Owns the ICU converter of a multi-byte code page; moves, never copies.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct UConverter;

class csv_encoding {
 public:
  enum class kind : uint8_t { utf8, utf16le, utf16be, single_byte, converter };

  // UTF-8.
  csv_encoding();
  ~csv_encoding();
  csv_encoding(csv_encoding&&) noexcept;
  csv_encoding& operator=(csv_encoding&&) noexcept;

  // The encoding a code page name stands for. A name that names no code page
  // raises the level-1 refusal() text, as does a code page the reader cannot
  // split into lines.
  static csv_encoding named(std::u16string_view name);
  // Why `name` cannot be used, as the message that refuses it: "Unknown CSV
  // code page '<name>': ..." or "Unsupported CSV code page '<name>': ...".
  // Empty for a usable name and for the empty name (no code page given).
  static std::string refusal(std::u16string_view name);
  static csv_encoding windows_1252();
  // The encoding a byte-order mark at the start of `head` selects (UTF-8,
  // UTF-16LE, UTF-16BE), and the mark's length; 0 when `head` starts with
  // none.
  static size_t byte_order_mark(std::string_view head, csv_encoding& selected);

  kind get_kind() const noexcept { return kind_; }
  bool is_utf16() const noexcept { return kind_ == kind::utf16le || kind_ == kind::utf16be; }
  // For messages: "UTF-8", "UTF-16LE", "windows-1251", "Shift_JIS".
  const std::string& name() const noexcept { return name_; }

  // Decodes the bytes of one physical line onto `out`. UTF-16 input reaches
  // it as the reader has turned it into UTF-8 (csv_detail::utf16_to_utf8).
  // False when the bytes are not text of the encoding; `out` then holds a
  // part of the line that the caller drops.
  bool decode_append(std::u16string& out, std::string_view bytes);

 private:
  struct converter_closer {
    void operator()(UConverter* converter) const noexcept;
  };
  explicit csv_encoding(kind k, std::string name);
  // The encoding of an ICU converter, or the refusal of its name.
  static csv_encoding from_converter(std::unique_ptr<UConverter, converter_closer> converter, std::u16string_view asked,
                                     std::string& refused);
  static csv_encoding resolve(std::u16string_view name, std::string& refused);

  kind kind_ = kind::utf8;
  std::string name_ = "UTF-8";
  // A single-byte code page: the character of each byte, or
  // undefined_byte where the code page has none.
  std::unique_ptr<char16_t[]> table_;
  bool keeps_ascii_ = false;  // the table maps each ASCII byte to itself
  std::unique_ptr<UConverter, converter_closer> converter_;
};

namespace csv_detail {

// Streams the check of a file for UTF-8: feed() every chunk in order, then
// ask valid() once all were fed. A sequence may be split between chunks.
// Runs of ASCII are passed over 16 bytes at a time where SSE2 is there.
class utf8_check {
 public:
  void feed(std::string_view bytes) noexcept;
  // Whether every byte fed so far was UTF-8 and no sequence is left open.
  bool valid() const noexcept { return valid_ && need_ == 0; }
  // Whether a byte fed so far was not UTF-8 (a sequence still open may yet
  // be completed): the rest of the file need not be read.
  bool failed() const noexcept { return !valid_; }

 private:
  bool valid_ = true;
  uint8_t need_ = 0;               // continuation bytes still expected
  uint8_t lo_ = 0x80, hi_ = 0xBF;  // the range of the next continuation byte
};

// Turns UTF-16 (either byte order) into UTF-8 a chunk at a time, as the CSV
// reader receives it: a unit split between chunks waits for its second byte,
// a high surrogate for its low one. A lone surrogate becomes the three bytes
// UTF-8 would give it (ED A0..BF xx), which no UTF-8 decoder accepts, so its
// line is refused as any line that cannot be decoded; an odd byte at the end
// of the input becomes 0xFF for the same reason.
class utf16_to_utf8 {
 public:
  explicit utf16_to_utf8(bool big_endian) : big_endian_(big_endian) {}
  // The most bytes convert() writes for `n` input bytes.
  static constexpr size_t max_output(size_t n) { return (n / 2 + 2) * 3; }
  // Converts `n` bytes that follow those given before; returns the number of
  // UTF-8 bytes written to `out`.
  size_t convert(const char* in, size_t n, char* out) noexcept;
  // At the end of the input: what still waits, written to `out` (at most 4
  // bytes).
  size_t finish(char* out) noexcept;
  void reset() noexcept {
    has_byte_ = false;
    high_ = 0;
  }

 private:
  char* put(char16_t unit, char* out) noexcept;

  bool big_endian_;
  bool has_byte_ = false;  // the first byte of a unit, waiting for its second
  unsigned char byte_ = 0;
  char16_t high_ = 0;  // a high surrogate waiting for its low one
};

}  // namespace csv_detail
