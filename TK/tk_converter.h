#pragma once
// The settings every converter shares: where to read, where to write, the
// trace log file and the silent flag.

#include <string>

class tk_converter {
 public:
  virtual ~tk_converter() = default;

  // Checks the path and points the trace log at it; a bad path raises a
  // level-1 tk_exception. An empty path leaves the log as it was.
  void set_logfile(const std::string& path);

  virtual void set_silent(bool silent) { silent_ = silent; }
  bool silent() const { return silent_; }

  const std::u16string& source() const { return source_; }
  const std::u16string& destination() const { return destination_; }
  const std::string& logfile() const { return logfile_; }

 protected:
  bool finished_ = false;
  bool silent_ = false;
  std::u16string source_;
  std::u16string destination_;
  std::string logfile_;
};
