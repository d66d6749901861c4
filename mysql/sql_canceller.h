#pragma once
// Ends the statement the run's connection is running when a signal asks the
// run to stop. The run looks at such a request between records and between
// statements; one statement may wait far longer: for a lock another session
// holds (lock_wait_timeout, which servers set to a day), or over a large
// table's ALTER. A thread of its own looks at the request ten times a
// second. A second after it, and every second from then on, it asks the
// server (on a connection of its own, as the run's account) what the run's
// connection is doing; a statement that began before the request is ended
// with KILL QUERY ID (that statement and no other: a statement the run began
// after the request, on its way out, is left to finish). The run's
// statement then fails with "Query execution was interrupted", which the run
// reports as the interruption it is; the run's writers look at the request
// between their statements.
//
// Nothing is sent unless a signal came; a canceller that cannot connect (or
// start its thread) leaves the statement to end by itself.

#include <mysql.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class sql_canceller {
 public:
  // The account and server of the run's connection (as given to connect:
  // empty or missing values are the option files'), and its thread id.
  sql_canceller(std::string host, std::string user, std::optional<std::string> password, unsigned port,
                unsigned long connection_id);
  ~sql_canceller();
  sql_canceller(const sql_canceller&) = delete;
  sql_canceller& operator=(const sql_canceller&) = delete;

 private:
  void watch();
  // A connection of the canceller's own, as the run's account.
  bool connect(MYSQL& mysql);
  // Ends the run's statement if it began before `requested`.
  void cancel(MYSQL& mysql, std::chrono::steady_clock::time_point requested);

  std::string host_, user_;
  std::optional<std::string> password_;
  unsigned port_;
  unsigned long connection_id_;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::thread watcher_;
};
