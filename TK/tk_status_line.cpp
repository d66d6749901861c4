#include "tk_status_line.h"

#include <cstdio>

namespace {

constexpr auto interval = std::chrono::milliseconds(200);
// Back to the line's start, then erase to its end.
constexpr char erase[] = "\r\x1b[K";

}  // namespace

void tk_status_line::enable(bool on) {
  if (!on) clear();
  enabled_ = on;
}

bool tk_status_line::due() {
  if (!enabled_) return false;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < interval) return false;
  last_ = now;
  return true;
}

void tk_status_line::show(std::string_view text) {
  if (!enabled_) return;
  // What the driver printed on the standard output goes first.
  std::fflush(stdout);
  std::fputs(erase, stderr);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  shown_ = true;
}

void tk_status_line::clear() {
  if (!shown_) return;
  std::fputs(erase, stderr);
  std::fflush(stderr);
  shown_ = false;
}
