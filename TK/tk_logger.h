#pragma once
// The execution trace: an optional text file into which every part of the
// agent writes one line per notable step. Off until a log file is named; the
// first line written into a newly named file empties it (a log left by an
// earlier run is replaced, never appended to), and every line is appended at
// once (open, write, close), so the file is complete up to the last step even
// when the process ends abruptly.
//
// A line the system refuses to write (a full disk, a removed folder) turns
// the log off; write_error() keeps the system's error number, and the entry
// point reports it when the run ends, so a log that stops short says so.
//
// Levels: 1 detail, 2 operation entry, 3 milestones and errors. Write through
// TK_TRACE: a line below the threshold costs one inline test, and its
// arguments are neither evaluated nor formatted.

#include <atomic>
#include <string>

#include "tk_format.h"
#include "tk_singleton.h"

// Plain state read by the inline level test; owned by the registered logger.
struct tk_trace_gate {
  bool enabled = false;  // a logger is registered and turned on
  int threshold = 3;
};
extern tk_trace_gate g_tk_trace_gate;

class tk_logger : public tk_singleton<tk_logger> {
 public:
  // An empty file name selects the program's own path with ".log" in place of
  // its extension. A logger built enabled empties its file at once.
  tk_logger(std::string file_name, bool enabled, int threshold, bool time_stamps);
  ~tk_logger();

  void set_file_name(std::string file_name);
  void enable(bool on);
  const std::string& file_name() const { return file_name_; }
  bool enabled() const { return enabled_; }
  int threshold() const { return threshold_; }

  // Writes one line (already formatted, without its line end).
  void write_line(int level, std::string_view text);
  // Empties the file before its first line.
  void truncate_once();
  // The system's error number of the first line that could not be
  // written, or 0.
  int write_error() const noexcept { return write_error_.load(std::memory_order_relaxed); }

  static std::string default_file_name();

 private:
  void publish();
  void fail(int error_number);

  std::string file_name_;
  int threshold_;
  bool line_break_ = true;
  bool enabled_;
  bool truncated_ = false;
  bool time_stamps_;
  std::atomic<int> write_error_{0};
};

void tk_trace_vwrite(int level, std::string_view pattern, std::span<const tk_fmt_arg> args);

inline bool tk_trace_on(int level) { return g_tk_trace_gate.enabled && level >= g_tk_trace_gate.threshold; }

template <class... A>
void tk_trace_write(int level, std::string_view pattern, const A&... args) {
  if constexpr (sizeof...(A) == 0) {
    tk_trace_vwrite(level, pattern, {});
  } else {
    const tk_fmt_arg list[] = {tk_fmt_arg(args)...};
    tk_trace_vwrite(level, pattern, list);
  }
}

#define TK_TRACE(level, ...)                                      \
  do {                                                            \
    if (tk_trace_on(level)) tk_trace_write((level), __VA_ARGS__); \
  } while (0)
