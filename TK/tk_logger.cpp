#include "tk_logger.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "tk_file_name.h"

tk_trace_gate g_tk_trace_gate;

std::string tk_logger::default_file_name() {
  tk_file_name program(tk_program_path());
  return program.drive() + program.folder() + program.name() + ".log";
}

tk_logger::tk_logger(std::string file_name, bool enabled, int threshold, bool time_stamps)
    : file_name_(file_name.empty() ? default_file_name() : std::move(file_name)),
      threshold_(threshold),
      enabled_(enabled),
      time_stamps_(time_stamps) {
  if (enabled_ && is_registered()) truncate_once();
  publish();
}

tk_logger::~tk_logger() {
  if (is_registered()) g_tk_trace_gate = tk_trace_gate{};
}

void tk_logger::publish() {
  if (!is_registered()) return;
  g_tk_trace_gate.enabled = enabled_;
  g_tk_trace_gate.threshold = threshold_;
}

void tk_logger::set_file_name(std::string file_name) {
  if (file_name != file_name_) truncated_ = false;
  file_name_ = std::move(file_name);
  publish();
}

void tk_logger::enable(bool on) {
  enabled_ = on;
  publish();
}

void tk_logger::fail(int error_number) {
  if (write_error() == 0) write_error_.store(error_number != 0 ? error_number : EIO, std::memory_order_relaxed);
  enable(false);
}

void tk_logger::truncate_once() {
  if (truncated_) return;
  truncated_ = true;
  std::FILE* f = std::fopen(file_name_.c_str(), "wb");
  if (!f || std::fclose(f) != 0) fail(errno);
}

void tk_logger::write_line(int level, std::string_view text) {
  // Rows are sent on a thread of their own, which traces too.
  static std::mutex lines;
  std::lock_guard lock(lines);
  if (!enabled_ || level < threshold_) return;
  truncate_once();
  if (!enabled_) return;
  std::FILE* f = std::fopen(file_name_.c_str(), "ab");
  if (!f) {
    fail(errno);
    return;
  }
  bool ok = true;
  if (time_stamps_) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    ok = std::fprintf(f, "%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec) > 0;
  }
  ok = ok && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (line_break_) ok = ok && std::fwrite("\r\n", 1, 2, f) == 2;
  // A full disk may show only when the buffer goes out at close.
  const int error = ok ? 0 : errno;
  if (std::fclose(f) != 0 || !ok) fail(ok ? errno : error);
}

void tk_trace_vwrite(int level, std::string_view pattern, std::span<const tk_fmt_arg> args) {
  tk_logger* logger = tk_logger::instance_ptr();
  if (!logger) return;
  std::string line;
  tk_vformat(line, pattern, args);
  logger->write_line(level, line);
}
