#pragma once
// A path made absolute against the current folder and split into its parts:
// drive (always empty on POSIX), folder (with its trailing '/'), file name
// without extension, and extension (with its leading '.'). Paths of any
// length are taken whole.

#include <string>

class tk_file_name {
 public:
  // An empty path stands for the running program's folder with no file name.
  explicit tk_file_name(const std::string& path);

  const std::string& drive() const { return drive_; }
  const std::string& folder() const { return folder_; }
  const std::string& name() const { return name_; }
  const std::string& ext() const { return ext_; }

 private:
  std::string drive_, folder_, name_, ext_;
};

// The full path of the running program.
std::string tk_program_path();
// "/a/b/c" made absolute and with "." and ".." resolved lexically.
std::string tk_absolute_path(const std::string& path);
