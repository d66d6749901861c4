#pragma once
// A cursor over the command-line arguments that classifies each one by the
// first entry of the option table whose prefix it begins with (byte-wise,
// case-sensitive). An argument that fits no entry is unrecognised: its id is
// -1 and it is collected for the usage report.

#include <cstdint>
#include <string>
#include <vector>

struct cmd_option {
  uint32_t id;
  const char* prefix;  // the table ends with an entry whose prefix is empty
};

class TCmdLine {
 public:
  virtual ~TCmdLine() = default;
  virtual void next() = 0;
  virtual bool has_current() const = 0;
};

class ansi_cmd_line : public TCmdLine {
 public:
  ansi_cmd_line(int argc, char** argv, const cmd_option* options);

  void next() override;
  bool has_current() const override { return left_ > 0; }

  // The id of the current argument, or -1 when it is unrecognised.
  long option_id() const { return option_id_; }
  // The text after the option's prefix (empty for options without argument).
  const char* value() const { return value_; }
  const char* current() const { return left_ > 0 ? *current_ : nullptr; }
  const std::vector<std::string>& unrecognised() const { return unrecognised_; }

 private:
  void classify();

  const cmd_option* options_;
  const char* value_ = "";
  long option_id_ = -1;
  std::vector<std::string> unrecognised_;
  char** current_;
  int left_;
};
