#pragma once
// One line of progress on the terminal: written to the standard error
// stream, rewritten in place at most five times a second, and erased before
// any other output (the error handler and the driver's own lines erase it
// first). Off unless the driver turns it on, which it does only when the
// standard error stream is a terminal and the run is not silent: a script
// that reads the streams never sees it.

#include <chrono>
#include <string_view>

class tk_status_line {
 public:
  // Turns the line on or off for the run (off erases it).
  static void enable(bool on);
  static bool enabled() noexcept { return enabled_; }
  // Whether a new text may be shown now: the line is on and the last one
  // is at least a fifth of a second old.
  static bool due();
  // Shows `text` in place of the line shown.
  static void show(std::string_view text);
  // Erases the line, if one is shown.
  static void clear();

 private:
  static inline bool enabled_ = false;
  static inline bool shown_ = false;
  static inline std::chrono::steady_clock::time_point last_{};
};
