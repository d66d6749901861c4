#include "wb_workbook_opener.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "wb_biff_early_workbook.h"
#include "wb_biff_workbook.h"
#include "wb_cfb_reader.h"
#include "wb_error_list.h"
#include "wb_xlsx_workbook.h"
#include "wb_zip_archive.h"

std::unique_ptr<wb_workbook_source> wb_workbook_opener::open(const std::string& path, long& dao_error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    dao_error = (errno == ENOENT || errno == ENOTDIR) ? wb_dao_error::file_not_found : wb_dao_error::cannot_open_file;
    return nullptr;
  }
  if (S_ISDIR(st.st_mode)) {
    dao_error = wb_dao_error::file_not_found;
    return nullptr;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    dao_error = wb_dao_error::cannot_open_file;
    return nullptr;
  }
  unsigned char magic[8] = {};
  const std::size_t n = std::fread(magic, 1, sizeof magic, f);
  std::fclose(f);

  if (n >= 4 && magic[0] == 'P' && magic[1] == 'K' && (magic[2] == 3 || magic[2] == 5) &&
      (magic[3] == 4 || magic[3] == 6)) {
    auto zip = wb_zip_archive::open(path, dao_error);
    if (!zip) return nullptr;
    return wb_xlsx_workbook::open(std::move(zip), dao_error);
  }
  // A compound file is a BIFF workbook ("Workbook" or "Book" stream) or an
  // encrypted package (3161); without either stream: 3274.
  if (wb_cfb_reader::has_signature(magic, n)) return wb_biff_workbook::open(path, dao_error);
  // Excel 2.x to 4.0 files are bare record streams that start with a BOF.
  if (wb_biff_early_workbook::has_signature(magic, n)) return wb_biff_early_workbook::open(path, dao_error);
  dao_error = wb_dao_error::unexpected_format;
  return nullptr;
}
