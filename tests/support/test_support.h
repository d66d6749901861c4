#pragma once
// Helpers shared by the tests: temporary folders, files, and runs of the real
// gridload binary with their output captured whole.

#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its
// content when the object goes.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);

struct run_result {
  int status = -1;  // exit status as the shell sees it (0..255)
  std::string out;
  std::string err;
  long peak_rss_kib = 0;  // the program's peak resident memory
};

// Runs `program` with `args` (argv[0] is the program), in folder `cwd` when
// not empty, with `env` added to the environment; stdin is /dev/null.
run_result run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = "",
               const std::map<std::string, std::string>& env = {});
// The gridload binary under test (GRIDLOAD_BINARY overrides the built one).
std::string gridload_binary();
run_result run_gridload(const std::vector<std::string>& args, const std::string& cwd = "",
                        const std::map<std::string, std::string>& env = {});
// The repository's root (GRIDLOAD_SOURCE_DIR overrides).
std::string source_dir();

// Compares `actual` byte for byte with tests/golden/<name>, showing the first
// line that differs. With GRIDLOAD_UPDATE_GOLDEN=1 in the environment the
// file is written instead; review its diff before committing it.
void expect_golden(const std::string& name, const std::string& actual);
// A run as a golden transcript shows it: "$ <title>", the exit status, then
// stdout and stderr under their names when they are not empty.
std::string transcript(const std::string& title, const run_result& r);
// `text` with every `from` replaced by `to` (a temporary folder by a name
// that stays the same from run to run).
std::string replace_all(std::string text, const std::string& from, const std::string& to);

// Makes a file or folder impossible to write for this process, also for the
// super-user (the immutable attribute), and undoes it when the object goes.
// Throws when the attribute cannot be set, so a test never passes without
// having made its check.
class read_only_guard {
 public:
  explicit read_only_guard(const std::string& path);
  ~read_only_guard();
  read_only_guard(const read_only_guard&) = delete;
  read_only_guard& operator=(const read_only_guard&) = delete;

 private:
  std::string path_;
  bool immutable_ = false;
};

}  // namespace testsupport
