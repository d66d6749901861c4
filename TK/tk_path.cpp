#include "tk_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tk_exception_ex.h"
#include "tk_file_wname.h"
#include "tk_logger.h"
#include "tk_temp_chdir.h"
#include "tk_unicode.h"

namespace {

// Read-only is what the process may not write: permissions, a read-only
// file system or the immutable attribute (which binds even the super-user).
bool is_read_only(const std::string& path) { return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0; }

std::string narrow(const std::u16string& path) {
  std::string out;
  if (!tk_unicode_to_ansi2(path, out)) return std::string();
  return out;
}

}  // namespace

bool tk_is_folder(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool tk_is_same_file(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  // A file that does not exist yet (a dump, a log) is known by its path,
  // made absolute first: "out.sql" and "./out.sql" are one file.
  auto resolved = [](const std::string& path, std::filesystem::path& out) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (!error) out = std::filesystem::weakly_canonical(absolute, error);
    return !error;
  };
  std::filesystem::path pa, pb;
  if (a.empty() || b.empty() || !resolved(a, pa) || !resolved(b, pb)) return a == b;
  return pa == pb;
}

bool tk_is_file_exist(const std::string& path, uint32_t mode) {
  TK_TRACE(1, "tk_is_file_exist1(%s,%d)", path, mode);
  if (mode == tk_file_exists || mode == tk_file_writable) {
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return mode == tk_file_exists || !is_read_only(path);
  }
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw tk_exception_ex("", 1);
  close(fd);
  return true;
}

bool tk_is_file_exist(const std::u16string& path, uint32_t mode) {
  TK_TRACE(2, "tk_is_file_exist2(%s,%08X)", path, mode);
  std::string n = narrow(path);
  if (n.empty() && !path.empty()) return false;
  return tk_is_file_exist(n, mode);
}

bool tk_is_path_exist(const std::string& path) {
  TK_TRACE(1, "tk_is_path_exist(%s)", path);
  tk_temp_chdir change(path);
  return change.ok();
}

bool tk_is_path_exist(const std::u16string& path) {
  std::string n = narrow(path);
  if (n.empty() && !path.empty()) return false;
  return tk_is_path_exist(n);
}

bool tk_check_access(const std::string& path, uint32_t access) {
  int want = 0;
  if (access & tk_generic_read) want |= R_OK;
  if (access & tk_generic_write) want |= W_OK;
  if (access & tk_generic_execute) want |= X_OK;
  if (want == 0) want = F_OK;
  if (path.empty()) return false;
  return faccessat(AT_FDCWD, path.c_str(), want, AT_EACCESS) == 0;
}

bool tk_check_access(const std::u16string& path, uint32_t access) {
  std::string n = narrow(path);
  if (n.empty()) return false;
  return tk_check_access(n, access);
}

void common_check_dest(const std::u16string& path) {
  TK_TRACE(1, "common_check_dest(%s)", path);
  std::string n = narrow(path);
  if (tk_is_folder(n)) throw tk_exception("Destination name should specify a file, not folder.", 1);
  if (tk_is_file_exist(n, tk_file_exists) && !tk_is_file_exist(n, tk_file_writable))
    throw tk_exception("Destination name specifies an existing read-only file.", 1);
  tk_file_wname parts(path);
  std::u16string folder = parts.drive() + parts.folder();
  if (!tk_is_path_exist(folder))
    throw tk_exception("Destination path does not exist.\nPlease verify the correct path was given.", 1);
  if (!tk_check_access(folder, tk_generic_write))
    throw tk_exception(
        "Cannot create or write into the destination file.\nRun the program as Administrator or change folder.", 1);
}
