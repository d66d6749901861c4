#include "workbook_support.h"

#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace wbtest {

using testsupport::run_result;

// The writer's temporary files stay beside the workbook.
xlsx_book::xlsx_book(const std::string& path, bool constant_memory)
    : path_(path), tmp_(path.substr(0, path.find_last_of('/') + 1)) {
  lxw_workbook_options options = {};
  options.constant_memory = constant_memory ? LXW_TRUE : LXW_FALSE;
  options.tmpdir = tmp_.data();
  book_ = workbook_new_opt(path_.c_str(), &options);
  if (!book_) throw std::runtime_error("workbook_new_opt failed for " + path);
}

xlsx_book::~xlsx_book() {
  if (book_) workbook_close(book_);
}

lxw_worksheet* xlsx_book::sheet(const char* name) { return workbook_add_worksheet(book_, name); }

lxw_format* xlsx_book::format(const char* num_format) {
  lxw_format* f = workbook_add_format(book_);
  format_set_num_format(f, num_format);
  return f;
}

const std::string& xlsx_book::close() {
  if (book_) {
    const lxw_error error = workbook_close(book_);
    book_ = nullptr;
    if (error != LXW_NO_ERROR) throw std::runtime_error(lxw_strerror(error));
  }
  return path_;
}

void write_zip(const std::string& path, const std::map<std::string, std::string>& parts) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) throw std::runtime_error("zip_open failed for " + path);
  for (const auto& [name, content] : parts) {
    zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
    if (!source || zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
      if (source) zip_source_free(source);
      zip_discard(archive);
      throw std::runtime_error("zip_file_add failed");
    }
  }
  if (zip_close(archive) != 0) throw std::runtime_error("zip_close failed");
}

std::map<std::string, std::string> read_zip(const std::string& path) {
  std::map<std::string, std::string> parts;
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) throw std::runtime_error("zip_open failed for " + path);
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st);
    std::string content(st.size, '\0');
    zip_file_t* f = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (!f || zip_fread(f, content.data(), st.size) != static_cast<zip_int64_t>(st.size))
      throw std::runtime_error(std::string("cannot read ") + st.name);
    zip_fclose(f);
    parts[st.name] = std::move(content);
  }
  zip_discard(archive);
  return parts;
}

namespace {

double days_since(int y, unsigned m, unsigned d, int hh, int mm, int ss, std::chrono::sys_days epoch) {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{y}, month{m}, std::chrono::day{d}};
  return static_cast<double>((day - epoch).count()) + (hh * 3600 + mm * 60 + ss) / 86400.0;
}

}  // namespace

void patch_part(const std::string& path, const std::string& part, const std::string& from, const std::string& to) {
  std::map<std::string, std::string> parts = read_zip(path);
  const std::size_t at = parts[part].find(from);
  if (at == std::string::npos) throw std::runtime_error("patch_part: '" + from + "' not in " + part);
  parts[part].replace(at, from.size(), to);
  write_zip(path, parts);
}

double serial_1900(int y, unsigned m, unsigned d, int hh, int mm, int ss) {
  using namespace std::chrono;
  return days_since(y, m, d, hh, mm, ss, year_month_day{year{1899}, December, day{30}});
}

double serial_1904(int y, unsigned m, unsigned d, int hh, int mm, int ss) {
  using namespace std::chrono;
  return days_since(y, m, d, hh, mm, ss, year_month_day{year{1904}, January, day{1}});
}

std::string converting(const std::string& file, const std::vector<std::string>& tables, int listed) {
  std::string out = "Converting spreadsheet " + file + "(" +
                    std::to_string(listed < 0 ? static_cast<int>(tables.size()) : listed) + " worksheets)\n";
  for (const std::string& t : tables) out += "Converting table " + t + "\n";
  return out;
}

std::vector<std::string> workbook_run::server_args() const {
  return {"--host=" + address_.host, "--port=" + std::to_string(address_.port), "--user=" + address_.user,
          "--pswd=" + address_.password};
}

run_result workbook_run::convert(const std::string& source, const std::vector<std::string>& extra,
                                 const std::map<std::string, std::string>& env) {
  std::vector<std::string> args{"--src=" + source, "--dest=" + db_};
  for (const std::string& a : server_args()) args.push_back(a);
  args.insert(args.end(), extra.begin(), extra.end());
  run_result r = testsupport::run_gridload(args, dir_.path(), env);
  reconnect();
  return r;
}

run_result workbook_run::run(const std::vector<std::string>& args) {
  return testsupport::run_gridload(args, dir_.path());
}

run_result workbook_run::dump(const std::string& source, const std::string& file,
                              const std::vector<std::string>& extra) {
  std::vector<std::string> args{"--src=" + source, "--dump", "--dest=" + file};
  args.insert(args.end(), extra.begin(), extra.end());
  return testsupport::run_gridload(args, dir_.path());
}

bool workbook_run::load_dump(const std::string& file) {
  check_.exec("DROP DATABASE IF EXISTS `" + db_ + "`");
  check_.exec("CREATE DATABASE `" + db_ + "` CHARACTER SET utf8mb4");
  reconnect();
  const std::string path = file.front() == '/' ? file : dir_.file(file);
  const std::string command = "exec mariadb --no-defaults -h'" + address_.host + "' -P" +
                              std::to_string(address_.port) + " -u'" + address_.user + "' -p'" + address_.password +
                              "' '" + db_ + "' < '" + path + "'";
  run_result r = testsupport::run("/bin/sh", {"sh", "-c", command});
  EXPECT_EQ(r.status, 0) << "the dump does not load: " << r.err.substr(r.err.size() > 2000 ? r.err.size() - 2000 : 0);
  return r.status == 0;
}

void workbook_run::both_ways(const std::string& source, const std::vector<std::string>& extra, const std::string& out,
                             const std::function<void()>& check) {
  {
    SCOPED_TRACE("into the server");
    run_result r = convert(source, extra);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(r.err, "");
    check();
  }
  {
    SCOPED_TRACE("into a dump file");
    run_result r = dump(source, "out.sql", extra);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(r.err, "");
    if (load_dump("out.sql")) check();
  }
}

void workbook_run::reconnect() {
  std::string why;
  ASSERT_TRUE(check_.open(address_, db_, why)) << why;
}

std::vector<std::string> workbook_run::tables(const std::string& db) {
  std::vector<std::string> out;
  for (const testsupport::mysql_row& r : check_.query(
           "SELECT table_name FROM information_schema.tables WHERE table_schema='" + (db.empty() ? db_ : db) + "'"))
    out.push_back(*r[0]);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> workbook_run::columns(const std::string& table, const std::string& db) {
  std::vector<std::string> out;
  for (const testsupport::mysql_row& r :
       check_.query("SELECT column_name, column_type FROM information_schema.columns WHERE table_schema='" +
                    (db.empty() ? db_ : db) + "' AND table_name='" + table + "' ORDER BY ordinal_position"))
    out.push_back(*r[0] + " " + *r[1]);
  return out;
}

table_rows workbook_run::rows(const std::string& sql) {
  table_rows out;
  for (const testsupport::mysql_row& r : check_.query(sql)) {
    std::vector<std::string> row;
    for (const auto& cell : r) row.push_back(cell ? *cell : "<NULL>");
    out.push_back(std::move(row));
  }
  return out;
}

std::vector<std::string> workbook_run::column(const std::string& table, const std::string& col,
                                              const std::string& order_by) {
  std::vector<std::string> out;
  const std::string order = order_by.empty() ? "" : " ORDER BY " + order_by;
  for (const auto& r : rows("SELECT `" + col + "` FROM `" + table + "`" + order)) out.push_back(r[0]);
  return out;
}

}  // namespace wbtest
