#include "sources_test_support.h"

#include <stdexcept>

#include "tk_unicode.h"
#include "udb_recordset.h"

namespace sources_test {

book::book(bool constant_memory) : path_(dir_.file("book.xlsx")) {
  lxw_workbook_options options = {};
  options.constant_memory = constant_memory ? LXW_TRUE : LXW_FALSE;
  book_ = workbook_new_opt(path_.c_str(), &options);
  if (!book_) throw std::runtime_error("workbook_new_opt failed");
}

book::~book() {
  if (book_) workbook_close(book_);
}

lxw_worksheet* book::sheet(const char* name) { return workbook_add_worksheet(book_, name); }

lxw_format* book::format(const char* num_format) {
  lxw_format* f = workbook_add_format(book_);
  format_set_num_format(f, num_format);
  return f;
}

const std::string& book::close() {
  if (book_) {
    const lxw_error error = workbook_close(book_);
    book_ = nullptr;
    if (error != LXW_NO_ERROR) throw std::runtime_error(lxw_strerror(error));
  }
  return path_;
}

std::string fixture(const std::string& folder, const std::string& name) {
  return std::string(SOURCES_TEST_DATA_DIR) + "/" + folder + "/" + name;
}

std::u16string wide(const std::string& utf8) { return tk_utf8_to_unicode(utf8); }
std::string narrow(std::u16string_view text) { return tk_unicode_to_utf8(text); }

engine_scope::engine_scope() { EXPECT_TRUE(engine.set_version_if(3)); }

std::unique_ptr<dao_database> open_book(const std::string& path, bool first_row_has_names) {
  return dao_engine::instance().open_dao_src(
      wide(path), first_row_has_names ? u"Excel 5.0; IMEX=1;" : u"Excel 5.0; HDR=No; IMEX=1;", 1);
}

std::vector<std::vector<std::string>> read_texts(dao_database& database, const std::u16string& table) {
  std::vector<std::vector<std::string>> rows;
  std::unique_ptr<udb_recordset> rs = database.get_table(table, 1);
  for (; !rs->is_eof(); rs->move_next()) {
    const udb_record& r = *rs->get_record();
    std::vector<std::string> row;
    for (std::size_t i = 0; i < r.size(); ++i) row.push_back(r[i].is_null() ? "<NULL>" : r[i].to_string());
    rows.push_back(std::move(row));
  }
  return rows;
}

void expect_failure(const std::function<void()>& call, unsigned level, uint32_t code, const std::string& message) {
  try {
    call();
    ADD_FAILURE() << "no exception; expected: " << message;
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.level(), level) << e.what();
    EXPECT_EQ(e.code(), code) << e.what();
    EXPECT_EQ(e.message(), message);
  }
}

void expect_assertion(const std::function<void()>& call, const std::string& source) {
  std::string prefix = "Internal error: \ncode=";
  for (unsigned char c : source + "\\") {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%x", c);
    prefix += hex;
  }
  try {
    call();
    ADD_FAILURE() << "no internal error from " << source;
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.level(), 2u) << e.what();
    EXPECT_EQ(e.message().rfind(prefix, 0), 0u) << e.what();
  }
}

}  // namespace sources_test
