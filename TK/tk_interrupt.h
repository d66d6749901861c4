#pragma once
// Interruption by the user or the system: SIGINT (Ctrl-C), SIGTERM, SIGHUP.
//
// The first such signal asks the run to stop: check(), called between
// records, raises the level-1 failure "The conversion was interrupted
// (SIGINT)", and the run ends through its usual failure path (a table built
// under a temporary name is dropped, a dump's temporary file is removed, the
// report is printed). tk_exit() then ends the process by that signal, so the
// shell and the scripts around it see it as interrupted. A second signal,
// half a second or more after the first (sooner, it is the same request
// sent twice), ends the process at once, after removing the files
// registered here. A
// signal the process was started ignoring (nohup) stays ignored.
//
// Files registered with remove_at_exit() are removed however the process
// ends: at exit, or on the way out after a signal.

#include <string>

class tk_interrupt {
 public:
  // Installs the handlers; call once, before any thread starts.
  static void install();
  // The signal that asked the run to stop, or 0.
  static int requested() noexcept;
  // Raises the failure when a signal asked the run to stop.
  static void check();
  // That failure's text, or the empty text when no signal came.
  static std::string message();
  // Ends the process by the signal that asked it to stop (when one did),
  // after removing the registered files; returns otherwise.
  static void end_if_requested();

  static void remove_at_exit(const std::string& path);
  static void forget(const std::string& path);
};
