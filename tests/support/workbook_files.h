#pragma once
// Workbooks for the tests that read them, made by independent tools: .xlsx
// files written by libxlsxwriter, packages read and rewritten part by part
// with libzip (for what the writer cannot say), and the calendar arithmetic
// of workbook serials. Header only: a test that uses a part links its
// library.

#include <gtest/gtest.h>
#include <xlsxwriter.h>
#include <zip.h>

#include <chrono>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "test_support.h"

namespace testsupport {

// A workbook written by libxlsxwriter at `path` (empty: book.xlsx in a
// folder of its own), its temporary files beside it; close() writes the file
// and gives its path. In constant-memory mode the writer stores strings
// inline in the sheet instead of in the shared-strings part.
class xlsx_book {
 public:
  explicit xlsx_book(const std::string& path = "", bool constant_memory = false)
      : path_(path.empty() ? dir_.file("book.xlsx") : path), tmp_(path_.substr(0, path_.find_last_of('/') + 1)) {
    lxw_workbook_options options = {};
    options.constant_memory = constant_memory ? LXW_TRUE : LXW_FALSE;
    options.tmpdir = tmp_.data();
    if (!(book_ = workbook_new_opt(path_.c_str(), &options))) throw std::runtime_error("workbook_new_opt: " + path_);
  }
  ~xlsx_book() { close(); }
  xlsx_book(const xlsx_book&) = delete;
  xlsx_book& operator=(const xlsx_book&) = delete;
  lxw_workbook* handle() { return book_; }
  lxw_worksheet* sheet(const char* name = nullptr) { return workbook_add_worksheet(book_, name); }
  lxw_format* format(const char* num_format) {
    lxw_format* f = workbook_add_format(book_);
    format_set_num_format(f, num_format);
    return f;
  }
  const std::string& close() {
    if (book_ && workbook_close(std::exchange(book_, nullptr)) != LXW_NO_ERROR)
      ADD_FAILURE() << "cannot write " << path_;
    return path_;
  }

 private:
  temp_dir dir_;
  std::string path_, tmp_;
  lxw_workbook* book_ = nullptr;
};

// Writes a ZIP file whose entries are `parts` (name -> content).
inline void write_zip(const std::string& path, const std::map<std::string, std::string>& parts) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) throw std::runtime_error("zip_open failed for " + path);
  for (const auto& [name, content] : parts) {
    zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
    if (!source || zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
      zip_source_free(source);
      zip_discard(archive);
      throw std::runtime_error("zip_file_add failed");
    }
  }
  if (zip_close(archive) != 0) throw std::runtime_error("zip_close failed");
}

// Reads every entry of a ZIP file (name -> content).
inline std::map<std::string, std::string> read_zip(const std::string& path) {
  std::map<std::string, std::string> parts;
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) throw std::runtime_error("zip_open failed for " + path);
  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(zip_get_num_entries(archive, 0)); ++i) {
    zip_stat_t st;
    zip_stat_index(archive, i, 0, &st);
    std::string content(st.size, '\0');
    zip_file_t* f = zip_fopen_index(archive, i, 0);
    if (!f || zip_fread(f, content.data(), st.size) != static_cast<zip_int64_t>(st.size))
      throw std::runtime_error(std::string("cannot read ") + st.name);
    zip_fclose(f);
    parts[st.name] = std::move(content);
  }
  zip_discard(archive);
  return parts;
}

// Replaces the first `from` by `to` in one part of a ZIP package, for what
// the writer cannot say (error cells, the 1904 date system).
inline void patch_part(const std::string& path, const std::string& part, const std::string& from,
                       const std::string& to) {
  std::map<std::string, std::string> parts = read_zip(path);
  const std::size_t at = parts[part].find(from);
  if (at == std::string::npos) throw std::runtime_error("patch_part: '" + from + "' not in " + part);
  parts[part].replace(at, from.size(), to);
  write_zip(path, parts);
}

// Days since `epoch` with the time of day as the fraction; plain calendar
// arithmetic, independent of the code under test. A workbook's serial counts
// from 1899-12-30 in the 1900 system (from 1900-03-01 on) and from
// 1904-01-01 in the 1904 system.
constexpr std::chrono::year_month_day epoch_1900{std::chrono::year{1899}, std::chrono::December, std::chrono::day{30}};
constexpr std::chrono::year_month_day epoch_1904{std::chrono::year{1904}, std::chrono::January, std::chrono::day{1}};
inline double serial(std::chrono::year_month_day epoch, int y, unsigned m, unsigned d, int hh = 0, int mm = 0,
                     int ss = 0) {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{y}, month{m}, std::chrono::day{d}};
  return static_cast<double>((day - sys_days{epoch}).count()) + (hh * 3600 + mm * 60 + ss) / 86400.0;
}

}  // namespace testsupport
