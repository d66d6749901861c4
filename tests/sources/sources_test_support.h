// Helpers of the sources tests: workbooks written with libxlsxwriter in a
// folder of their own, the committed fixtures, a registered engine, and one
// check for the exact failures of the layer.
#pragma once

#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dao_database.h"
#include "dao_engine.h"
#include "test_support.h"
#include "tk_exception.h"

namespace sources_test {

// A workbook written by libxlsxwriter; close() writes it and returns its path.
class book {
 public:
  explicit book(bool constant_memory = false);
  ~book();
  lxw_worksheet* sheet(const char* name);
  lxw_format* format(const char* num_format);
  lxw_workbook* handle() { return book_; }
  const std::string& close();
  const testsupport::temp_dir& dir() const { return dir_; }

 private:
  testsupport::temp_dir dir_;
  std::string path_;
  lxw_workbook* book_ = nullptr;
};

// A committed fixture: tests/data/<folder>/<name>.
std::string fixture(const std::string& folder, const std::string& name);

std::u16string wide(const std::string& utf8);
std::string narrow(std::u16string_view text);

// A registered engine of the preferred version, as the driver builds it.
struct engine_scope {
  engine_scope();
  dao_engine engine;
};

// Opens `path` on the registered engine with the conversion's connect string.
std::unique_ptr<dao_database> open_book(const std::string& path, bool first_row_has_names = false);

// Every row of a table as the text forms of its fields ("<NULL>" for a
// null value), read with is_eof / get_record / move_next.
std::vector<std::vector<std::string>> read_texts(dao_database& database, const std::u16string& table);

// Runs `call` and checks the exception it must raise: a tk_exception (or
// subclass) of exactly this level, code and message.
void expect_failure(const std::function<void()>& call, unsigned level, uint32_t code, const std::string& message);

// The internal error raised for `source` at some line: level 2, code 0,
// and the message's code starts with the hex of "<source>\".
void expect_assertion(const std::function<void()>& call, const std::string& source);

}  // namespace sources_test
