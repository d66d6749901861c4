#include "error_handler.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "tk_interrupt.h"
#include "tk_logger.h"
#include "tk_status_line.h"
#include "tk_unicode.h"

namespace {
FILE* message_stream = stdout;
}  // namespace

FILE* tk_message_stream() noexcept { return message_stream; }

int tk_message_write_error() noexcept {
  for (FILE* stream : {stdout, message_stream}) {
    errno = 0;
    if (std::fflush(stream) != 0 || std::ferror(stream)) return errno != 0 ? errno : EIO;
  }
  return 0;
}

void tk_send_messages_to(FILE* stream) noexcept {
  std::fflush(message_stream);
  message_stream = stream;
}

[[noreturn]] void tk_exit(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  tk_interrupt::end_if_requested();
  std::exit(status);
}

namespace {
// The constructor's own trace line comes before that of its message map.
size_t trace_ctor(size_t count) {
  TK_TRACE(2, "error_handler::ctor");
  return count;
}
}  // namespace

error_handler::error_handler(size_t count, const tk_err_entry* table) : map_(trace_ctor(count), table) {}

error_handler::~error_handler() { context_.clear(); }

void error_handler::load_err_map(size_t count, const tk_err_entry* table) {
  TK_TRACE(2, "error_handler::load_err_map");
  map_.load(count, table);
}

void error_handler::set_context(std::u16string_view context) { context_ = tk_unicode_to_console(context); }

void error_handler::set_context(std::u16string_view table, long record_no) {
  std::string text = tk_format("%s, record #%d", table, record_no);
  // tk_format gives UTF-8 for wide text; the console wants the code page.
  context_ = tk_unicode_to_console(tk_utf8_to_unicode(text));
}

std::string error_handler::build_report(const tk_exception& e) const {
  std::string report;
  if (!context_.empty()) report = context_ + ": ";
  std::string friendly = map_.convert(e.code());
  report += friendly.empty() ? e.message() : friendly;
  return report;
}

void error_handler::hold_text(const std::string& text) {
  held_ += text;
  if (held_.size() < held_in_memory) return;
  // Many reports wait in a temporary file; without one they are printed.
  if (!held_file_) held_file_ = std::tmpfile();
  if (!held_file_ || std::fwrite(held_.data(), 1, held_.size(), held_file_) != held_.size()) return release();
  held_.clear();
}

void error_handler::release() {
  holding_ = false;
  if (held_file_) {
    std::rewind(held_file_);
    char buffer[1 << 14];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, held_file_)) > 0;)
      std::fwrite(buffer, 1, n, message_stream);
  }
  if (!held_.empty()) std::fputs(held_.c_str(), message_stream);
  discard();
}

void error_handler::discard() {
  holding_ = false;
  held_.clear();
  if (held_file_) std::fclose(held_file_);
  held_file_ = nullptr;
}

void error_handler::handle(const tk_exception& e) {
  TK_TRACE(2, "error_handler::handle");
  tk_status_line::clear();
  if (e.level() >= 1) release();
  if (e.level() >= 2) {
    TK_TRACE(3, "Internal error:\n%s", e.message());
    std::fprintf(message_stream, "Internal error: %s\n", e.what());
    tk_exit(-1);
  }
  std::string report = build_report(e);
  TK_TRACE(3, "Error:\n%s", report);
  for (char& c : report)
    if (c == '\n') c = ' ';
  if (!silent_) {
    if (holding_) {
      hold_text("Error:\n" + report + "\n");
    } else {
      std::fprintf(message_stream, "Error:\n%s\n", report.c_str());
    }
  }
  if (e.level() == 1) {
    TK_TRACE(1, "Got 1-level error");
    tk_exit(-1);
  }
  TK_TRACE(1, "Got 0-level error");
}
