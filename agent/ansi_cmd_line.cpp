#include "ansi_cmd_line.h"

#include <cstring>

ansi_cmd_line::ansi_cmd_line(int argc, char** argv, const cmd_option* options)
    : options_(options), current_(argv + 1), left_(argc - 1) {
  if (left_ > 0) classify();
}

void ansi_cmd_line::next() {
  if (left_ <= 0) return;
  ++current_;
  --left_;
  if (left_ > 0) classify();
}

void ansi_cmd_line::classify() {
  const char* arg = *current_;
  for (const cmd_option* o = options_; o->prefix && *o->prefix; ++o) {
    size_t n = std::strlen(o->prefix);
    if (std::strncmp(arg, o->prefix, n) == 0) {
      option_id_ = static_cast<long>(o->id);
      value_ = arg + n;
      return;
    }
  }
  option_id_ = -1;
  value_ = "";
  unrecognised_.emplace_back(arg);
}
