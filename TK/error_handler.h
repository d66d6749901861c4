#pragma once
// Reports failures. Level 0 is printed and the caller goes on; level 1 is
// printed and ends the process with status -1; level 2 (internal error) is
// printed even in silent mode and ends the process. Known codes are shown
// with the friendly texts of the loaded message tables.

#include <cstdio>
#include <string>

#include "tk_error_converter.h"
#include "tk_exception.h"
#include "tk_singleton.h"

// Where the run's messages (progress lines and reports) go: the standard
// output, unless a dump is written there, whose statements they must not
// mix with: then the standard error.
FILE* tk_message_stream() noexcept;
void tk_send_messages_to(FILE* stream) noexcept;
// Writes out what waits for the message stream; 0 when every message got
// through, else the system's reason (EIO when it is not known any more).
int tk_message_write_error() noexcept;

class error_handler : public tk_singleton<error_handler> {
 public:
  error_handler(size_t count, const tk_err_entry* table);
  ~error_handler();

  void load_err_map(size_t count, const tk_err_entry* table);
  void set_context(std::u16string_view context);
  // "<table>, record #<n>"
  void set_context(std::u16string_view table, long record_no);
  void reset_context() { context_.clear(); }
  const std::string& context() const { return context_; }
  void set_silent(bool silent) { silent_ = silent; }
  bool silent() const { return silent_; }

  void handle(const tk_exception& e);
  // From hold() on, the reports of level 0 wait, until release() prints
  // them or discard() forgets them: the reports of work that may be done
  // again. A report of a higher level prints the waiting ones first.
  void hold() { holding_ = true; }
  void release();
  void discard();
  // The report text as handle() builds it (context, then the friendly text or
  // the exception's own), line feeds kept.
  std::string build_report(const tk_exception& e) const;

 private:
  std::string context_;
  bool silent_ = false;
  // Waiting reports past this many bytes go to a temporary file.
  static constexpr size_t held_in_memory = size_t{1} << 20;
  void hold_text(const std::string& text);

  bool holding_ = false;
  std::string held_;
  std::FILE* held_file_ = nullptr;
  tk_error_converter map_;
};

// Ends the process with the given status after flushing the console streams.
[[noreturn]] void tk_exit(int status);
