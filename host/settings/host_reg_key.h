#pragma once
// The per-user settings store that stands in for the user's registry key: a
// text file of `name=value` lines (numbers in decimal, text in UTF-8).
//
// Where: the file named by the environment variable GRIDLOAD_SETTINGS, else
// $XDG_CONFIG_HOME/gridload/settings, else ~/.config/gridload/settings.
// A missing file is an empty key; the file is never created or written.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class host_reg_key {
 public:
  // Reads the settings file; `problems` gets one text per line that did not
  // parse (the caller traces them). False when the file exists but cannot be
  // read (a folder, no right to read it): error() tells why.
  bool open(std::vector<std::string>& problems);
  // The system's error number of the last open() that failed, or 0.
  int error() const { return error_; }

  // The value as text (UTF-8), when the name is present.
  std::optional<std::string> get_string(const std::string& name) const;
  // The value as a 32-bit number, when present and a decimal number.
  std::optional<uint32_t> get_dword(const std::string& name) const;

  const std::string& path() const { return path_; }
  static std::string settings_path();

 private:
  std::string path_;
  std::map<std::string, std::string> values_;
  int error_ = 0;
};
