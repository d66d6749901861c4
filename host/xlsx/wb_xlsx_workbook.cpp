#include "wb_xlsx_workbook.h"

#include <cstring>

#include "wb_error_list.h"
#include "wb_text.h"
#include "wb_xlsx_sheet.h"
#include "wb_xml_parser.h"

namespace {

struct relationship {
  std::string id;
  std::string type;
  std::string target;
  bool external = false;
};

bool ends_with(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool ends_with_ci(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  s = s.substr(s.size() - suffix.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char a = s[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != suffix[i]) return false;
  }
  return true;
}

class rels_handler final : public wb_xml_handler {
 public:
  std::vector<relationship> rels;
  void on_start(wb_xml_ns ns, std::string_view local, const char** a) override {
    if (ns != wb_xml_ns::pkg_rels || local != "Relationship") return;
    relationship r;
    if (const char* v = wb_xml_parser::attribute(a, "Id")) r.id = v;
    if (const char* v = wb_xml_parser::attribute(a, "Type")) r.type = v;
    if (const char* v = wb_xml_parser::attribute(a, "Target")) r.target = v;
    if (const char* v = wb_xml_parser::attribute(a, "TargetMode")) r.external = std::strcmp(v, "External") == 0;
    rels.push_back(std::move(r));
  }
  void on_end(wb_xml_ns, std::string_view) override {}
  void on_text(std::string_view) override {}
};

struct sheet_ref {
  std::u16string name;
  std::string rel_id;
  bool hidden = false;
};

class workbook_handler final : public wb_xml_handler {
 public:
  std::vector<sheet_ref> sheets;
  bool date1904 = false;
  bool full_calc_on_load = false;
  void on_start(wb_xml_ns ns, std::string_view local, const char** a) override {
    if (ns != wb_xml_ns::main) return;
    if (local == "calcPr") {
      const char* v = wb_xml_parser::attribute(a, "fullCalcOnLoad");
      full_calc_on_load = v != nullptr && (std::strcmp(v, "1") == 0 || std::strcmp(v, "true") == 0);
    } else if (local == "workbookPr") {
      const char* v = wb_xml_parser::attribute(a, "date1904");
      date1904 = v != nullptr && (std::strcmp(v, "1") == 0 || std::strcmp(v, "true") == 0);
    } else if (local == "sheet") {
      sheet_ref s;
      if (const char* v = wb_xml_parser::attribute(a, "name")) s.name = wb_to_utf16(v);
      if (const char* v = xml_names()->attribute(a, "id", wb_xml_ns::doc_rels)) s.rel_id = v;
      const char* state = wb_xml_parser::attribute(a, "state");
      s.hidden = state != nullptr && std::strcmp(state, "visible") != 0;
      sheets.push_back(std::move(s));
    }
  }
  void on_end(wb_xml_ns, std::string_view) override {}
  void on_text(std::string_view) override {}
};

// Parses a whole part; false on a missing part only when `required`.
bool parse_part(wb_zip_archive& zip, const std::string& part, wb_xml_handler& handler, bool required, long& dao_error) {
  const std::int64_t index = zip.find(part);
  if (index < 0) {
    if (required) dao_error = wb_dao_error::unexpected_format;
    return !required;
  }
  auto reader = zip.open_entry(index, dao_error);
  if (!reader) return false;
  wb_xml_parser parser(*reader, handler);
  if (!parser.parse_all()) {
    dao_error = parser.error();
    return false;
  }
  return true;
}

std::string directory_of(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash + 1));
}

// Resolves a relationship target against the directory of its source part,
// folding "." and ".." segments. Absolute targets start at the package root.
std::string resolve(std::string_view base_dir, std::string_view target) {
  std::string joined = !target.empty() && target.front() == '/' ? std::string(target.substr(1))
                                                                : std::string(base_dir) + std::string(target);
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string seg = joined.substr(start, end - start);
    if (seg == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segments.push_back(seg);
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& s : segments) {
    if (!out.empty()) out += '/';
    out += s;
  }
  return out;
}

std::string rels_part_of(std::string_view part) {
  const std::string dir = directory_of(part);
  return dir + "_rels/" + std::string(part.substr(dir.size())) + ".rels";
}

}  // namespace

std::unique_ptr<wb_xlsx_workbook> wb_xlsx_workbook::open(std::unique_ptr<wb_zip_archive> archive, long& dao_error) {
  std::unique_ptr<wb_xlsx_workbook> wb(new wb_xlsx_workbook(std::move(archive)));
  wb_zip_archive& zip = *wb->archive_;

  rels_handler package_rels;
  if (!parse_part(zip, "_rels/.rels", package_rels, false, dao_error)) return nullptr;
  std::string workbook_part;
  for (const auto& r : package_rels.rels)
    if (!r.external && ends_with(r.type, "/officeDocument")) workbook_part = resolve("", r.target);
  if (workbook_part.empty()) workbook_part = "xl/workbook.xml";
  // A binary workbook (.xlsb) keeps its parts in a format this engine does not read.
  if (!ends_with_ci(workbook_part, ".xml")) {
    dao_error = wb_dao_error::unexpected_format;
    return nullptr;
  }

  workbook_handler book;
  if (!parse_part(zip, workbook_part, book, true, dao_error)) return nullptr;
  rels_handler book_rels;
  if (!parse_part(zip, rels_part_of(workbook_part), book_rels, false, dao_error)) return nullptr;

  const std::string base = directory_of(workbook_part);
  for (const auto& r : book_rels.rels) {
    if (r.external) continue;
    if (ends_with(r.type, "/sharedStrings"))
      wb->shared_strings_part_ = resolve(base, r.target);
    else if (ends_with(r.type, "/styles"))
      wb->styles_part_ = resolve(base, r.target);
  }
  for (auto& s : book.sheets) {
    for (const auto& r : book_rels.rels) {
      if (r.id != s.rel_id || r.external) continue;
      // Chart sheets, macro sheets and dialog sheets hold no table.
      if (ends_with(r.type, "/worksheet"))
        wb->sheets_.push_back(sheet_entry{std::move(s.name), resolve(base, r.target), s.hidden});
      break;
    }
  }
  wb->date1904_ = book.date1904;
  wb->results_stale_ = book.full_calc_on_load;
  return wb;
}

bool wb_xlsx_workbook::load_shared_parts(long& dao_error) {
  if (shared_loaded_) return true;
  if (!shared_strings_part_.empty()) {
    const std::int64_t index = archive_->find(shared_strings_part_);
    if (index >= 0) {
      auto reader = archive_->open_entry(index, dao_error);
      if (!reader || !shared_strings_.load(*reader, dao_error)) return false;
    }
  }
  if (!styles_part_.empty()) {
    const std::int64_t index = archive_->find(styles_part_);
    if (index >= 0) {
      auto reader = archive_->open_entry(index, dao_error);
      if (!reader || !styles_.load(*reader, dao_error)) return false;
    }
  }
  shared_loaded_ = true;
  return true;
}

std::unique_ptr<wb_sheet_source> wb_xlsx_workbook::open_sheet(std::size_t index, long& dao_error) {
  if (index >= sheets_.size()) {
    dao_error = wb_dao_error::item_not_found;
    return nullptr;
  }
  if (!load_shared_parts(dao_error)) return nullptr;
  const std::int64_t entry = archive_->find(sheets_[index].part);
  if (entry < 0) {
    dao_error = wb_dao_error::unexpected_format;
    return nullptr;
  }
  auto reader = archive_->open_entry(entry, dao_error);
  if (!reader) return nullptr;
  auto sheet = std::make_unique<wb_xlsx_sheet>(std::move(reader), &shared_strings_, &styles_, date1904_);
  sheet->set_results_stale(results_stale_);
  return sheet;
}
