#pragma once
// The worker that talks to the server while the run reads on: one job at a
// time on a thread of its own, so that the server stores one block of rows
// while the next is read and written. Whatever a job has to tell the run
// (a refused row, a failure) is kept and handed over on the run's own
// thread when it waits for the job: the reports come in the order the job
// made them, and a failure is rethrown after them.
//
// When no thread can be started, each job runs on the run's thread as it is
// posted, and its reports and failure still come at the next wait.
//
// Ownership: owns its thread, started with the first job and joined by the
// destructor (after the job in flight).

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class sql_sender {
 public:
  sql_sender() = default;
  ~sql_sender();
  sql_sender(const sql_sender&) = delete;
  sql_sender& operator=(const sql_sender&) = delete;

  // Waits for the job in flight (see wait), then starts `job` on the worker.
  void post(std::function<void()> job);
  // Waits for the job in flight, runs what it left to tell on this thread,
  // and rethrows the job's failure. Nothing to do on the worker itself.
  void wait();
  // From a job: `report` runs on the run's thread at the next wait.
  void tell(std::function<void()> report);
  bool on_worker() const noexcept { return in_job_ || std::this_thread::get_id() == worker_id_; }

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool busy_ = false;
  bool stopping_ = false;
  bool alone_ = false;   // no thread: jobs run as they are posted
  bool in_job_ = false;  // such a job is running
  std::exception_ptr failure_;
  std::vector<std::function<void()>> reports_;
  std::thread worker_;
  std::thread::id worker_id_;
};
