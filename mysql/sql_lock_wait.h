#pragma once
// Statements that may wait for another session's lock on a table: renaming
// or dropping a table (or a database) waits for the metadata lock of every
// open transaction that has read it, up to the session's
// lock_wait_timeout, which servers set to a day. Such a statement is run
// with the time-out lowered to a second, again and again until the
// session's own time-out has passed, so that a signal (Ctrl-C, `timeout`)
// ends the wait within a second: each attempt that waited in vain changed
// nothing. The session's time-out is put back after the statement.

#include <cstdint>
#include <functional>
#include <string_view>

class sql_dialect;

class sql_lock_wait {
 public:
  using executor = std::function<void(std::string_view)>;

  // `seconds` is the session's lock_wait_timeout; 0 (not known: a server
  // without it) runs statements as they are.
  sql_lock_wait(const sql_dialect& dialect, uint64_t seconds) : dialect_(&dialect), seconds_(seconds) {}

  // Runs `sql` through `execute` (which throws sql_exception); a signal
  // during the wait raises the interruption failure, a wait past the
  // session's time-out the server's error.
  void run(std::string_view sql, const executor& execute) const;

  static constexpr unsigned lock_wait_timeout_error = 1205;

 private:
  const sql_dialect* dialect_;
  uint64_t seconds_;
};
