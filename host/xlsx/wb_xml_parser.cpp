#include "wb_xml_parser.h"

#include <expat.h>

#include <cstring>

#include "wb_error_list.h"

namespace {

constexpr std::string_view main_transitional = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view main_strict = "http://purl.oclc.org/ooxml/spreadsheetml/main";
constexpr std::string_view rels_transitional = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view rels_strict = "http://purl.oclc.org/ooxml/officeDocument/relationships";
constexpr std::string_view package_rels = "http://schemas.openxmlformats.org/package/2006/relationships";

wb_xml_ns classify(std::string_view uri) {
  if (uri == main_transitional || uri == main_strict) return wb_xml_ns::main;
  if (uri == rels_transitional || uri == rels_strict) return wb_xml_ns::doc_rels;
  if (uri == package_rels) return wb_xml_ns::pkg_rels;
  return wb_xml_ns::other;
}

}  // namespace

void wb_xml_namespaces::reset() {
  prefixes_.clear();
  default_ns_ = wb_xml_ns::none;
}

void wb_xml_namespaces::declare(const char** attributes) {
  // Declarations come first in practice, but any attribute may be one.
  for (const char** a = attributes; *a != nullptr; a += 2) {
    if (a[0][0] == 'x' && std::strncmp(a[0], "xmlns", 5) == 0) {
      declare_all(attributes);
      return;
    }
  }
}

void wb_xml_namespaces::declare_all(const char** attributes) {
  for (const char** a = attributes; *a != nullptr; a += 2) {
    if (std::strncmp(a[0], "xmlns", 5) != 0) continue;
    const wb_xml_ns ns = classify(a[1]);
    if (a[0][5] == '\0') {
      default_ns_ = ns;
    } else if (a[0][5] == ':') {
      const std::string_view prefix(a[0] + 6);
      bool found = false;
      for (auto& b : prefixes_) {
        if (b.prefix == prefix) {
          b.ns = ns;
          found = true;
        }
      }
      if (!found) prefixes_.push_back(prefix_binding{std::string(prefix), ns});
    }
  }
}

wb_xml_ns wb_xml_namespaces::bound(std::string_view prefix) const {
  if (prefix == "xml") return wb_xml_ns::other;
  for (const auto& b : prefixes_)
    if (b.prefix == prefix) return b.ns;
  return wb_xml_ns::other;
}

const char* wb_xml_namespaces::attribute(const char** attributes, std::string_view local, wb_xml_ns ns) const {
  for (const char** a = attributes; a != nullptr && *a != nullptr; a += 2) {
    std::string_view l;
    if (split_name(a[0], l, true) == ns && l == local) return a[1];
  }
  return nullptr;
}

// expat's user data is the wb_xml_parser, so the doctype handler can stop it.
struct wb_xml_parser_callbacks {
  static void XMLCALL start(void* user, const XML_Char* name, const XML_Char** attributes) {
    auto* self = static_cast<wb_xml_parser*>(user);
    self->names_.declare(attributes);
    std::string_view local;
    const wb_xml_ns ns = self->names_.split_name(name, local);
    self->handler_.on_start(ns, local, attributes);
  }
  static void XMLCALL end(void* user, const XML_Char* name) {
    auto* self = static_cast<wb_xml_parser*>(user);
    std::string_view local;
    const wb_xml_ns ns = self->names_.split_name(name, local);
    self->handler_.on_end(ns, local);
  }
  static void XMLCALL text(void* user, const XML_Char* s, int len) {
    static_cast<wb_xml_parser*>(user)->handler_.on_text(std::string_view(s, static_cast<std::size_t>(len)));
  }
  // Workbook parts never carry a document type declaration; refusing one
  // shuts out entity expansion tricks altogether.
  static void XMLCALL doctype(void* user, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    XML_StopParser(static_cast<XML_Parser>(static_cast<wb_xml_parser*>(user)->parser_), XML_FALSE);
  }
};

const char* wb_xml_parser::attribute(const char** attributes, std::string_view local) {
  for (const char** a = attributes; a != nullptr && *a != nullptr; a += 2)
    if (local == a[0]) return a[1];
  return nullptr;
}

wb_xml_parser::wb_xml_parser(wb_byte_reader& reader, wb_xml_handler& handler) : reader_(reader), handler_(handler) {
  create();
}

wb_xml_parser::~wb_xml_parser() {
  if (parser_ != nullptr) XML_ParserFree(static_cast<XML_Parser>(parser_));
}

void wb_xml_parser::create() {
  XML_Parser p = parser_ ? static_cast<XML_Parser>(parser_) : XML_ParserCreate(nullptr);
  if (parser_ != nullptr) XML_ParserReset(p, nullptr);
  parser_ = p;
  handler_.xml_names_ = &names_;
  names_.reset();
  XML_SetUserData(p, this);
  XML_SetElementHandler(p, wb_xml_parser_callbacks::start, wb_xml_parser_callbacks::end);
  XML_SetCharacterDataHandler(p, wb_xml_parser_callbacks::text);
  XML_SetStartDoctypeDeclHandler(p, wb_xml_parser_callbacks::doctype);
  done_ = false;
  error_ = 0;
}

bool wb_xml_parser::parse_chunk() {
  if (done_) return false;
  XML_Parser p = static_cast<XML_Parser>(parser_);
  void* buffer = XML_GetBuffer(p, static_cast<int>(chunk_size));
  if (buffer == nullptr) {
    error_ = wb_dao_error::unexpected_format;
    done_ = true;
    return false;
  }
  const long n = reader_.read(buffer, chunk_size);
  if (n < 0) {
    error_ = reader_.error() != 0 ? reader_.error() : wb_dao_error::unexpected_format;
    done_ = true;
    return false;
  }
  const bool final = n == 0;
  if (XML_ParseBuffer(p, static_cast<int>(n), final) != XML_STATUS_OK) {
    error_ = wb_dao_error::unexpected_format;
    done_ = true;
    return false;
  }
  if (final) done_ = true;
  return !done_;
}

bool wb_xml_parser::parse_all() {
  while (parse_chunk()) {
  }
  return error_ == 0;
}

bool wb_xml_parser::restart() {
  if (!reader_.rewind()) {
    error_ = reader_.error() != 0 ? reader_.error() : wb_dao_error::unexpected_format;
    done_ = true;
    return false;
  }
  create();
  return true;
}
