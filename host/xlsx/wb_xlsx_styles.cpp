#include "wb_xlsx_styles.h"

#include <charconv>
#include <cstring>
#include <unordered_map>

#include "wb_number_format.h"
#include "wb_xml_parser.h"

namespace {

std::uint32_t to_uint(const char* s) {
  std::uint32_t v = 0;
  if (s != nullptr) std::from_chars(s, s + std::strlen(s), v);
  return v;
}

class styles_handler final : public wb_xml_handler {
 public:
  std::unordered_map<std::uint32_t, wb_number_class> custom;
  std::vector<std::uint32_t> xf_format_ids;

  void on_start(wb_xml_ns ns, std::string_view local, const char** attributes) override {
    if (ns != wb_xml_ns::main) return;
    ++depth_;
    if (local == "numFmt" && in_num_fmts_) {
      const char* code = wb_xml_parser::attribute(attributes, "formatCode");
      custom[to_uint(wb_xml_parser::attribute(attributes, "numFmtId"))] =
          wb_number_format::classify_code(code != nullptr ? code : "");
    } else if (local == "numFmts") {
      in_num_fmts_ = true;
    } else if (local == "cellXfs") {
      in_cell_xfs_ = true;
      xfs_depth_ = depth_;
    } else if (local == "xf" && in_cell_xfs_ && depth_ == xfs_depth_ + 1) {
      xf_format_ids.push_back(to_uint(wb_xml_parser::attribute(attributes, "numFmtId")));
    }
  }

  void on_end(wb_xml_ns ns, std::string_view local) override {
    if (ns != wb_xml_ns::main) return;
    --depth_;
    if (local == "numFmts")
      in_num_fmts_ = false;
    else if (local == "cellXfs")
      in_cell_xfs_ = false;
  }

  void on_text(std::string_view) override {}

 private:
  int depth_ = 0;
  int xfs_depth_ = 0;
  bool in_num_fmts_ = false;
  bool in_cell_xfs_ = false;
};

}  // namespace

bool wb_xlsx_styles::load(wb_byte_reader& reader, long& dao_error) {
  styles_handler h;
  wb_xml_parser parser(reader, h);
  if (!parser.parse_all()) {
    dao_error = parser.error();
    return false;
  }
  classes_.clear();
  classes_.reserve(h.xf_format_ids.size());
  for (std::uint32_t id : h.xf_format_ids) {
    // A code stored in the file overrides the built-in meaning of its id.
    const auto it = h.custom.find(id);
    classes_.push_back(it != h.custom.end() ? it->second : wb_number_format::classify_builtin(id));
  }
  return true;
}
