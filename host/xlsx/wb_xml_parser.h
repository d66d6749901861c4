// Streams an XML part through expat, chunk by chunk from a wb_byte_reader,
// and reports elements by namespace and local name.
//
// expat runs without its own namespace processing, which costs a copy of
// the namespace URI into every element name; instead the parser keeps the
// prefixes declared so far (xmlns and xmlns:p attributes) and resolves the
// prefix of each name. Declarations are not unscoped at the end of their
// element: workbook parts declare their namespaces on the root element.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "wb_byte_reader.h"

// The namespaces the workbook parts use. Transitional and strict OOXML
// spell them differently; both map to the same value.
enum class wb_xml_ns : std::uint8_t {
  none,      // no namespace (plain attributes)
  other,     // anything else
  main,      // SpreadsheetML main
  doc_rels,  // officeDocument relationships (the r: prefix)
  pkg_rels,  // package relationships (.rels parts)
};

// The prefixes a part has declared so far, resolved the same way by every
// parser that reports to a wb_xml_handler.
class wb_xml_namespaces {
 public:
  void reset();
  // Records the xmlns and xmlns:p declarations among `attributes` (name,
  // value, ..., nullptr), if there are any.
  void declare(const char** attributes);
  // Splits a qualified name "p:local" into the namespace bound to its
  // prefix and its local name. Unprefixed element names take the default
  // namespace; unprefixed attribute names (`is_attribute`) have none.
  wb_xml_ns split_name(std::string_view name, std::string_view& local, bool is_attribute = false) const {
    std::size_t colon = name.size();
    while (colon > 0 && name[colon - 1] != ':') --colon;
    if (colon == 0) {
      local = name;
      return is_attribute ? wb_xml_ns::none : default_ns_;
    }
    local = name.substr(colon);
    return bound(name.substr(0, colon - 1));
  }
  // The value of the attribute with this namespace and local name, or nullptr.
  const char* attribute(const char** attributes, std::string_view local, wb_xml_ns ns) const;

 private:
  void declare_all(const char** attributes);
  wb_xml_ns bound(std::string_view prefix) const;

  struct prefix_binding {
    std::string prefix;
    wb_xml_ns ns;
  };
  std::vector<prefix_binding> prefixes_;
  wb_xml_ns default_ns_ = wb_xml_ns::none;
};

class wb_xml_handler {
 public:
  virtual ~wb_xml_handler() = default;
  // `attributes` is expat's list: name, value, name, value, ..., nullptr.
  virtual void on_start(wb_xml_ns ns, std::string_view local, const char** attributes) = 0;
  virtual void on_end(wb_xml_ns ns, std::string_view local) = 0;
  // Character data, possibly in several pieces for one text node.
  virtual void on_text(std::string_view text) = 0;

 protected:
  // The bindings of the parser feeding this handler, for attribute lookups
  // by namespace.
  const wb_xml_namespaces* xml_names() const { return xml_names_; }

 private:
  friend class wb_xml_parser;
  friend class wb_xml_scanner;
  const wb_xml_namespaces* xml_names_ = nullptr;
};

class wb_xml_parser {
 public:
  // Bytes handed to expat per read. Large chunks keep the per-call
  // overhead of the reader and of expat low.
  static constexpr std::size_t chunk_size = 256 * 1024;

  wb_xml_parser(wb_byte_reader& reader, wb_xml_handler& handler);
  ~wb_xml_parser();
  wb_xml_parser(const wb_xml_parser&) = delete;
  wb_xml_parser& operator=(const wb_xml_parser&) = delete;

  // Reads and parses one chunk. Returns true while the document goes on;
  // false once it ended or failed (see error()).
  bool parse_chunk();
  // Parses to the end. Returns false on failure.
  bool parse_all();
  // Rewinds the reader and resets the parser for another pass.
  bool restart();

  bool at_end() const { return done_; }
  // 0, or the DAO error number of the failure: 3274 for malformed XML or
  // unreadable data, or the reader's own error.
  long error() const { return error_; }

  // The value of the unprefixed attribute `local`, or nullptr.
  static const char* attribute(const char** attributes, std::string_view local);

 private:
  friend struct wb_xml_parser_callbacks;
  void create();

  wb_xml_namespaces names_;
  void* parser_ = nullptr;  // XML_Parser
  wb_byte_reader& reader_;
  wb_xml_handler& handler_;
  bool done_ = false;
  long error_ = 0;
};
