#include "tk_file_name.h"

#include <unistd.h>

#include <vector>

#include "tk_logger.h"
#include "tk_mail_assertion.h"

std::string tk_program_path() {
  std::string buf(256, '\0');
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));
      return buf;
    }
    buf.resize(buf.size() * 2);
  }
}

namespace {

std::string current_folder() {
  std::string buf(256, '\0');
  for (;;) {
    if (getcwd(buf.data(), buf.size())) {
      buf.resize(std::char_traits<char>::length(buf.c_str()));
      return buf;
    }
    if (errno != ERANGE) return std::string();
    buf.resize(buf.size() * 2);
  }
}

}  // namespace

std::string tk_absolute_path(const std::string& path) {
  std::string full = path;
  if (full.empty() || full[0] != '/') {
    std::string cwd = current_folder();
    TK_ASSERT(!cwd.empty(), "tk_file");
    full = cwd + "/" + full;
  }
  // Resolve "." and ".." lexically; a trailing '/' is kept (the path names a folder).
  bool trailing = full.size() > 1 && full.back() == '/';
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < full.size()) {
    size_t j = full.find('/', i);
    if (j == std::string::npos) j = full.size();
    std::string part = full.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    i = j + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  if (out.empty() || trailing) out += "/";
  return out;
}

tk_file_name::tk_file_name(const std::string& path) {
  TK_TRACE(1, "tk_file_name::ctor(%s)", path);
  std::string full = tk_absolute_path(path.empty() ? tk_program_path() : path);
  size_t slash = full.rfind('/');
  folder_ = full.substr(0, slash + 1);
  if (path.empty()) return;  // the program's folder, no name
  std::string file = full.substr(slash + 1);
  size_t dot = file.rfind('.');
  if (dot == std::string::npos || dot == 0) {
    name_ = file;
  } else {
    name_ = file.substr(0, dot);
    ext_ = file.substr(dot);
  }
}
