// A hand-written XML reader for the sheet passes that need speed more than
// expat's generality: it reports exactly the events wb_xml_parser reports
// for the same well-formed UTF-8 document (names resolved through the same
// wb_xml_namespaces, attribute values normalised, entity and character
// references decoded, CDATA as text, line ends normalised), at a fraction
// of the cost, because it tokenises in place in its own buffer.
//
// It checks well-formedness as far as the structure goes (tag nesting,
// attribute syntax and uniqueness, references, comments, CDATA, processing
// instructions, characters and UTF-8 sequences), and fails with DAO error
// 3274 where expat would; Unicode name-character classes are not checked.
// A document type declaration fails, as it does with wb_xml_parser.
//
// A document in another encoding than UTF-8 (an encoding declaration other
// than UTF-8, a UTF-16 byte order mark or layout) is declined before any
// event: declined() tells the caller to read it with wb_xml_parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wb_byte_reader.h"
#include "wb_xml_parser.h"

class wb_xml_scanner {
 public:
  // Bytes read per chunk; the buffer grows beyond this only for a single
  // tag, comment or processing instruction that does not fit (text and
  // CDATA sections are reported piece by piece).
  static constexpr std::size_t chunk_size = 256 * 1024;

  wb_xml_scanner(wb_byte_reader& reader, wb_xml_handler& handler);
  wb_xml_scanner(const wb_xml_scanner&) = delete;
  wb_xml_scanner& operator=(const wb_xml_scanner&) = delete;

  // Reads one chunk and reports every token completed so far. Returns true
  // while the document goes on; false once it ended, failed or was
  // declined.
  bool parse_chunk();
  // Parses to the end. Returns false on failure or when declined.
  bool parse_all();
  // Rewinds the reader and starts over.
  bool restart();

  bool at_end() const { return done_; }
  // 0, or the DAO error number of the failure: 3274 for malformed XML or
  // unreadable data, or the reader's own error.
  long error() const { return error_; }
  // True when the document must be read by wb_xml_parser instead (see
  // above); nothing has been reported then.
  bool declined() const { return declined_; }

 private:
  enum class step : std::uint8_t { done, more, fail, decline };
  struct attribute_span {
    char* name;
    char* name_end;
    char* value;
    char* value_end;
    bool normalize;
  };

  void reset();
  step scan(bool final);
  step prolog(char*& p, char* e, bool final);
  step text(char*& p, char* e, bool final);
  step start_tag(char*& p, char* e);
  step end_tag(char*& p, char* e);
  step markup(char*& p, char* e);
  step cdata(char*& p, char* e, bool final);
  void emit_text(std::string_view piece);

  wb_byte_reader& reader_;
  wb_xml_handler& handler_;
  wb_xml_namespaces names_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;  // first byte not yet consumed
  std::size_t end_ = 0;    // end of the bytes read
  std::vector<attribute_span> spans_;
  std::vector<const char*> attributes_;
  std::string open_names_;                   // names of the open elements, back to back
  std::vector<std::uint32_t> open_offsets_;  // where each starts in open_names_
  bool started_ = false;                     // past the byte order mark and XML declaration
  bool root_seen_ = false;
  bool in_cdata_ = false;  // inside a CDATA section, which is reported as it arrives
  bool done_ = false;
  bool declined_ = false;
  long error_ = 0;
};
