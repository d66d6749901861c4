// The engine's dump-file side: opening a dump file as a destination database.

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "dmp_database.h"
#include "sql_engine.h"
#include "tk_format.h"
#include "tk_logger.h"
#include "tk_unicode.h"

namespace {

// What the header shows: the full path of the file and today's local date.
// GRIDLOAD_DUMP_FILE_NAME and GRIDLOAD_DUMP_DATE replace them, so that a
// dump written by a test is the same bytes on every run.
dmp_database::header_stamp make_stamp(const std::u16string& path) {
  dmp_database::header_stamp stamp;
  if (const char* name = std::getenv("GRIDLOAD_DUMP_FILE_NAME"); name && *name) {
    stamp.file_name = name;
  } else {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(tk_unicode_to_utf8(path), error);
    stamp.file_name = error ? tk_unicode_to_utf8(path) : full.string();
  }
  if (const char* date = std::getenv("GRIDLOAD_DUMP_DATE"); date && *date) {
    stamp.creation_date = date;
  } else {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    stamp.creation_date = tk_format("%02d/%02d/%04d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900);
  }
  return stamp;
}

}  // namespace

std::unique_ptr<udb_database> sql_engine::create_dump(const std::u16string& path, const dump_options& options) {
  TK_TRACE(2, "sql_engine::create_dump (%s)", path);
  TK_TRACE(3, "Creating MySQL dump file '%s'", path);
  return std::make_unique<dmp_database>(path, options, make_stamp(path));
}
