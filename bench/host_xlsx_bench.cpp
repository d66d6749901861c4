// Reads a 200,000-row x 13-column workbook through the workbook engine and
// prints rows/s and peak memory, next to the time a bare libzip + expat
// pass over the same sheet and shared strings takes.
//
//   host_xlsx_bench [workbook.xlsx]
// The workbook is generated with libxlsxwriter (shared strings, mostly
// unique long texts, numbers, dates, currency): at the given path when no
// file is there yet (and kept), otherwise into a temporary folder that is
// removed afterwards.
#include <expat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xlsxwriter.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "wb_engine.h"
#include "wb_recordset.h"
#include "wb_text.h"

namespace {

constexpr lxw_row_t row_count = 200000;

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long peak_rss_kib() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

double mib(long kib) { return static_cast<double>(kib) / 1024.0; }

void generate(const std::string& path) {
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_worksheet* s = workbook_add_worksheet(book, "Data");
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_format* money = workbook_add_format(book);
  format_set_num_format(money, "#,##0.00 [$\xE2\x82\xAC-407]");
  const char* heads[] = {"id",    "name",  "street",  "city",    "note",   "comment", "qty",
                         "price", "ratio", "created", "shipped", "amount", "fee"};
  for (lxw_col_t c = 0; c < 13; ++c) worksheet_write_string(s, 0, c, heads[c], nullptr);
  char buf[256];
  for (lxw_row_t r = 1; r <= row_count; ++r) {
    worksheet_write_number(s, r, 0, r, nullptr);
    snprintf(buf, sizeof buf, "Customer %u of the large benchmark workbook", r);
    worksheet_write_string(s, r, 1, buf, nullptr);
    snprintf(buf, sizeof buf, "%u Long Street Name With Several Words, Building %u", r % 9973, r);
    worksheet_write_string(s, r, 2, buf, nullptr);
    snprintf(buf, sizeof buf, "City number %u", r % 500);  // repeated values
    worksheet_write_string(s, r, 3, buf, nullptr);
    snprintf(buf, sizeof buf, "Note %u: lorem ipsum dolor sit amet, consectetur adipiscing elit", r);
    worksheet_write_string(s, r, 4, buf, nullptr);
    snprintf(buf, sizeof buf, "Comment %x with \xC3\xA4\xC3\xB6\xC3\xBC and \xE2\x82\xAC signs, row %u",
             r * 2654435761u, r);
    worksheet_write_string(s, r, 5, buf, nullptr);
    worksheet_write_number(s, r, 6, r % 1000, nullptr);
    worksheet_write_number(s, r, 7, r * 0.37, nullptr);
    worksheet_write_number(s, r, 8, 1.0 / r, nullptr);
    worksheet_write_number(s, r, 9, 40000 + r % 5000, date);
    worksheet_write_number(s, r, 10, 40010 + r % 5000, date);
    worksheet_write_number(s, r, 11, r * 1.25, money);
    worksheet_write_number(s, r, 12, (r % 100) * 0.5, money);
  }
  if (workbook_close(book) != LXW_NO_ERROR) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// The floor: inflate and parse the sheet and the shared strings with libzip
// and expat, counting elements and text bytes, nothing else.
double bare_parse(const std::string& path) {
  const auto t0 = std::chrono::steady_clock::now();
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
  if (z == nullptr) return -1;
  long elements = 0, text = 0;
  for (const char* part : {"xl/sharedStrings.xml", "xl/worksheets/sheet1.xml"}) {
    zip_file_t* f = zip_fopen(z, part, 0);
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetUserData(p, &elements);
    XML_SetElementHandler(
        p, [](void* u, const XML_Char*, const XML_Char**) { ++*static_cast<long*>(u); }, [](void*, const XML_Char*) {});
    XML_SetCharacterDataHandler(p, [](void*, const XML_Char*, int) {});
    for (;;) {
      void* buf = XML_GetBuffer(p, 256 * 1024);
      const zip_int64_t n = zip_fread(f, buf, 256 * 1024);
      XML_ParseBuffer(p, static_cast<int>(n), n <= 0);
      text += n;
      if (n <= 0) break;
    }
    XML_ParserFree(p);
    zip_fclose(f);
  }
  zip_discard(z);
  std::printf("bare parse: %ld elements, %ld XML bytes\n", elements, text);
  return seconds_since(t0);
}

}  // namespace

int main(int argc, char** argv) {
  std::string path;
  std::filesystem::path temp;
  if (argc > 1) path = argv[1];
  if (path.empty() || !std::filesystem::exists(path)) {
    if (path.empty()) {
      char templ[] = "/tmp/host_xlsx_bench.XXXXXX";
      if (mkdtemp(templ) == nullptr) return 1;
      temp = templ;
      path = (temp / "bench.xlsx").string();
    }
    const auto t0 = std::chrono::steady_clock::now();
    // Generated in a child process, so that the writer's memory does not
    // count in this process's peak RSS.
    const pid_t child = fork();
    if (child == 0) {
      generate(path);
      std::_Exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || status != 0) return 1;
    std::printf("generated %s in %.2f s\n", path.c_str(), seconds_since(t0));
  }
  const long rss_before = peak_rss_kib();

  const double bare = bare_parse(path);
  std::printf("bare libzip + expat: %.3f s\n", bare);

  const auto t0 = std::chrono::steady_clock::now();
  std::unique_ptr<wb_engine> engine;
  wb_engine::create_instance(wb_engine::ace_class_id, wb_engine::engine_interface_id, engine);
  std::unique_ptr<wb_database> db;
  if (wb_failed(engine->open_database(wb_to_utf16(path), false, true, u"Excel 5.0; IMEX=1;", db))) {
    std::fprintf(stderr, "open failed: %s\n", wb_to_utf8(engine->errors().item(0).description).c_str());
    return 1;
  }
  std::unique_ptr<wb_recordset> rs;
  if (wb_failed(db->open_recordset(u"SELECT * FROM [Data$]", rs))) {
    std::fprintf(stderr, "recordset failed: %s\n", wb_to_utf8(engine->errors().item(0).description).c_str());
    return 1;
  }
  const double first_pass = seconds_since(t0);
  long rows = 0;
  double numbers = 0;
  std::size_t text_units = 0;
  std::int64_t money = 0;
  for (; !rs->eof(); rs->move_next()) {
    ++rows;
    for (std::size_t i = 0; i < rs->field_count(); ++i) {
      const wb_value& v = rs->field(i).value();
      switch (v.kind) {
        case wb_value_kind::text:
          text_units += v.text.size();
          break;
        case wb_value_kind::currency:
          money += v.currency;
          break;
        case wb_value_kind::null:
          break;
        default:
          numbers += v.number;
          break;
      }
    }
  }
  const double total = seconds_since(t0);
  std::printf("engine: %ld rows x %zu fields in %.3f s (first pass %.3f s): %.0f rows/s, %.2fx the bare parse\n", rows,
              rs->field_count(), total, first_pass, static_cast<double>(rows) / total, total / bare);
  std::printf("checksums: numbers %.6g, text units %zu, currency %lld\n", numbers, text_units,
              static_cast<long long>(money));
  std::printf("peak RSS: %.1f MiB (%.1f MiB before reading)\n", mib(peak_rss_kib()), mib(rss_before));
  if (!temp.empty()) std::filesystem::remove_all(temp);
  return rows == row_count ? 0 : 1;
}
