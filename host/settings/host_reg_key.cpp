#include "host_reg_key.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <sstream>

std::string host_reg_key::settings_path() {
  if (const char* explicit_path = std::getenv("GRIDLOAD_SETTINGS"); explicit_path && *explicit_path)
    return explicit_path;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/gridload/settings";
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
  }
  return std::string(home ? home : "") + "/.config/gridload/settings";
}

namespace {

std::string strip(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

}  // namespace

bool host_reg_key::open(std::vector<std::string>& problems) {
  path_ = settings_path();
  values_.clear();
  error_ = 0;
  // A folder opens as a stream that reads nothing.
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error_ = EISDIR;
    return false;
  }
  // Opened without waiting: a named pipe that nobody writes to is no
  // settings, where the run would have waited for a writer until killed.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return true;
    error_ = errno;
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::string bytes;
  char chunk[4096];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error_ = errno;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  std::istringstream in(bytes);
  std::string line;
  size_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    std::string trimmed = strip(line);
    // Blank lines and comments carry nothing.
    if (trimmed.empty() || trimmed[0] == '#') continue;
    size_t eq = trimmed.find('=');
    if (eq == std::string::npos || strip(trimmed.substr(0, eq)).empty()) {
      problems.push_back("line " + std::to_string(number) + ": '" + line + "'");
      continue;
    }
    values_[strip(trimmed.substr(0, eq))] = strip(trimmed.substr(eq + 1));
  }
  return true;
}

std::optional<std::string> host_reg_key::get_string(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::optional<uint32_t> host_reg_key::get_dword(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  uint32_t value = 0;
  const std::string& s = it->second;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return value;
}
