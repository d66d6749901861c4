// Streams an XML part through expat, chunk by chunk from a wb_byte_reader,
// and reports elements by namespace and local name.
#pragma once

#include "wb_byte_reader.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// The namespaces the workbook parts use. Transitional and strict OOXML
// spell them differently; both map to the same value.
enum class wb_xml_ns : std::uint8_t {
    none,      // no namespace (plain attributes)
    other,     // anything else
    main,      // SpreadsheetML main
    doc_rels,  // officeDocument relationships (the r: prefix)
    pkg_rels,  // package relationships (.rels parts)
};

class wb_xml_handler {
public:
    virtual ~wb_xml_handler() = default;
    // `attributes` is expat's list: name, value, name, value, ..., nullptr.
    virtual void on_start(wb_xml_ns ns, std::string_view local, const char** attributes) = 0;
    virtual void on_end(wb_xml_ns ns, std::string_view local) = 0;
    // Character data, possibly in several pieces for one text node.
    virtual void on_text(std::string_view text) = 0;
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

    // Splits an expat name "uri\x01local" into its namespace and local name.
    static wb_xml_ns split_name(const char* name, std::string_view& local);
    // The value of the attribute with this namespace and local name, or nullptr.
    static const char* attribute(const char** attributes, std::string_view local, wb_xml_ns ns = wb_xml_ns::none);

private:
    friend struct wb_xml_parser_callbacks;
    void create();
    void* parser_ = nullptr;  // XML_Parser
    wb_byte_reader& reader_;
    wb_xml_handler& handler_;
    bool done_ = false;
    long error_ = 0;
};
