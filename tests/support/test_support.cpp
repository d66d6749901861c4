#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

temp_dir::temp_dir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/gridload-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

run_result run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
               const std::map<std::string, std::string>& env) {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  run_result r;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  int open_fds = 2;
  char buf[65536];
  while (open_fds > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      } else {
        (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
      }
    }
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.peak_rss_kib = usage.ru_maxrss;
  return r;
}

std::string gridload_binary() {
  const char* p = std::getenv("GRIDLOAD_BINARY");
  return p && *p ? p : GRIDLOAD_DEFAULT_BINARY;
}

run_result run_gridload(const std::vector<std::string>& args, const std::string& cwd,
                        const std::map<std::string, std::string>& env) {
  std::vector<std::string> argv{gridload_binary()};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv[0], argv, cwd, env);
}

std::string source_dir() {
  const char* p = std::getenv("GRIDLOAD_SOURCE_DIR");
  return p && *p ? p : GRIDLOAD_DEFAULT_SOURCE_DIR;
}

void expect_golden(const std::string& name, const std::string& actual) {
  const std::string path = source_dir() + "/tests/golden/" + name;
  if (const char* update = std::getenv("GRIDLOAD_UPDATE_GOLDEN"); update && std::string(update) == "1") {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    return write_file(path, actual);
  }
  ASSERT_TRUE(file_exists(path)) << path << " is missing (GRIDLOAD_UPDATE_GOLDEN=1 writes it)";
  const std::string expected = read_file(path);
  if (expected == actual) return;
  size_t start = 0, line = 1;
  for (size_t end; (end = expected.find('\n', start)) != std::string::npos &&
                   expected.compare(start, end + 1 - start, actual, start, end + 1 - start) == 0;
       start = end + 1)
    ++line;
  auto line_at = [start](const std::string& text) {
    return start < text.size() ? text.substr(start, text.find('\n', start) - start) : std::string("(end)");
  };
  ADD_FAILURE() << name << " differs from line " << line << " on (" << expected.size() << " bytes expected, "
                << actual.size() << " found):\n  expected: " << line_at(expected) << "\n  found:    " << line_at(actual)
                << "\n  found from there on:\n"
                << (start < actual.size() ? actual.substr(start, 1200) : std::string());
}

std::string transcript(const std::string& title, const run_result& r) {
  std::string text = "$ " + title + "\nstatus " + std::to_string(r.status) + "\n";
  if (!r.out.empty()) text += "stdout:\n" + r.out;
  if (!r.err.empty()) text += "stderr:\n" + r.err;
  return text + "\n";
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

read_only_guard::read_only_guard(const std::string& path) : path_(path) {
  if (geteuid() == 0) {
    run_result r = run("/usr/bin/chattr", {"chattr", "+i", path});
    if (r.status != 0) throw std::runtime_error("chattr +i failed on " + path + ": " + r.err);
    immutable_ = true;
  } else {
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
  }
}

read_only_guard::~read_only_guard() {
  if (immutable_) {
    run("/usr/bin/chattr", {"chattr", "-i", path_});
  } else {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_write, std::filesystem::perm_options::add, ec);
  }
}

}  // namespace testsupport
